// The one-time allocations a leak report leaves out (see Suppressions.h).
#include "diagnostics/tracking/Suppressions.h"

#include <cstdlib>
#include <cstring>

namespace qv::leakcheck::tracking {

namespace {

const Suppression kSuppressions[] = {
    // The C library.
    {Suppression::Routine, "_IO_file_doallocate", 0, "the buffer of a stdio stream, kept while the stream is open"},
    {Suppression::Routine, "_nl_", 0, "locale data, loaded once and kept"},
    {Suppression::Routine, "setlocale", 0, "the locale names of setlocale, kept for the process"},
    {Suppression::Routine, "_dl_", 0, "the dynamic loader's records of a loaded library, freed only at unload"},
    {Suppression::Routine, "tls_get_addr", 0,
     "the thread-local storage of a library loaded at run time, freed when the thread ends"},
    {Suppression::Routine, "__nss_", 0, "the name-service modules of getpwuid and getaddrinfo, loaded once"},
    {Suppression::Routine, "tzset", 0, "the time-zone data of localtime and mktime, read once"},
    {Suppression::Routine, "__add_to_environ", 0, "a variable set with setenv, which the C library keeps for good"},
    // Libraries that Qt loads and keeps for the process.
    {Suppression::Module, "libfontconfig", 0, "the font configuration and cache, built once"},
    {Suppression::Module, "libglib-2.0", 0, "GLib's event loop and type system, set up once"},
    {Suppression::Module, "libdbus-1", 0, "the session bus connection and libdbus's message buffers kept for reuse"},
    // Qt's own one-time data.
    {Suppression::Routine, "QGuiApplicationPrivate::createPlatformIntegration", 0,
     "the platform plugin, loaded once"},
    {Suppression::Routine, "QFactoryLoader", 0, "the plugin index, read once"},
    {Suppression::Routine, "QThreadStorage", 0, "per-thread data, freed as the thread ends"},
    {Suppression::Routine, "QThread::currentThread", 4,
     "the Qt data of a thread, freed when the thread ends (never, for the main thread)"},
    {Suppression::Routine, "QAccessible::isActive", 0, "the accessibility backend, made once"},
    {Suppression::Routine, "QAccessible::queryAccessibleInterface", 0, "the accessibility cache"},
    {Suppression::Routine, "QWindowPrivate::init", 4, "data of the platform's windows, made at the first window"},
    {Suppression::Routine, "QWindowSystemInterface::handleExposeEvent", 5,
     "the window system's expose data, kept"},
    {Suppression::Routine, "QEventLoop::exec", 3, "the event dispatcher of the thread, made by its first loop"},
    {Suppression::Routine, "QObject::QObject(QObjectPrivate&", 4,
     "the Qt data of a thread, made with its first object and freed when the thread ends"},
    {Suppression::Routine, "QCoreApplication::postEvent", 4, "a thread's queue of posted events, which keeps its room"},
    {Suppression::Routine, "QtSharedPointer::ExternalRefCountData::getAndRef", 1,
     "the guard count of an object that Qt's own lists (event filters, accessibility) still name at exit"},
    {Suppression::Routine, "qRegisterResourceData", 0, "the program's compiled-in resources, registered for the process"},
    // The program's own.
    {Suppression::Routine, "qv::RunQueue::instance", 1,
     "the run queue, never destroyed: a backup thread still running at exit keeps its run"},
    {Suppression::Routine, nullptr, 0, nullptr},
};

bool startsWith(const std::string &text, const char *prefix)
{
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

} // namespace

const Suppression *suppressions()
{
    return kSuppressions;
}

bool isSuppressedFrame(int index, const std::string &routine, const std::string &module)
{
    for (const Suppression *s = kSuppressions; s->name != nullptr; ++s) {
        if (s->depth > 0 && index >= s->depth) {
            continue;
        }
        const bool hit = s->kind == Suppression::Routine ? routine.find(s->name) != std::string::npos
                                                         : startsWith(module, s->name);
        if (hit) {
            return true;
        }
    }
    return false;
}

bool suppressionsEnabled()
{
    const char *v = std::getenv("QV_LEAKCHECK_SUPPRESS");
    return v == nullptr || std::strcmp(v, "0") != 0;
}

} // namespace qv::leakcheck::tracking
