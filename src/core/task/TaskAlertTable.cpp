// The runtime view of the alert settings table.
#include "core/task/TaskAlertTable.h"

#include <array>

namespace qv {
namespace {

constexpr TaskAlertSetting makeRow(const char *name, AlertMode m, AlertEvent e, AlertItem i,
                                   bool TEventAlertValues::*field, bool n, bool a, bool p)
{
    return {name, m, e, i, field, nullptr, n, a, p};
}

constexpr TaskAlertSetting makeRow(const char *name, AlertMode m, AlertEvent e, AlertItem i,
                                   std::string TEventAlertValues::*field, const char *, const char *,
                                   const char *)
{
    return {name, m, e, i, nullptr, field, false, false, false};
}

#define QV_ALERT_ROW(M, E, I, T, NEW, ABS, PROG)                                                             \
    makeRow(#M #E #I, AlertMode::M, AlertEvent::E, AlertItem::I, &TEventAlertValues::M##E##I, NEW, ABS, PROG),

const TaskAlertSetting kRows[] = {QV_TASK_ALERTS(QV_ALERT_ROW)};

#undef QV_ALERT_ROW

static_assert(sizeof(kRows) / sizeof(kRows[0]) == kTaskAlertCount);

} // namespace

std::span<const TaskAlertSetting> taskAlertTable()
{
    return kRows;
}

const TaskAlertSetting *findTaskAlert(AlertMode mode, AlertEvent event, AlertItem item)
{
    for (const auto &row : kRows) {
        if (row.mode == mode && row.event == event && row.item == item) {
            return &row;
        }
    }
    return nullptr;
}

const char *alertModeName(AlertMode mode)
{
    static constexpr const char *kNames[] = {"Scheduled", "Manual", "Silent"};
    return kNames[static_cast<int>(mode)];
}

const char *alertEventName(AlertEvent event)
{
    static constexpr const char *kNames[] = {"Start", "File", "DiskSpan", "Error", "Warning", "Finish"};
    return kNames[static_cast<int>(event)];
}

const char *alertItemName(AlertItem item)
{
    static constexpr const char *kNames[] = {"Dialog",   "Balloon", "Sound",       "SoundFile",
                                             "EmailUse", "Email",   "EmailSendLog"};
    return kNames[static_cast<int>(item)];
}

} // namespace qv
