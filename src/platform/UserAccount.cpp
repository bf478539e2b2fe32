// The account the program runs under, and its private folders.
#include "platform/UserAccount.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace qv {

namespace {

// The user database's record of the effective user, read with the reentrant call (the backup
// threads and the window may ask at once): its home folder, or its name.
std::string passwordField(bool home)
{
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd *result = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &result) != 0 || result == nullptr) {
        return {};
    }
    const char *text = home ? result->pw_dir : result->pw_name;
    return text != nullptr ? text : "";
}

std::string trimmed(const std::string &s)
{
    const char *blanks = " \t\r\n";
    const auto first = s.find_first_not_of(blanks);
    if (first == std::string::npos) {
        return {};
    }
    return s.substr(first, s.find_last_not_of(blanks) - first + 1);
}

} // namespace

std::string homeFolder()
{
    const char *home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        return home;
    }
    const std::string fromDatabase = passwordField(true);
    return fromDatabase.empty() ? std::string("/") : fromDatabase;
}

std::string accountName()
{
    const std::string name = trimmed(passwordField(false));
    if (!name.empty()) {
        return name;
    }
    const char *user = std::getenv("USER");
    return user != nullptr ? trimmed(user) : std::string();
}

std::string hostName()
{
    char buffer[256] = {};
    if (::gethostname(buffer, sizeof buffer - 1) != 0) {
        return {};
    }
    return trimmed(buffer);
}

unsigned accountId()
{
    return static_cast<unsigned>(::geteuid());
}

bool ensurePrivateFolder(const std::string &folder, std::string &error)
{
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        error = "cannot create \"" + folder + "\": " + std::strerror(errno);
        return false;
    }
    struct stat st;
    if (::lstat(folder.c_str(), &st) != 0) {
        error = "cannot read \"" + folder + "\": " + std::strerror(errno);
        return false;
    }
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) {
        error = "\"" + folder + "\" is not a private folder of this user";
        return false;
    }
    return true;
}

std::string privateRuntimeFolder(std::string &error)
{
    std::string folder;
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    const bool inRuntime = runtime != nullptr && runtime[0] == '/';
    if (inRuntime) {
        folder = std::string(runtime) + "/quorvellant";
    } else {
        const char *tmp = std::getenv("TMPDIR");
        folder = std::string(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp") + "/quorvellant-" +
                 std::to_string(accountId());
    }
    if (!ensurePrivateFolder(folder, error)) {
        return {};
    }
    if (inRuntime) {
        // The runtime folder is the user's alone: a wider mode there is mended, not refused.
        ::chmod(folder.c_str(), 0700);
        return folder;
    }
    struct stat st;
    if (::lstat(folder.c_str(), &st) != 0 || (st.st_mode & 07777) != 0700) {
        error = "\"" + folder + "\" must have mode 0700 (others could place or remove lock files in it)";
        return {};
    }
    return folder;
}

bool makePrivateFolder(const std::string &folder, int &error)
{
    if (::mkdir(folder.c_str(), 0700) != 0) {
        error = errno;
        return false;
    }
    return true;
}

bool setPermissions(const std::string &path, unsigned mode, int &error)
{
    if (::chmod(path.c_str(), static_cast<mode_t>(mode)) != 0) {
        error = errno;
        return false;
    }
    return true;
}

} // namespace qv
