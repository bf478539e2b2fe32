// The main window's interface as the task core sees it, and the default used without a window.
#include "core/runs/MainWindowCallbacks.h"

#include <cstdio>

namespace qv {

namespace {

MainWindowCallbacks &defaultWindow()
{
    static MainWindowCallbacks window;
    return window;
}

MainWindowCallbacks *g_window = nullptr;

} // namespace

void MainWindowCallbacks::ShowMessage(CoreMessageKind kind, const std::string &text)
{
    std::fprintf(stderr, "quorvellant: %s%s\n", kind == CoreMessageKind::Error ? "error: " : "", text.c_str());
}

MainWindowCallbacks &mainWindow()
{
    return g_window != nullptr ? *g_window : defaultWindow();
}

void setMainWindow(MainWindowCallbacks *window)
{
    g_window = window;
    if (window == nullptr) {
        setActivityLogNotifier(nullptr);
        return;
    }
    setActivityLogNotifier(
        [window](const TTaskLogger &logger, LogChange change) { window->ActivityLogAddEvent(logger, change); });
}

} // namespace qv
