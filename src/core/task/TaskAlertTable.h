// The alert settings table: run mode x event x item, in the order they are stored.
//
// One row per setting: mode, event, item, type, then three default columns that differ on
// purpose and must never be derived from one another:
//   NEW   what a new task holds,
//   ABS   what a task reads when the stored value is missing (only the DiskSpan dialogs are true),
//   PROG  the program-wide default of the "Events..." setting of the options.
// Storage, task defaults, the program-wide settings, the alerts and the dialogs all iterate this one
// table (through QV_TASK_ALERTS or the runtime view taskAlertTable()).
#pragma once

#include <cstdint>
#include <span>
#include <string>

// X(Mode, Event, Item, Type, NEW, ABS, PROG). Type is `bool` or `std::string`; string defaults are "".
#define QV_TASK_ALERTS_EVENT6(X, M, E, nd, ad, pd, nb, ab, pb)                                           \
    X(M, E, Dialog, bool, nd, ad, pd)                                                                   \
    X(M, E, Balloon, bool, nb, ab, pb)                                                                  \
    X(M, E, Sound, bool, false, false, false)                                                           \
    X(M, E, SoundFile, std::string, "", "", "")                                                         \
    X(M, E, EmailUse, bool, false, false, false)                                                        \
    X(M, E, Email, std::string, "", "", "")

#define QV_TASK_ALERTS_FILE(X, M, nd, ad, pd, nb, ab, pb)                                                \
    X(M, File, Dialog, bool, nd, ad, pd)                                                                \
    X(M, File, Balloon, bool, nb, ab, pb)                                                               \
    X(M, File, Sound, bool, false, false, false)                                                        \
    X(M, File, SoundFile, std::string, "", "", "")

#define QV_TASK_ALERTS_SENDLOG(X, M, n, a, p) X(M, Finish, EmailSendLog, bool, n, a, p)

//                                      Dialog: NEW    ABS    PROG   Balloon: NEW   ABS    PROG
#define QV_TASK_ALERTS(X)                                                                                \
    QV_TASK_ALERTS_EVENT6(X, Scheduled, Start, false, false, false, true, false, true)                  \
    QV_TASK_ALERTS_FILE(X, Scheduled, false, false, false, false, false, false)                         \
    QV_TASK_ALERTS_EVENT6(X, Scheduled, DiskSpan, true, true, true, true, false, true)                  \
    QV_TASK_ALERTS_EVENT6(X, Scheduled, Error, false, false, false, true, false, true)                  \
    QV_TASK_ALERTS_EVENT6(X, Scheduled, Warning, false, false, false, true, false, true)                \
    QV_TASK_ALERTS_EVENT6(X, Scheduled, Finish, false, false, false, true, false, true)                 \
    QV_TASK_ALERTS_SENDLOG(X, Scheduled, true, false, true)                                             \
    QV_TASK_ALERTS_EVENT6(X, Manual, Start, false, false, false, false, false, false)                   \
    QV_TASK_ALERTS_FILE(X, Manual, false, false, false, false, false, false)                            \
    QV_TASK_ALERTS_EVENT6(X, Manual, DiskSpan, true, true, true, true, false, true)                     \
    QV_TASK_ALERTS_EVENT6(X, Manual, Error, false, false, false, true, false, true)                     \
    QV_TASK_ALERTS_EVENT6(X, Manual, Warning, false, false, false, true, false, true)                   \
    QV_TASK_ALERTS_EVENT6(X, Manual, Finish, false, false, false, true, false, true)                    \
    QV_TASK_ALERTS_SENDLOG(X, Manual, true, false, true)                                                \
    QV_TASK_ALERTS_EVENT6(X, Silent, Start, false, false, false, false, false, false)                   \
    QV_TASK_ALERTS_FILE(X, Silent, false, false, false, true, false, false)                             \
    QV_TASK_ALERTS_EVENT6(X, Silent, DiskSpan, false, true, true, true, false, true)                    \
    QV_TASK_ALERTS_EVENT6(X, Silent, Error, false, false, false, false, false, false)                    \
    QV_TASK_ALERTS_EVENT6(X, Silent, Warning, false, false, false, false, false, false)                  \
    QV_TASK_ALERTS_EVENT6(X, Silent, Finish, false, false, false, false, false, false)                   \
    QV_TASK_ALERTS_SENDLOG(X, Silent, true, false, true)

namespace qv {

enum class AlertMode : std::uint8_t { Scheduled, Manual, Silent };
enum class AlertEvent : std::uint8_t { Start, File, DiskSpan, Error, Warning, Finish };
enum class AlertItem : std::uint8_t { Dialog, Balloon, Sound, SoundFile, EmailUse, Email, EmailSendLog };

inline constexpr int kTaskAlertCount = 105;

// The alert values of one task (the EventAlerts group without its UseDefault flag), each named
// mode + event + item and holding the new-task default.
struct TEventAlertValues {
#define QV_DECLARE_ALERT_FIELD(M, E, I, T, NEW, ABS, PROG) T M##E##I = NEW;
    QV_TASK_ALERTS(QV_DECLARE_ALERT_FIELD)
#undef QV_DECLARE_ALERT_FIELD

    bool operator==(const TEventAlertValues &) const = default;
};

// One row of the table at run time. Exactly one of the member pointers is set.
struct TaskAlertSetting {
    const char *name; // "ScheduledStartDialog"; the program-wide value is "Events" + name
    AlertMode mode;
    AlertEvent event;
    AlertItem item;
    bool TEventAlertValues::*boolField;
    std::string TEventAlertValues::*stringField;
    bool newDefault;     // booleans only; strings default to empty in every column
    bool absentDefault;
    bool programDefault;

    bool isString() const { return stringField != nullptr; }
};

// The 105 rows in storage order.
std::span<const TaskAlertSetting> taskAlertTable();
// The row of (mode, event, item), or nullptr when that event has no such item.
const TaskAlertSetting *findTaskAlert(AlertMode mode, AlertEvent event, AlertItem item);

const char *alertModeName(AlertMode mode);    // "Scheduled", "Manual", "Silent"
const char *alertEventName(AlertEvent event); // "Start", "File", ...
const char *alertItemName(AlertItem item);    // "Dialog", "Balloon", ...

} // namespace qv
