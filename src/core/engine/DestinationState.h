// What a copy run knows of its destination: which folders exist, which it created, which it has
// cleared of stale temporary files, and how much room their file systems have.
//
// Each fact saves a system call per file. All of them hold for one medium only: when the user puts
// in another removable disk (out of space, Retry), forget() drops them together, so nothing known
// of the old disk is taken for the new one.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>

namespace qv {

class DestinationState
{
public:
    // Folders.
    bool isKnown(const std::string &folder) const { return facts(folder).known; }
    void noteExists(const std::string &folder) { m_folders[folder].known = true; }
    // Created by this run: it holds only what this run put there.
    void noteCreated(const std::string &folder);
    bool createdByRun(const std::string &folder) const { return facts(folder).created; }
    // The folder went away while the run was going.
    void noteGone(const std::string &folder);
    // True the first time `folder` is asked about: the caller clears its stale temporary files then.
    bool firstVisit(const std::string &folder);

    // Free space. The file system is asked again only when the estimate (its last answer less what
    // this run wrote since) comes near what is needed, or a second has passed: asking for every
    // small file would cost more than copying it.
    bool estimateHolds(const std::string &folder, std::int64_t needed) const;
    // The free bytes of `folder`'s file system: the estimate, or `ask(folder)` when it does not
    // hold (`fresh` then true).
    std::int64_t freeSpace(const std::string &folder, std::int64_t needed, bool &fresh,
                           const std::function<std::int64_t(const std::string &)> &ask);
    void noteWritten(const std::string &folder, std::int64_t bytes);
    // The next freeSpace asks the file system itself.
    void forgetFreeSpace() { m_freeEstimates.clear(); }

    // Another medium: nothing known holds any more.
    void forget();

private:
    struct FreeEstimate {
        std::int64_t bytes = 0;
        std::chrono::steady_clock::time_point asked;
        bool valid = false;
    };

    // Everything known of one folder, in one entry: a run may meet hundreds of thousands of folders.
    struct Folder {
        bool known = false;
        bool created = false;
        bool cleaned = false;
        bool hasDevice = false;
        std::uint64_t device = 0; // its file system
    };
    const Folder &facts(const std::string &folder) const;

    std::unordered_map<std::string, Folder> m_folders;
    std::unordered_map<std::uint64_t, FreeEstimate> m_freeEstimates;
};

} // namespace qv
