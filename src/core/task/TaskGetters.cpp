// The settings getters: the program-wide value while a group's UseDefault is set, else the task's.
#include "core/task/TaskDefinition.h"

#include "core/settings/Settings.h"

// How the getters name a program-wide value: the settings global of that name.
#define QV_PROGRAM_DEFAULT(name) (::qv::name)

namespace qv {

#define QV_DEFINE_GROUP_GETTER(GROUP, FIELD, TYPE, PROG)                                                 \
    TYPE TaskDefinition::Get##PROG() const { return GROUP.UseDefault ? QV_PROGRAM_DEFAULT(PROG) : GROUP.FIELD; }
QV_TASK_GROUP_GETTERS(QV_DEFINE_GROUP_GETTER)
#undef QV_DEFINE_GROUP_GETTER

#define QV_DEFINE_ALERT_GETTER(M, E, I, T, NEW, ABS, PROG)                                               \
    T TaskDefinition::GetEvents##M##E##I() const                                                                 \
    {                                                                                                   \
        return EventAlerts.UseDefault ? QV_PROGRAM_DEFAULT(Events##M##E##I) : EventAlerts.M##E##I;       \
    }
QV_TASK_ALERTS(QV_DEFINE_ALERT_GETTER)
#undef QV_DEFINE_ALERT_GETTER

int TaskDefinition::GetBandwidthMeasure() const
{
    if (Bandwidth.UseDefault) {
        return std::string(QV_PROGRAM_DEFAULT(BandwidthMeasure)) == "KBits" ? bmkKBits : bmkMBits;
    }
    return Bandwidth.MeasureKind;
}

} // namespace qv
