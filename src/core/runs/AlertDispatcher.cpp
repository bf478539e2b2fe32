// The alert dispatcher's interface and the default that shows nothing.
#include "core/runs/AlertDispatcher.h"

#include "core/runs/AlertSettings.h"
#include "core/runs/Task.h"

#include <QLoggingCategory>

namespace qv {

namespace {

Q_LOGGING_CATEGORY(lcAlerts, "quorvellant.alerts")

class SilentAlerter : public AlertDispatcher
{
public:
    int Alert(TTask &task, int event, const std::string &text, const std::string &buttons) override
    {
        qCInfo(lcAlerts, "alert %d [%s] of task \"%s\": %s", event, buttons.c_str(), task.Name.c_str(),
               text.c_str());
        return 0;
    }
};

AlertDispatcher *g_alerter = nullptr;

} // namespace

bool AlertDispatcher::Wants(const TTask &task, int event) const
{
    return GetAlertSettings(task, event).doesAnything();
}

AlertDispatcher &alerter()
{
    static SilentAlerter silent;
    return g_alerter != nullptr ? *g_alerter : silent;
}

void setAlerter(AlertDispatcher *dispatcher)
{
    g_alerter = dispatcher;
}

} // namespace qv
