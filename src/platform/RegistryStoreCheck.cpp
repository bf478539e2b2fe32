// The settings store's look-over at a program's start, and the moving aside of a damaged store.
#include "platform/RegistryStore.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qv {
namespace {

bool isDamage(int rc)
{
    rc &= 0xff;
    return rc == SQLITE_CORRUPT || rc == SQLITE_NOTADB;
}

struct Connection
{
    ~Connection() { sqlite3_close(db); }
    sqlite3 *db = nullptr;
};

struct Query
{
    ~Query() { sqlite3_finalize(st); }
    sqlite3_stmt *st = nullptr;
};

bool exists(const std::string &path)
{
    struct stat st = {};
    return ::lstat(path.c_str(), &st) == 0 || errno != ENOENT;
}

// Renames without replacing anything; false with errno set when it did not happen.
bool renameNew(const std::string &from, const std::string &to)
{
    return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0;
}

} // namespace

RegistryDamaged::RegistryDamaged(const std::string &path, const std::string &reason)
    : RegistryError("The settings store \"" + path + "\" is damaged: " + reason), m_path(path),
      m_reason(reason)
{
}

void RegistryStore::checkStore(const std::string &path)
{
    // A missing file is a first start; an empty one is what opening a new store leaves before its
    // first write.
    struct stat st = {};
    if (::stat(path.c_str(), &st) != 0 || (S_ISREG(st.st_mode) && st.st_size == 0)) {
        return;
    }
    Connection c;
    auto failure = [&path, &c](int rc) {
        const std::string text = c.db != nullptr ? sqlite3_errmsg(c.db) : sqlite3_errstr(rc);
        if (isDamage(rc)) {
            throw RegistryDamaged(path, text);
        }
        throw RegistryError("Cannot read the settings store \"" + path + "\": " + text);
    };
    int rc = sqlite3_open_v2(path.c_str(), &c.db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        failure(rc);
    }
    sqlite3_busy_timeout(c.db, 15000);
    sqlite3_extended_result_codes(c.db, 1);
    // The quick check reads every page of every table and index once and checks that they hold
    // together; it stops at the first fault.
    Query q;
    rc = sqlite3_prepare_v2(c.db, "PRAGMA quick_check(1)", -1, &q.st, nullptr);
    if (rc != SQLITE_OK) {
        failure(rc);
    }
    rc = sqlite3_step(q.st);
    if (rc != SQLITE_ROW) {
        failure(rc);
    }
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(q.st, 0));
    const std::string answer = text != nullptr ? text : "";
    if (answer != "ok") {
        throw RegistryDamaged(path, answer.empty() ? std::string("its pages do not hold together") : answer);
    }
}

std::string RegistryStore::moveAside(const std::string &path)
{
    char stamp[32] = {};
    const std::time_t now = std::time(nullptr);
    struct tm local = {};
    ::localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string base = path + ".damaged-" + stamp;
    for (int n = 1;; ++n) {
        const std::string target = n == 1 ? base : base + "-" + std::to_string(n);
        if (exists(target) || exists(target + "-wal") || exists(target + "-shm")) {
            continue;
        }
        // The log goes first: a log left behind would be read into the next store. Whatever
        // fails puts back what was moved.
        std::vector<std::string> moved;
        auto putBack = [&] {
            for (const std::string &suffix : moved) {
                ::rename((target + suffix).c_str(), (path + suffix).c_str());
            }
        };
        int error = 0;
        std::string failed;
        for (const std::string suffix : {"-wal", "-shm", ""}) {
            if (renameNew(path + suffix, target + suffix)) {
                moved.push_back(suffix);
            } else if (errno != ENOENT || suffix.empty()) {
                error = errno;
                failed = path + suffix;
                break;
            }
        }
        if (error == 0) {
            return target;
        }
        putBack();
        if (error != EEXIST) {
            throw RegistryError("The settings store \"" + path + "\" could not be moved aside as \"" +
                                target + "\": \"" + failed + "\": " + std::strerror(error));
        }
    }
}

} // namespace qv
