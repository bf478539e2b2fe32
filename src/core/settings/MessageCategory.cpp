// The program's message category and the filter of a run without a display.
#include "core/settings/MessageCategory.h"

#include <cstring>

namespace qv {

Q_LOGGING_CATEGORY(lcProgram, "quorvellant")

namespace {

QtMessageHandler g_previous = nullptr;

void ownMessagesOnly(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (isOwnOrSevereMessage(type, context.category) && g_previous != nullptr) {
        g_previous(type, context, text);
    }
}

} // namespace

bool isOwnOrSevereMessage(QtMsgType type, const char *category)
{
    if (type == QtCriticalMsg || type == QtFatalMsg) {
        return true;
    }
    return category != nullptr && std::strcmp(category, lcProgram().categoryName()) == 0;
}

void keepOutputToOwnMessages()
{
    QtMessageHandler previous = qInstallMessageHandler(ownMessagesOnly);
    if (previous != ownMessagesOnly) {
        g_previous = previous;
    }
}

} // namespace qv
