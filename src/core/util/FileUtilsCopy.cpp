// CopyFileThrottled: the utilities' face of the platform's one file copy.
//
// The backup threads call StagedCopy themselves; nothing in the program calls this face, which
// keeps the utilities' contract for its tests and the copy benchmark: a result flag and an error
// code (87 for the same file, 0xFFFFFFFF for a stop, 8 for no memory, else the errno value), a
// progress callback, a copy that carries its source's cleared archive attribute, and clearing the
// source's archive attribute after a fully successful copy.
#include "core/util/FileUtils.h"

#include "platform/FileCopy.h"

#include <cerrno>

namespace qv {
namespace {

std::uint32_t utilityCode(int error)
{
    switch (error) {
    case 0:
        return kCopyErrorNone;
    case kCopySameFile:
        return kCopyErrorSameFile;
    case kCopyCancelled:
        return kCopyErrorCancelled;
    case kCopyOutOfMemory:
        return kCopyErrorOutOfMemory;
    case kCopySourceChanged:
        return kCopyErrorSourceChanged;
    default:
        return static_cast<std::uint32_t>(error);
    }
}

} // namespace

bool CopyFileThrottled(const std::string &source, const std::string &destination,
                       const CopyProgressCallback &progress, const std::atomic<bool> *cancel,
                       std::uint32_t &errorCode, bool clearArchiveBit, std::int64_t bytesPerSecond)
{
    CopyOptions options;
    options.cancel = cancel;
    options.bytesPerSecond = bytesPerSecond;
    options.progress = progress ? &progress : nullptr;
    options.carryArchiveMark = true;
    StagedCopy copy;
    int error = 0;
    bool ok = copy.write(source, destination, options, error) && copy.commit(error);
    // A file system that cannot keep the mark leaves the source "to be archived", which is harmless.
    if (ok && clearArchiveBit && !copy.markSourceArchived(error) && error != ENOTSUP && error != EOPNOTSUPP) {
        ok = false;
    }
    errorCode = ok ? kCopyErrorNone : utilityCode(error);
    return ok;
}

} // namespace qv
