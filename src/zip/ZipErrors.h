// The exceptions of the zip library, each with the fixed English text the library raises it with.
//
// Callers catch EZipError for anything the archive code reports; the class tells what happened,
// the text is for the user. Stream and list errors share the same base so that a backup thread
// needs one handler for every failure of the library.
#pragma once

#include <stdexcept>
#include <string>

namespace qv {

class EZipError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

#define QV_ZIP_ERROR(Name)                                                                                   \
    class Name : public EZipError                                                                            \
    {                                                                                                        \
    public:                                                                                                  \
        using EZipError::EZipError;                                                                          \
    }

QV_ZIP_ERROR(EUserCanceled);
QV_ZIP_ERROR(EIncompleteZip);
QV_ZIP_ERROR(ENotAZipFile);
QV_ZIP_ERROR(EBadZipFile);
QV_ZIP_ERROR(EFatalUnzipError);
QV_ZIP_ERROR(EBiggerThanUncompressed);
QV_ZIP_ERROR(ENotEnoughRoom);
QV_ZIP_ERROR(ECantWriteUCF);
QV_ZIP_ERROR(EListError);
QV_ZIP_ERROR(EStreamError);
QV_ZIP_ERROR(EClassNotFound);

#undef QV_ZIP_ERROR

// File streams that cannot be opened or created.
class EFOpenError : public EStreamError
{
public:
    using EStreamError::EStreamError;
};

// The fixed texts, shared by the code that raises them and the tests that expect them.
namespace ziptext {
inline constexpr const char *kUserAborted = "User Aborted Operation";
inline constexpr const char *kCanceledZipName = "User canceled setting zip file name.";
inline constexpr const char *kCanceledDestDir = "User canceled Set Desination Directory";
inline constexpr const char *kCanceledNewDisk = "User canceled loading new disk.";
inline constexpr const char *kIncompleteZip = "Incomplete Zip File";
inline constexpr const char *kNotAZip = "Not a valid zip file!";
inline constexpr const char *kPrematureEnd = "Premature end of file reached";
inline constexpr const char *kBiggerThanUncompressed = "File is larger than uncompressed size!";
inline constexpr const char *kCanceledMemoryUnzip = "User canceled Buffered Memory UnZip";
inline constexpr const char *kCantWrite = "Cant write uncompressed file";
inline constexpr const char *kUnknownMethod = "Unknown Compression Method";
inline constexpr const char *kInflateOutOfMemory = "*** inflate out of memory ***";
inline constexpr const char *kIndexOutOfRange = "Index %d is out of range";
inline constexpr const char *kListIndexOutOfBounds = "List index out of bounds (%d)";
inline constexpr const char *kDuplicateObject = "Duplicate Object index";
inline constexpr const char *kPutInSortedList = "Cannot <Put> an Object in a sorted list!";
inline constexpr const char *kPutbackOverflow = "Putback overflow";
inline constexpr const char *kInvalidSeekOrigin = "Invalid seek origin (%d)";
inline constexpr const char *kSeekError = "\\nSeek error";
inline constexpr const char *kCantCreateConfig = "Unable to create Zip Configuration File to disk";
inline constexpr const char *kCantSaveConfig = "Unable to save Zip Configuration File to disk";
} // namespace ziptext

// Replaces the first %d of a fixed text with a number.
std::string formatIndexText(const char *text, long long value);

} // namespace qv
