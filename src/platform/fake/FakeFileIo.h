// A FileIo for tests: the system's calls, except those told to fail.
//
// Installed for its lifetime. A failure is armed for files whose name contains a fragment: a
// failing close still closes the descriptor (as Linux does) and then reports the error, which is
// what a network file system does with a write it could not flush.
#pragma once

#include "platform/FileIo.h"

#include <mutex>
#include <string>

namespace qv {

class FakeFileIo : public FileIo
{
public:
    FakeFileIo();
    ~FakeFileIo() override;
    FakeFileIo(const FakeFileIo &) = delete;
    FakeFileIo &operator=(const FakeFileIo &) = delete;

    // The next `times` calls on a file whose path contains `fragment` fail with `error`.
    void failClose(const std::string &fragment, int error, int times = 1);
    void failRename(const std::string &fragment, int error, int times = 1); // the source name
    void failWrite(const std::string &fragment, int error, int times = 1);
    void failSync(const std::string &fragment, int error, int times = 1); // fsync and fdatasync
    void failUnnamed(const std::string &fragment, int error, int times = 1); // the folder
    void failLink(const std::string &fragment, int error, int times = 1);    // the new name
    // Links of unnamed files through their descriptor (AT_EMPTY_PATH) or through /proc/self/fd
    // fail with ENOENT, as in a process that may not use that way.
    void refuseLinkWays(bool descriptor, bool proc);

    // How many calls failed on purpose.
    int injected() const;

    ssize_t write(int fd, const void *data, std::size_t length) override;
    int close(int fd) override;
    using FileIo::renameAt;
    int renameAt(int fromDir, const char *from, int toDir, const char *to) override;
    int fdatasync(int fd) override;
    int fsync(int fd) override;
    int openUnnamedAt(int dir, const char *folder) override;
    int linkat(int fromDir, const char *from, int toDir, const char *to, int flags) override;

private:
    struct Fault
    {
        std::string fragment;
        int error = 0;
        int times = 0;
    };
    bool armed(const Fault &fault) const;
    int take(Fault &fault, const std::string &path); // the error to report, or 0

    mutable std::mutex m_mutex;
    Fault m_close;
    Fault m_rename;
    Fault m_write;
    Fault m_sync;
    Fault m_unnamed;
    Fault m_link;
    bool m_refuseDescriptor = false;
    bool m_refuseProc = false;
    int m_injected = 0;
    FileIo *m_previous = nullptr;
};

} // namespace qv
