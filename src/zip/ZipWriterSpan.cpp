// TZipWriter: writing an archive across removable disks (MultiZipInfo.MultiMode mmSpan).
//
// The archive is built whole in a temporary file off the disks, then copied onto them: each disk
// takes as much as it holds (see ZipSpanOutput), the directory records the disk and the offset
// on that disk of every entry, and the end record lies whole on the last disk, where readers look
// for it. Disks are never relabelled: a set is told apart by what it holds, not by disk labels.
//
// A failure before the first volume is in place leaves the old archive as it was. Once a disk
// has been changed the old archive cannot come back, so the complete new archive is kept in the
// temporary folder and named in the error: nothing is lost.
#include "zip/ZipWriter.h"

#include "zip/ZipArchiveOutput.h"
#include "zip/ZipErrors.h"
#include "zip/ZipSpanOutput.h"
#include "zip/ZipVolumes.h"

#include <algorithm>

namespace qv {

namespace {

std::string lastComponent(const std::string &path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string folderPart(const std::string &path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, std::max<std::size_t>(slash, 1));
}

// Raises an error of the same kind as `cause` with `text`.
[[noreturn]] void raiseLike(const std::exception &cause, const std::string &text)
{
    if (dynamic_cast<const EUserCanceled *>(&cause) != nullptr) {
        throw EUserCanceled(text);
    }
    if (dynamic_cast<const ENotEnoughRoom *>(&cause) != nullptr) {
        throw ENotEnoughRoom(text);
    }
    if (dynamic_cast<const EStreamError *>(&cause) != nullptr) {
        throw EStreamError(text);
    }
    throw EZipError(text);
}

constexpr std::size_t kCopyPiece = 256 * 1024;

} // namespace

std::string TZipWriter::spanTempFolder() const { return zipScratchFolder(TempPath); }

// The directory with each entry's disk and its offset on that disk; `recordStarts` receives where
// each record begins in the archive when the directory begins at `at`.
std::vector<uint8_t> TZipWriter::spanDirectory(const std::vector<int64_t> &diskStarts,
                                               std::vector<int64_t> &recordStarts, int64_t at) const
{
    TMemoryStream central;
    recordStarts.clear();
    for (const TZipHeaderInfo &entry : m_newEntries) {
        TZipHeaderInfo record = entry;
        const auto pos = static_cast<int64_t>(entry.RelativeOffset);
        const auto disk = static_cast<std::size_t>(
            std::upper_bound(diskStarts.begin(), diskStarts.end(), pos) - diskStarts.begin() - 1);
        record.DiskNumberStart = static_cast<uint32_t>(disk);
        record.RelativeOffset = static_cast<uint64_t>(pos - diskStarts[disk]);
        recordStarts.push_back(at + central.Position());
        record.SaveCentralToStream(central);
    }
    return central.Data();
}

void TZipWriter::commitSpan()
{
    const std::string target = m_out->archivePath();
    std::vector<int64_t> recordStarts;
    const auto centralSize = static_cast<int64_t>(spanDirectory({0}, recordStarts, 0).size());
    TEndCentral probe = m_newEnd;
    probe.TotalEntries = probe.EntriesOnDisk = m_newEntries.size();
    probe.CentralOffset = static_cast<uint64_t>(m_spanDataEnd);
    probe.CentralSize = static_cast<uint64_t>(centralSize);
    if (probe.NeedsZip64()) {
        throw EZipError("An archive spanning disks cannot hold Zip64 records");
    }
    const int64_t total = m_spanDataEnd + centralSize + static_cast<int64_t>(probe.EndCentralSize());
    if (OnStartSpanCopy) {
        OnStartSpanCopy(target, total);
    }
    // The old archive came from several disks: the one in now is not the set's first.
    const bool askFirst = m_multiMode == mmSpan && m_volumeNames.size() > 1;
    if (!OnPrepareNextDisk) {
        const int64_t free = FileSystem().FreeSpace(target);
        if (askFirst || (free >= 0 && total > free - MultiZipInfo.SaveOnFirstDisk)) {
            throw ENotEnoughRoom("Not enough room to write archive volume " + target + ": the archive needs " +
                                 std::to_string(total) + " bytes on more than one disk and nothing asks for the next");
        }
    }
    std::function<void(int)> ask;
    if (OnPrepareNextDisk) {
        ask = [this](int disk) {
            OnPrepareNextDisk(disk);
            CheckCancel();
        };
    }
    ZipSpanOutput span(target, FileSystem(), MultiZipInfo.SaveOnFirstDisk, ask);
    try {
        copyOntoDisks(span, askFirst);
    } catch (const std::exception &e) {
        if (span.placed() == 0) {
            throw; // no disk was touched: the old archive is as it was
        }
        keepSpanArchive(e);
    }
}

void TZipWriter::copyOntoDisks(ZipSpanOutput &span, bool firstDiskAsked)
{
    if (firstDiskAsked) {
        span.askForFirstDisk();
    }
    std::vector<uint8_t> piece(kCopyPiece);
    for (int64_t pos = 0; pos < m_spanDataEnd;) {
        const int64_t want = std::min<int64_t>(m_spanDataEnd - pos, static_cast<int64_t>(piece.size()));
        const int64_t got = m_out->readAt(pos, piece.data(), want);
        if (got <= 0) {
            throw EStreamError("The temporary archive " + m_out->tempPath() + " ends early");
        }
        span.write(piece.data(), static_cast<std::size_t>(got));
        pos += got;
        CheckCancel();
    }
    // The directory starts on a disk with room for it, so that its offset lies on that disk.
    if (!span.hasRoom()) {
        span.nextDisk();
    }
    std::vector<int64_t> recordStarts;
    const std::vector<uint8_t> central = spanDirectory(span.diskStarts(), recordStarts, m_spanDataEnd);
    const int centralDisk = span.disk();
    const int64_t centralOffset = span.position() - span.diskStarts().back();
    span.write(central.data(), central.size());
    for (;;) {
        TEndCentral end = m_newEnd;
        end.ThisDiskNumber = static_cast<uint32_t>(span.disk());
        end.CentralDiskNumber = static_cast<uint32_t>(centralDisk);
        end.CentralOffset = static_cast<uint64_t>(centralOffset);
        end.CentralSize = central.size();
        end.TotalEntries = m_newEntries.size();
        end.EntriesOnDisk = static_cast<uint64_t>(std::count_if(
            recordStarts.begin(), recordStarts.end(), [&](int64_t at) { return at >= span.diskStarts().back(); }));
        if (end.ThisDiskNumber > 998) {
            throw EZipError("An archive cannot have more than 999 volumes");
        }
        TMemoryStream bytes;
        end.SaveToStream(bytes);
        if (span.writeWhole(bytes.Data())) {
            break;
        }
        span.nextDisk(); // the end record is never split
    }
    span.finish();
}

void TZipWriter::keepSpanArchive(const std::exception &cause)
{
    const std::string target = m_out->archivePath();
    const std::string temp = m_out->tempPath();
    const std::string name = lastComponent(target);
    const std::string stem = zipNameStem(name);
    std::string kept = folderPart(temp) + "/" + stem + "-" + temp.substr(temp.size() - 6) + name.substr(stem.size());
    try {
        writePlainDirectory(*m_out, m_spanDataEnd);
        m_out->keepAs(kept);
    } catch (const std::exception &e) {
        raiseLike(cause, std::string(cause.what()) + "; the disks hold part of the new archive, and keeping it whole failed: " +
                             e.what());
    }
    raiseLike(cause, std::string(cause.what()) + "; the disks hold part of the new archive, which is kept whole as " + kept);
}

} // namespace qv
