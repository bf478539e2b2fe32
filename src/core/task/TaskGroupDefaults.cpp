// The group values to and from "\Tasks Defaults", generated from the getter table where it names
// the pair, by hand for the values without a getter.
#include "core/task/TaskGroupDefaults.h"

#include "core/settings/Settings.h"
#include "core/task/TaskDefinition.h"

namespace qv {

void readTaskDefaults(TaskSettingsFields &s)
{
#define QV_READ_DEFAULT(GROUP, FIELD, TYPE, PROG) s.GROUP.FIELD = ::qv::PROG;
    QV_TASK_GROUP_GETTERS(QV_READ_DEFAULT)
#undef QV_READ_DEFAULT
#define QV_READ_ALERT_DEFAULT(M, E, I, T, NEW, ABS, PROG) s.EventAlerts.M##E##I = ::qv::Events##M##E##I;
    QV_TASK_ALERTS(QV_READ_ALERT_DEFAULT)
#undef QV_READ_ALERT_DEFAULT
    s.Bandwidth.MeasureKind = BandwidthMeasure == "KBits" ? bmkKBits : bmkMBits;
    s.EmailSettings.To = EmailTo;
    s.Performance.CpuPerformance = CpuPerformance;
    s.PowerManagement.DontStartOnBatteries = PowerDontStartOnBatteries;
    s.PowerManagement.WakeToRun = PowerWakeToRun;
    s.PowerManagement.BatteryMode = PowerBatteryMode;
}

void writeTaskDefaults(const TaskSettingsFields &s)
{
#define QV_WRITE_DEFAULT(GROUP, FIELD, TYPE, PROG) ::qv::PROG = s.GROUP.FIELD;
    QV_TASK_GROUP_GETTERS(QV_WRITE_DEFAULT)
#undef QV_WRITE_DEFAULT
#define QV_WRITE_ALERT_DEFAULT(M, E, I, T, NEW, ABS, PROG) ::qv::Events##M##E##I = s.EventAlerts.M##E##I;
    QV_TASK_ALERTS(QV_WRITE_ALERT_DEFAULT)
#undef QV_WRITE_ALERT_DEFAULT
    BandwidthMeasure = s.Bandwidth.MeasureKind == bmkKBits ? "KBits" : "MBits";
    EmailTo = s.EmailSettings.To;
    CpuPerformance = s.Performance.CpuPerformance;
    PowerDontStartOnBatteries = s.PowerManagement.DontStartOnBatteries;
    PowerWakeToRun = s.PowerManagement.WakeToRun;
    PowerBatteryMode = s.PowerManagement.BatteryMode;
}

} // namespace qv
