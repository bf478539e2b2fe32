// The texts of the compress backup, each with its language key and English default (or none for
// the fixed texts that are never translated).
#pragma once

#include "core/engine/BackupMessages.h"
#include "core/util/Product.h"

namespace qv {

namespace msg {
inline constexpr BackupMessage ProgressCompressing{"strBackupProgressCompressing", "Compressing"};
inline constexpr BackupMessage FileCompressing{"strBackupFileCompressing", "Compressing \"%s\"."};
inline constexpr BackupMessage FileCompressBadCrc{"strBackupFileCompresBadCRC", "Bad CRC \"%s\"."};
inline constexpr BackupMessage CompressTotals{
    "strBackupCompressTotals", "Total compression summary: ZIP file name: \"%s\"; ZIP file size: %d bytes; %d "
                               "folders; %d files, %d bytes, %d errors, %d warnings."};
inline constexpr BackupMessage CompressNoArchiveName{"strBackupCompressNoArchiveName",
                                                     "The task names no archive file (\"%s\")."};
inline constexpr BackupMessage CompressArchiveWaiting{
    "strBackupCompressArchiveWaiting", "Waiting for another run that writes the archive \"%s\"."};
inline constexpr BackupMessage CompressDuplicate{
    "strBackupCompressDuplicate",
    "Files \"%s\" and \"%s\" would have the same name \"%s\" in the archive; the second is left out."};
inline constexpr BackupMessage CompressFileError{"strBackupCompressFileError",
                                                 "Can't compress file \"%s\" (%s); it is left out."};
inline constexpr BackupMessage CompressFileGone{"strBackupCompressFileGone",
                                                "File \"%s\" disappeared before it was compressed."};
inline constexpr BackupMessage CompressSkipArchive{"strBackupCompressSkipArchive",
                                                  "Skipping \"%s\": the archive is never added to itself."};
inline constexpr BackupMessage CompressExtractError{
    "strBackupCompressExtractError", "Can't extract \"%s\" from the archive; the entry stays in it."};
// Fixed texts of the removal of entries whose source files are gone.
inline constexpr BackupMessage ZipDeleting{nullptr, "Deleting from ZIP: \"%s\"."};
inline constexpr BackupMessage ZipDeletingToRecycle{nullptr, "Deleting file \"%s/%s\" to Trash."};
inline constexpr BackupMessage ZipDeletingToArchive{nullptr,
                                                    "Deleting file \"%s/%s\" to Deleted Files Archive folder."};
inline constexpr BackupMessage ZipRecycleFolderError{nullptr, "Can't delete folder to Trash (%s)."};
inline constexpr BackupMessage ZipTempFolderError{nullptr, "Can't delete TEMP folder (%s)."};
} // namespace msg

} // namespace qv
