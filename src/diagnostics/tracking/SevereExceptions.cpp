// Severe-exception blocks: std::terminate and the fatal signals of a tracked program.
//
// The signal path uses only async-signal-safe calls: the time is formatted by hand (in UTC), the call
// stack is described by module and offset from the table loaded at activation, and the block is
// written with write(2) to a file opened there and then. The unwinder was loaded at activation.
#include "diagnostics/tracking/SevereExceptions.h"

#include "diagnostics/LeakCheck.h"
#include "diagnostics/tracking/Symbols.h"

#include <csignal>
#include <ucontext.h>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <cxxabi.h>
#include <exception>
#include <execinfo.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qv::leakcheck::tracking {

namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
struct sigaction g_previous[sizeof kSignals / sizeof kSignals[0]];
char g_logPath[4096];
std::terminate_handler g_previousTerminate = nullptr;
volatile sig_atomic_t g_blockWritten = 0;
off_t g_logSizeAtStart = 0; // what the log held before this run

// A small append-only text buffer on the stack of the signal handler.
struct Text {
    char data[16384];
    std::size_t size = 0;
    void put(const char *s)
    {
        while (*s && size + 1 < sizeof data) {
            data[size++] = *s++;
        }
    }
    void putNumber(unsigned long long v, int width = 0)
    {
        char digits[24];
        int n = 0;
        do {
            digits[n++] = char('0' + v % 10);
            v /= 10;
        } while (v != 0);
        while (n < width) {
            digits[n++] = '0';
        }
        while (n > 0) {
            char c[2] = {digits[--n], 0};
            put(c);
        }
    }
};

// "YYYY-MM-DD HH:MM:SS UTC" without any library call that may lock.
void putUtcNow(Text &t)
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    long long secs = ts.tv_sec;
    long long days = secs / 86400;
    long long rem = secs % 86400;
    // Civil date from a day count (proleptic Gregorian).
    long long z = days + 719468;
    long long era = (z >= 0 ? z : z - 146096) / 146097;
    long long doe = z - era * 146097;
    long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long long y = yoe + era * 400;
    long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    long long mp = (5 * doy + 2) / 153;
    long long d = doy - (153 * mp + 2) / 5 + 1;
    long long m = mp < 10 ? mp + 3 : mp - 9;
    y += (m <= 2);
    t.putNumber(static_cast<unsigned long long>(y), 4);
    t.put("-");
    t.putNumber(static_cast<unsigned long long>(m), 2);
    t.put("-");
    t.putNumber(static_cast<unsigned long long>(d), 2);
    t.put(" ");
    t.putNumber(static_cast<unsigned long long>(rem / 3600), 2);
    t.put(":");
    t.putNumber(static_cast<unsigned long long>(rem / 60 % 60), 2);
    t.put(":");
    t.putNumber(static_cast<unsigned long long>(rem % 60), 2);
    t.put(" UTC");
}

void putHex(Text &t, std::uintptr_t v)
{
    char hex[17];
    for (int i = 0; i < 16; ++i) {
        hex[i] = "0123456789ABCDEF"[(v >> (4 * (15 - i))) & 0xF];
    }
    hex[16] = '\0';
    t.put(hex);
}

void putStack(Text &t, void *const *frames, int count)
{
    for (int i = 0; i < count && i < kStackDepth; ++i) {
        char line[256];
        describeAddressSafe(reinterpret_cast<std::uintptr_t>(frames[i]), line, sizeof line);
        t.put("call stack - ");
        t.putNumber(static_cast<unsigned long long>(i));
        t.put(" : ");
        t.put(line);
        t.put("\r\n");
    }
}

// Writes the block to the leak log (created if needed) and to standard error.
void emit(const Text &t, bool ending = true)
{
    char dir[sizeof g_logPath];
    std::memcpy(dir, g_logPath, sizeof dir);
    for (char *p = dir + 1; *p; ++p) {
        if (*p == '/') {
            *p = '\0';
            mkdir(dir, 0700);
            *p = '/';
        }
    }
    int fd = open(g_logPath, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd >= 0) {
        (void)!write(fd, t.data, t.size);
        close(fd);
    }
    (void)!write(2, t.data, t.size);
    if (ending) {
        g_blockWritten = 1;
    }
}

void putAddress(Text &t, std::uintptr_t address)
{
    char text[512];
    describeAddressSafe(address, text, sizeof text);
    t.put(text);
}

void openBlock(Text &t, const char *code, const char *detail, std::uintptr_t address)
{
    t.put("********* Severe exception detected - ");
    putUtcNow(t);
    t.put(" *********\r\nException code: ");
    t.put(code);
    t.put(detail);
    t.put("\r\nException address: ");
    putAddress(t, address);
    t.put("\r\n\r\nCall stack (oldest call at bottom):\r\n");
}

void writeBlock(const char *code, const char *detail, std::uintptr_t address, void *const *frames, int count)
{
    Text t;
    openBlock(t, code, detail, address);
    putStack(t, frames, count);
    t.put(kSevereExceptionFooter);
    t.put("\r\n");
    emit(t);
}

