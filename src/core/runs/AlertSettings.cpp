// The effective settings of one alert, through the task's getters.
#include "core/runs/AlertSettings.h"

#include "core/engine/BackupTypes.h"
#include "core/runs/TaskRunFlags.h"
#include "core/runs/Task.h"

#include <optional>

namespace qv {

namespace {

std::optional<AlertEvent> eventOfKind(int kind)
{
    switch (kind) {
    case akStart:
        return AlertEvent::Start;
    case akFile:
    case akFolder:
        return AlertEvent::File;
    case akDiskSpan:
        return AlertEvent::DiskSpan;
    case akFinish:
        return AlertEvent::Finish;
    case akError:
        return AlertEvent::Error;
    case akWarning:
        return AlertEvent::Warning;
    default:
        return std::nullopt;
    }
}

void store(AlertSettings &s, AlertItem item, bool value)
{
    switch (item) {
    case AlertItem::Dialog:
        s.dialog = value;
        break;
    case AlertItem::Balloon:
        s.balloon = value;
        break;
    case AlertItem::Sound:
        s.sound = value;
        break;
    case AlertItem::EmailUse:
        s.email = value;
        break;
    case AlertItem::EmailSendLog:
        s.sendLog = value;
        break;
    default:
        break;
    }
}

void store(AlertSettings &s, AlertItem item, const std::string &value)
{
    if (item == AlertItem::SoundFile) {
        s.soundFile = value;
    } else if (item == AlertItem::Email) {
        s.recipient = value;
    }
}

} // namespace

AlertMode alertModeOf(const TTask &task)
{
    if (SilentMode) {
        return AlertMode::Silent;
    }
    return task.StartMode == kStartByHand ? AlertMode::Manual : AlertMode::Scheduled;
}

AlertSettings GetAlertSettings(const TTask &task, int event)
{
    AlertSettings s;
    const std::optional<AlertEvent> ev = eventOfKind(event);
    if (!ev) {
        return s;
    }
    const AlertMode mode = alertModeOf(task);
#define QV_READ_ALERT(M, E, I, T, NEW, ABS, PROG)                                                  \
    if (mode == AlertMode::M && *ev == AlertEvent::E) {                                            \
        store(s, AlertItem::I, task.GetEvents##M##E##I());                                         \
    }
    QV_TASK_ALERTS(QV_READ_ALERT)
#undef QV_READ_ALERT
    if (*ev == AlertEvent::File) {
        s.email = false; // file and folder events never send mail
        s.recipient.clear();
    }
    if (*ev != AlertEvent::Finish) {
        s.sendLog = false;
    }
    return s;
}

} // namespace qv
