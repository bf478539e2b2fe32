// ArchiveLock: one writer per archive at a time.
#include "core/engine/ArchiveLock.h"

#include "core/engine/RunControl.h"
#include "platform/FileOps.h"
#include "platform/UserAccount.h"

#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <thread>

namespace qv {

namespace {

// The user's private runtime folder for lock files.
std::string lockFolder()
{
    std::string error;
    const std::string base = privateRuntimeFolder(error);
    if (base.empty()) {
        throw std::runtime_error("the lock folder: " + error);
    }
    return base + "/";
}

} // namespace

ArchiveLock::~ArchiveLock()
{
    release();
}

std::string ArchiveLock::normalisedPath(const std::string &archive)
{
    std::string whole = resolvedPath(archive);
    if (!whole.empty()) {
        return whole;
    }
    const std::size_t slash = archive.rfind('/');
    if (slash == std::string::npos) {
        return archive;
    }
    const std::string folder = resolvedPath(slash == 0 ? "/" : archive.substr(0, slash));
    if (folder.empty()) {
        return archive;
    }
    return (folder == "/" ? std::string() : folder) + archive.substr(slash);
}

std::string ArchiveLock::lockFileFor(const std::string &archive)
{
    // FNV-1a over the normalised path: stable across processes and builds.
    std::uint64_t hash = 14695981039346656037ull;
    for (const unsigned char c : normalisedPath(archive)) {
        hash = (hash ^ c) * 1099511628211ull;
    }
    char name[40];
    std::snprintf(name, sizeof name, "archive-%016llx.lock", static_cast<unsigned long long>(hash));
    return lockFolder() + name;
}

bool ArchiveLock::acquire(const std::string &archive, RunControl &control, const std::function<void()> &onWait)
{
    release();
    const std::string file = lockFileFor(archive);
    int error = 0;
    if (!m_file.open(file, error)) {
        throw std::runtime_error("cannot open the lock file \"" + file + "\": " + errnoText(error));
    }
    bool waited = false;
    for (;;) {
        switch (m_file.tryLock(error)) {
        case LockFile::Attempt::Taken:
            return true;
        case LockFile::Attempt::Failed:
            m_file.close();
            throw std::runtime_error("cannot lock \"" + file + "\": " + errnoText(error));
        case LockFile::Attempt::Busy:
            break;
        }
        if (!waited) {
            waited = true;
            if (onWait) {
                onWait();
            }
        }
        if (!control.checkpoint()) {
            m_file.close();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

void ArchiveLock::release()
{
    m_file.close();
}

} // namespace qv
