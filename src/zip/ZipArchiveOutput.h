// The new archive while it is being written: a temporary file beside the archive, buffered,
// that replaces the archive in one rename once it is complete.
//
// The old archive is never opened for writing. The temporary file is named
// ".<archive name>.KPZxxxxxx", created with O_EXCL in the archive's own folder (so the final
// rename stays on one file system), written through a buffer, fsync'd, given the old archive's
// mode (a new archive gets 0666 less the umask) and renamed over the archive; the folder is then
// synced so the rename itself survives a crash. Until commit() succeeds, destroying the object
// removes the temporary file, which leaves the old archive byte-identical.
#pragma once

#include "zip/ZipStream.h"

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qv {

class ZipArchiveOutput : public TStream
{
public:
    // Creates the temporary file for `archivePath` (which need not exist yet), beside it or, when
    // `tempFolder` is given, there (an archive spanning removable disks is built off the disks).
    explicit ZipArchiveOutput(const std::string &archivePath, const std::string &tempFolder = {});
    ~ZipArchiveOutput() override;
    ZipArchiveOutput(const ZipArchiveOutput &) = delete;
    ZipArchiveOutput &operator=(const ZipArchiveOutput &) = delete;

    // Writes everything or raises ENotEnoughRoom ("Not enough room to write archive") when the
    // file system takes fewer bytes than asked; other system errors raise EStreamError.
    std::int64_t Write(const void *buffer, std::int64_t n) override;
    std::int64_t Read(void *buffer, std::int64_t n) override;
    std::int64_t Seek(std::int64_t offset, int origin) override;
    std::int64_t Position() override { return m_bufferStart + static_cast<std::int64_t>(m_buffer.size()); }
    std::int64_t Size() override;

    // Cuts the file at the current position (after an entry was taken back).
    void truncateHere();

    // Flushes, syncs, sets the mode and renames the temporary file over the archive.
    void commit();

    // Commits the archive as volumes: the bytes from starts[i] go to names[i] (names[0] is the
    // archive itself), `config` to `configName`. Every file is written and synced beside its
    // target first; a file that cannot be written raises with its name and leaves every old
    // file as it was. Then the later volumes and the configuration file are renamed into place
    // and the first volume last, so the old archive is replaced only by a complete set.
    void commitVolumes(const std::vector<std::int64_t> &starts, const std::vector<std::string> &names,
                       const std::string &configName, const std::vector<std::uint8_t> &config);

    // Reads `n` bytes at `pos` of what was written so far; fewer only at the end.
    std::int64_t readAt(std::int64_t pos, void *buffer, std::int64_t n);
    // Syncs the temporary file and renames it to `path` (in its folder) instead of the archive.
    void keepAs(const std::string &path);

    const std::string &tempPath() const { return m_tempPath; }
    const std::string &archivePath() const { return m_archivePath; }
    // Identity of the temporary file, so that a search never adds it to the archive.
    dev_t device() const { return m_dev; }
    ino_t inode() const { return m_ino; }

    // Removes temporary files of earlier, interrupted writes of this archive.
    static void removeLeftovers(const std::string &archivePath);
    // ".<archive name>.KPZ": the prefix of every temporary file of this archive.
    static std::string tempPrefix(const std::string &archivePath);

    // Creates a new temporary file for `forPath` in `folder` (empty: beside it); returns its
    // descriptor and sets `tempPath`.
    static int createTemp(const std::string &forPath, std::string &tempPath, const std::string &folder = {});
    // The mode a new file replacing `path` gets: the old file's, or 0666 less the umask.
    static mode_t modeFor(const std::string &path);
    // Syncs the folder holding `path`, so that a rename there survives a crash.
    static void syncFolderOf(const std::string &path);

private:
    void flushBuffer();
    void writeAll(const uint8_t *data, size_t n);

    std::string m_archivePath;
    std::string m_tempPath;
    int m_fd = -1;
    dev_t m_dev = 0;
    ino_t m_ino = 0;
    std::vector<uint8_t> m_buffer;
    std::int64_t m_bufferStart = 0; // file offset of the first buffered byte
    bool m_committed = false;
};

} // namespace qv
