// Writing an archive across removable disks, one volume per disk.
#include "zip/ZipSpanOutput.h"

#include "zip/ZipArchiveOutput.h"
#include "zip/ZipErrors.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace qv {

namespace {

// How often a disk that was not changed is asked for again before the run gives up.
constexpr int kAsksPerDisk = 10;

} // namespace

ZipSpanOutput::ZipSpanOutput(const std::string &target, ZipFileSystem &fs, std::int64_t reserveOnFirstDisk,
                             std::function<void(int disk)> askForDisk)
    : m_target(target), m_fs(fs), m_reserve(std::max<std::int64_t>(reserveOnFirstDisk, 0)),
      m_askForDisk(std::move(askForDisk)), m_mode(ZipArchiveOutput::modeFor(target)), m_starts{0}
{
}

ZipSpanOutput::~ZipSpanOutput()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
    if (!m_tempPath.empty()) {
        ::unlink(m_tempPath.c_str());
    }
}

void ZipSpanOutput::raise(int err) const
{
    const std::string volume = m_target + " (disk " + std::to_string(disk() + 1) + ")";
    if (err == ENOSPC || err == EDQUOT) {
        throw ENotEnoughRoom("Not enough room to write archive volume " + volume);
    }
    throw EStreamError(systemErrorText("Cannot write the archive volume", volume, err));
}

void ZipSpanOutput::askForFirstDisk()
{
    if (m_askForDisk) {
        m_askForDisk(1);
    }
}

void ZipSpanOutput::openVolume()
{
    ZipArchiveOutput::removeLeftovers(m_target);
    m_fd = ZipArchiveOutput::createTemp(m_target, m_tempPath);
    m_room = m_fs.FreeSpace(m_target);
    if (m_room >= 0 && disk() == 0) {
        m_room = std::max<std::int64_t>(m_room - m_reserve, 0);
    }
    m_full = false;
    m_onDisk = 0;
}

// Writes what the disk takes of the bytes; returns how many it took.
std::size_t ZipSpanOutput::put(const std::uint8_t *data, std::size_t n)
{
    if (m_room >= 0) {
        n = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(n), m_room));
    }
    std::size_t done = 0;
    while (done < n && !m_full) {
        const ssize_t k = ::write(m_fd, data + done, n - done);
        if (k < 0 && errno == EINTR) {
            continue;
        }
        if (k == 0 || (k < 0 && (errno == ENOSPC || errno == EDQUOT))) {
            m_full = true; // the disk is full: the volume ends here
            break;
        }
        if (k < 0) {
            raise(errno);
        }
        done += static_cast<std::size_t>(k);
    }
    m_onDisk += static_cast<std::int64_t>(done);
    m_position += static_cast<std::int64_t>(done);
    if (m_room >= 0) {
        m_room -= static_cast<std::int64_t>(done);
    }
    return done;
}

void ZipSpanOutput::write(const std::uint8_t *data, std::size_t n)
{
    while (n > 0) {
        if (m_fd < 0) {
            openVolume();
        }
        const std::size_t k = put(data, n);
        data += k;
        n -= k;
        if (n > 0) {
            if (m_onDisk == 0) {
                raise(ENOSPC); // the disk takes nothing at all
            }
            nextDisk();
        }
    }
}

bool ZipSpanOutput::writeWhole(const std::vector<std::uint8_t> &bytes)
{
    if (m_fd < 0) {
        openVolume();
    }
    if (m_room >= 0 && m_room < static_cast<std::int64_t>(bytes.size())) {
        return false;
    }
    const std::int64_t before = m_onDisk;
    const std::int64_t roomBefore = m_room;
    if (put(bytes.data(), bytes.size()) == bytes.size()) {
        return true;
    }
    // Only part of it fitted: take it back so that the disk ends before it.
    if (::ftruncate(m_fd, before) != 0 || ::lseek(m_fd, before, SEEK_SET) != before) {
        raise(errno);
    }
    m_position -= m_onDisk - before;
    m_onDisk = before;
    m_room = roomBefore;
    m_full = true;
    return false;
}

bool ZipSpanOutput::hasRoom()
{
    if (m_fd < 0) {
        openVolume();
    }
    return !m_full && m_room != 0;
}

void ZipSpanOutput::placeVolume()
{
    if (::fchmod(m_fd, m_mode) != 0 || ::fsync(m_fd) != 0) {
        raise(errno);
    }
    ::close(m_fd);
    m_fd = -1;
    if (::rename(m_tempPath.c_str(), m_target.c_str()) != 0) {
        raise(errno);
    }
    m_tempPath.clear();
    ZipArchiveOutput::syncFolderOf(m_target);
    struct stat st;
    if (::stat(m_target.c_str(), &st) == 0) {
        m_placedDev = st.st_dev;
        m_placedIno = st.st_ino;
    }
    ++m_placed;
}

void ZipSpanOutput::nextDisk()
{
    const int next = disk() + 2; // counting from 1
    if (!m_askForDisk) {
        throw ENotEnoughRoom("Not enough room to write archive volume " + m_target +
                             ": the archive needs disk " + std::to_string(next) + " and nothing asks for it");
    }
    if (m_fd < 0) {
        openVolume();
    }
    placeVolume();
    for (int ask = 0;; ++ask) {
        if (ask == kAsksPerDisk) {
            throw EUserCanceled("Disk " + std::to_string(next) + " was not inserted: " + m_target +
                                " still holds disk " + std::to_string(next - 1));
        }
        m_askForDisk(next);
        struct stat st;
        if (::stat(m_target.c_str(), &st) != 0 || st.st_dev != m_placedDev || st.st_ino != m_placedIno) {
            break;
        }
    }
    m_starts.push_back(m_position);
    openVolume();
}

void ZipSpanOutput::finish()
{
    if (m_fd < 0) {
        openVolume();
    }
    placeVolume();
}

} // namespace qv