const char *signalName(int sig)
{
    switch (sig) {
    case SIGSEGV:
        return "SIGSEGV (invalid memory access)";
    case SIGBUS:
        return "SIGBUS (bus error)";
    case SIGFPE:
        return "SIGFPE (arithmetic error)";
    case SIGILL:
        return "SIGILL (illegal instruction)";
    default:
        return "SIGABRT (aborted)";
    }
}

// Where the faulting instruction is: the program counter of the interrupted context.
std::uintptr_t faultAddress(const void *context, const siginfo_t *info)
{
    const auto *uc = static_cast<const ucontext_t *>(context);
#if defined(__x86_64__)
    if (uc != nullptr) {
        return static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_RIP]);
    }
#elif defined(__aarch64__)
    if (uc != nullptr) {
        return static_cast<std::uintptr_t>(uc->uc_mcontext.pc);
    }
#endif
    return info ? reinterpret_cast<std::uintptr_t>(info->si_addr) : 0;
}

void onSignal(int sig, siginfo_t *info, void *context)
{
    if (!g_blockWritten) {
        void *frames[kStackDepth];
        int n = backtrace(frames, kStackDepth);
        // A signal raised while this thread is inside the C library's allocator is that allocator
        // finding its heap damaged (or being damaged).
        const bool heap = insideHeap();
        Text detail;
        if (heap) {
            detail.put(" (");
            detail.put(signalName(sig));
            detail.put(")");
        }
        if (sig == SIGSEGV || sig == SIGBUS) {
            detail.put(" reading or writing ");
            putHex(detail, info ? reinterpret_cast<std::uintptr_t>(info->si_addr) : 0);
        }
        detail.data[detail.size] = '\0';
        writeBlock(heap ? "Heap corrupted" : signalName(sig), detail.data, faultAddress(context, info), frames, n);
    }
    // Then end as the process would have: the earlier disposition, raised again on return.
    for (std::size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) {
        if (kSignals[i] == sig) {
            sigaction(sig, &g_previous[i], nullptr);
        }
    }
    raise(sig);
}

void onTerminate()
{
    std::string code = "uncaught exception";
    if (std::type_info *type = abi::__cxa_current_exception_type()) {
        int status = 0;
        char *name = abi::__cxa_demangle(type->name(), nullptr, nullptr, &status);
        code += std::string(" of type ") + (status == 0 && name ? name : type->name());
        std::free(name);
        try {
            std::rethrow_exception(std::current_exception());
        } catch (const std::exception &e) {
            code += std::string(": ") + e.what();
        } catch (...) {
        }
    } else {
        code = "std::terminate called without an exception";
    }
    void *frames[kStackDepth];
    int n = backtrace(frames, kStackDepth);
    writeBlock(code.c_str(), "", n > 0 ? reinterpret_cast<std::uintptr_t>(frames[0]) : 0, frames, n);
    if (g_previousTerminate != nullptr) {
        g_previousTerminate();
    }
    std::abort();
}

void putFullStack(Text &t, const CallStack &stack)
{
    t.put(formatCallStack(stack, describeAddress).c_str());
}

} // namespace

void reportHeapCorrupted(const char *what, const CallStack &now, const Quarantined &block)
{
    Text t;
    const std::string detail = std::string(" (") + what + ")";
    t.put("********* Severe exception detected - ");
    putUtcNow(t);
    t.put(" *********\r\nException code: Heap corrupted");
    t.put(detail.c_str());
    t.put("\r\nException address: ");
    t.put(describeAddress(now[0]).c_str());
    t.put("\r\n\r\nCall stack (oldest call at bottom):\r\n");
    putFullStack(t, now);
    t.put("  Call stack at allocation time:\r\n");
    putFullStack(t, block.allocated);
    t.put("  Destroyed at:\r\n");
    putFullStack(t, block.released);
    t.put(kSevereExceptionFooter);
    t.put("\r\n");
    emit(t, false);
}

std::string blocksOfThisRun()
{
    std::string text;
    const int fd = open(g_logPath, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return text;
    }
    struct stat st {};
    if (fstat(fd, &st) == 0 && st.st_size > g_logSizeAtStart) {
        text.resize(static_cast<std::size_t>(st.st_size - g_logSizeAtStart));
        const ssize_t n = pread(fd, text.data(), text.size(), g_logSizeAtStart);
        text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    }
    close(fd);
    return text;
}

void installSevereExceptionHandlers(const std::string &logPath)
{
    std::snprintf(g_logPath, sizeof g_logPath, "%s", logPath.c_str());
    struct stat st {};
    g_logSizeAtStart = stat(g_logPath, &st) == 0 ? st.st_size : 0;
    static char altStack[64 * 1024];
    stack_t ss{};
    ss.ss_sp = altStack;
    ss.ss_size = sizeof altStack;
    sigaltstack(&ss, nullptr); // the main thread's: a stack overflow still gets its block
    for (std::size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) {
        struct sigaction sa {};
        sa.sa_sigaction = onSignal;
        sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigemptyset(&sa.sa_mask);
        sigaction(kSignals[i], &sa, &g_previous[i]);
    }
    g_previousTerminate = std::set_terminate(onTerminate);
}

} // namespace qv::leakcheck::tracking
