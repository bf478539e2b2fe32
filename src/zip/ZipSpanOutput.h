// An archive written across removable disks: every disk holds one volume under the archive's own
// name, as much as the disk takes; the user changes the disk between volumes.
//
// A volume is written to a temporary file beside its target on the disk and renamed over it only
// once it is complete and synced, so a disk never holds half a volume under the archive's name.
// A disk ends when its free space (as the file-system layer reports it, less what the caller
// reserves on the first disk) is used up or the file system refuses more; then the volume is
// placed and the next disk is asked for. A disk that still holds the volume just placed was not
// changed: it is asked for again rather than overwritten.
#pragma once

#include "zip/ZipFileSystem.h"

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qv {

class ZipSpanOutput
{
public:
    // `askForDisk(n)` asks the user for disk n (counting from 1) and returns when it is in; it
    // raises to give up. Without it the archive must fit on the disk that is in.
    ZipSpanOutput(const std::string &target, ZipFileSystem &fs, std::int64_t reserveOnFirstDisk,
                  std::function<void(int disk)> askForDisk);
    ~ZipSpanOutput();
    ZipSpanOutput(const ZipSpanOutput &) = delete;
    ZipSpanOutput &operator=(const ZipSpanOutput &) = delete;

    // Asks for disk 1 before anything is written (the disk in is not the set's first).
    void askForFirstDisk();
    // Writes the bytes, going on to the next disks as each one fills.
    void write(const std::uint8_t *data, std::size_t n);
    // Writes the bytes wholly on the current disk, or writes nothing and returns false.
    bool writeWhole(const std::vector<std::uint8_t> &bytes);
    // False when the current disk is known to take no more bytes.
    bool hasRoom();
    // Places the current volume and asks for the next disk.
    void nextDisk();
    // Places the last volume.
    void finish();

    int disk() const { return static_cast<int>(m_starts.size()) - 1; }
    std::int64_t position() const { return m_position; }
    // Where each disk begins in the archive's bytes.
    const std::vector<std::int64_t> &diskStarts() const { return m_starts; }
    // Number of volumes already renamed into place.
    int placed() const { return m_placed; }

private:
    void openVolume();
    std::size_t put(const std::uint8_t *data, std::size_t n);
    void placeVolume();
    [[noreturn]] void raise(int err) const;

    std::string m_target;
    ZipFileSystem &m_fs;
    std::int64_t m_reserve;
    std::function<void(int)> m_askForDisk;
    mode_t m_mode;
    std::string m_tempPath;
    int m_fd = -1;
    std::int64_t m_room = -1;  // bytes the current disk still takes; -1: until the file system refuses
    bool m_full = false;        // the file system refused more on this disk
    std::int64_t m_onDisk = 0;  // bytes of the current volume
    std::int64_t m_position = 0;
    std::vector<std::int64_t> m_starts;
    int m_placed = 0;
    dev_t m_placedDev = 0;
    ino_t m_placedIno = 0;
};

} // namespace qv
