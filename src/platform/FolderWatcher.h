// Folder-change notifications: the program-wide watcher that every folder monitor registers with.
//
// Linux gives each user a small number of inotify instances (128 by default) but many watches, so
// the whole program shares one watcher: one inotify descriptor and one thread that reads it.
// A registration watches one folder, optionally with its whole subtree; folders that appear later
// are added as they are created or moved in. Changes reach the registration's callbacks on the
// thread that registered (the main thread), queued, and only while the registration exists: every
// registration has an id that is never reused, so a removed or replaced registration never
// receives a late call.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace qv {

// The kinds of change a registration asks for, one bit each (bit n = kind n).
using FolderChangeKinds = std::uint8_t;

namespace ChangeKind {
constexpr FolderChangeKinds kFileName = 1u << 0;   // files created, deleted or renamed
constexpr FolderChangeKinds kDirName = 1u << 1;    // folders created, deleted or renamed
constexpr FolderChangeKinds kAttributes = 1u << 2; // mode, owner, times set by hand
constexpr FolderChangeKinds kSize = 1u << 3;       // contents written
constexpr FolderChangeKinds kLastWrite = 1u << 4;  // contents written
constexpr FolderChangeKinds kLastAccess = 1u << 5; // contents read
constexpr FolderChangeKinds kCreation = 1u << 6;   // entries created
constexpr FolderChangeKinds kSecurity = 1u << 7;   // mode, owner, ACLs
} // namespace ChangeKind

class FolderWatcher
{
public:
    using WatchId = std::uint64_t;

    struct Callbacks
    {
        // Something the registration asked for changed. Called once per batch of changes read
        // together from the system; also once when the watched folder itself is deleted or moved
        // away (after which the registration receives nothing more), and once when the system lost
        // track of changes (queue overflow).
        std::function<void()> changed;
        // A limit that makes the watch incomplete (the system's watch limit was reached, some
        // subfolders cannot be read). Each kind is reported once per registration.
        std::function<void(const std::string &)> problem;
        // The watched folder itself was deleted, moved away or unmounted: called once, after its
        // last change; the registration receives nothing more and may be removed.
        std::function<void()> gone;
    };

    struct AddResult
    {
        WatchId id = 0;      // 0 when the watch could not start
        int error = 0;       // errno of the failure
        std::string message; // text of the failure, for the user
        std::string warning; // the watch works, but with a limit the user should know of
    };

    virtual ~FolderWatcher() = default;

    // Starts watching `folder` (and, with `subtree`, every folder below it, never through symbolic
    // links). The folder itself is watched before this returns, so its failure is reported here;
    // the subtree is walked in the background.
    virtual AddResult addWatch(const std::string &folder, bool subtree, FolderChangeKinds kinds,
                               Callbacks callbacks) = 0;
    // Stops a registration. Unknown or already removed ids are ignored. No callback of `id` runs
    // after this returns.
    virtual void removeWatch(WatchId id) = 0;
};

// The program's watcher: the inotify one, created on first use, unless a test installed another.
FolderWatcher &folderWatcher();
// Installs `watcher` (not owned) as the program's watcher; nullptr goes back to the real one.
void setFolderWatcher(FolderWatcher *watcher);

// The text shown for an errno of a failed watch.
std::string folderWatchErrorText(int error);

} // namespace qv
