// TZipReader: reading an archive that spans removable disks. The disk in the drive holds the
// last volume (with the end record); the others are asked for in order, each copied into a
// scratch file as it comes, so that every disk is inserted once and the set is then read like
// volumes beside each other (see ZipVolumes).
#include "zip/TZipReader.h"

#include "zip/ZipArchiveOutput.h"
#include "zip/ZipVolumes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace qv {

namespace {

// How often one disk is asked for before the run gives up, so that a prompt that always answers
// without a disk change cannot hold the run forever.
constexpr int kAsksPerDisk = 100;

std::string diskText(int disk)
{
    char text[16];
    std::snprintf(text, sizeof text, "%3.3d", disk);
    return text;
}

// Copies `from` into a new scratch file in `folder`; returns its name.
std::string spool(const std::string &from, const std::string &folder, const std::string &zipName, int disk)
{
    const std::string volume = from + " (disk " + std::to_string(disk) + ")";
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        throw EIncompleteZip(systemErrorText("Volume of the archive is missing or unreadable:", volume, errno));
    }
    std::string path;
    int out = -1;
    try {
        out = ZipArchiveOutput::createTemp(zipName, path, folder);
    } catch (...) {
        ::close(in);
        throw;
    }
    std::vector<char> buffer(256 * 1024);
    int err = 0;
    bool readFailed = false;
    for (;;) {
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            err = got < 0 ? errno : 0;
            readFailed = got < 0;
            break;
        }
        for (ssize_t done = 0; done < got && err == 0;) {
            const ssize_t k = ::write(out, buffer.data() + done, static_cast<std::size_t>(got - done));
            if (k < 0 && errno != EINTR) {
                err = errno;
            }
            done += std::max<ssize_t>(k, 0);
        }
        if (err != 0) {
            break;
        }
    }
    ::close(in);
    ::close(out);
    if (err != 0) {
        ::unlink(path.c_str());
        if (readFailed) {
            throw EIncompleteZip(systemErrorText("Volume of the archive is missing or unreadable:", volume, err));
        }
        throw EStreamError(systemErrorText("Cannot copy the archive volume to", path, err));
    }
    return path;
}

} // namespace

bool TZipReader::stampOf(const std::string &path, Stamp &stamp)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    stamp = {st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec};
    return true;
}

void TZipReader::removeSpool()
{
    for (const std::string &path : m_spoolFiles) {
        ::unlink(path.c_str());
    }
    m_spoolFiles.clear();
}

// The built-in answer when another disk is wanted: the prompt, and the archive's own name on it.
void TZipReader::askForSpanDisk(int disk, std::string &name)
{
    const std::string text = "Please insert disk " + std::to_string(disk) + " of the multi-disk set.";
    if (!OnDiskPrompt || !OnDiskPrompt(text)) {
        name.clear();
        return;
    }
    name = m_zipName;
}

// A disk labelled as another disk of a set ("PKBACK# 002" is disk 2) is the wrong one. Disks
// without such a label (any disk written here, which never relabels a file system) are taken on
// what they hold.
bool TZipReader::labelFits(const std::string &name, int disk)
{
    std::string label;
    if (!CheckDiskLabels() || !FileSystem().VolumeLabel(name, label)) {
        return true;
    }
    while (!label.empty() && label.back() == ' ') {
        label.pop_back();
    }
    if (label.size() < 3 || !std::all_of(label.end() - 3, label.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return true;
    }
    return label.compare(label.size() - 3, 3, diskText(disk)) == 0;
}

void TZipReader::readSpannedSet()
{
    TEndCentral ec = m_endCentral;
    if (ec.HasComment() && !ec.CommentLoaded()) {
        TS_BufferStream &s = ArchiveStream();
        s.Seek(static_cast<std::int64_t>(ec.ZipCommentPos), soBeginning);
        std::string text(ec.ZipCommentLen, '\0');
        text.resize(static_cast<std::size_t>(std::max<std::int64_t>(s.Read(text.data(), ec.ZipCommentLen), 0)));
        ec.LoadZipComment(text);
    }
    const int last = static_cast<int>(ec.ThisDiskNumber);
    const std::string folder = zipScratchFolder();
    std::vector<std::string> spooled(static_cast<std::size_t>(last) + 1);
    std::vector<Stamp> seen(1);
    try {
        stampOf(m_zipName, seen[0]);
        spooled[static_cast<std::size_t>(last)] = spool(m_zipName, folder, m_zipName, last + 1);
        m_spoolFiles.push_back(spooled.back());
        // Nothing of the disk in the drive stays open, or it could not be unmounted and changed.
        m_stream.reset();
        m_file.reset();
        for (int d = 0; d < last; ++d) {
            const std::string name = nextSpanDisk(d + 1, seen);
            spooled[static_cast<std::size_t>(d)] = spool(name, folder, m_zipName, d + 1);
            m_spoolFiles.push_back(spooled[static_cast<std::size_t>(d)]);
        }
        m_volumeNames = spooled;
        openVolumes();
    } catch (...) {
        discardArchive();
        throw;
    }
    auto *volumes = static_cast<ZipVolumeStream *>(m_volumes.get());
    const auto lastStart = static_cast<std::uint64_t>(volumes->VolumeStart(last));
    ec.CentralOffset += static_cast<std::uint64_t>(volumes->VolumeStart(static_cast<int>(ec.CentralDiskNumber)));
    ec.RecordOffset += lastStart;
    ec.ZipCommentPos += lastStart;
    if (ec.CentralOffset + ec.CentralSize > static_cast<std::uint64_t>(volumes->Size())) {
        discardArchive();
        throw EIncompleteZip("The disks of " + m_zipName + " hold less than their directory says");
    }
    m_endCentral = ec;
    m_multiMode = mmSpan;
}

// Asks for disk `disk` until a disk of the set that was not read yet is in; returns the file.
std::string TZipReader::nextSpanDisk(int disk, std::vector<Stamp> &seen)
{
    for (int ask = 0; ask < kAsksPerDisk; ++ask) {
        std::string name = m_zipName;
        if (OnGetNextDisk) {
            OnGetNextDisk(disk, name);
        } else {
            askForSpanDisk(disk, name);
        }
        if (name.empty()) {
            throw EUserCanceled(ziptext::kCanceledNewDisk);
        }
        Stamp id;
        if (!stampOf(name, id)) {
            if (OnGetNextDisk) {
                throw EIncompleteZip("Volume " + name + " (disk " + std::to_string(disk) +
                                     ") of the archive is missing or unreadable");
            }
            continue; // the disk in holds no volume of the archive
        }
        const bool again = std::any_of(seen.begin(), seen.end(), [&](const Stamp &s) {
            return s.dev == id.dev && s.ino == id.ino && s.size == id.size && s.mtimeNs == id.mtimeNs;
        });
        if (again || (!OnGetNextDisk && !labelFits(name, disk))) {
            continue; // the disk was not changed, or it is labelled as another one
        }
        seen.push_back(id);
        return name;
    }
    throw EUserCanceled(ziptext::kCanceledNewDisk);
}

} // namespace qv
