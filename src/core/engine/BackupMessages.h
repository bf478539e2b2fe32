// The texts the backup threads log and show, each with its language key and English default.
//
// Texts come from the loaded language file (GetLangString) unless a test installed its own lookup. "%s" and "%d" are filled in order by
// formatMessage, which never reads past its arguments, so a translated text with too many
// placeholders cannot crash a run.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qv {

struct BackupMessage {
    const char *key; // nullptr: a fixed English text that is never translated
    const char *text;
};

// Replaces the language lookup (tests); an empty function restores GetLangString.
using BackupTextLookup = std::function<std::string(const char *key, const char *english)>;
void setBackupTextLookup(BackupTextLookup lookup);

// The text of a message in the current language.
std::string messageText(const BackupMessage &m);

// One argument of formatMessage: a string or a 64-bit number.
struct MessageArg {
    MessageArg(const std::string &s) : text(s) {}
    MessageArg(const char *s) : text(s) {}
    MessageArg(std::int64_t v) : text(std::to_string(v)) {}
    MessageArg(int v) : text(std::to_string(v)) {}
    MessageArg(unsigned v) : text(std::to_string(v)) {}
    MessageArg(std::uint64_t v) : text(std::to_string(v)) {}
    std::string text;
};

// Fills "%s" and "%d" (also "%u") in order; "%%" is one "%"; a placeholder without an argument
// stays as written.
std::string formatText(const std::string &format, const std::vector<MessageArg> &args);
std::string formatMessage(const BackupMessage &m, const std::vector<MessageArg> &args = {});

namespace msg {
// Framework
inline constexpr BackupMessage QueueWaiting{"strBackupQueueWaiting", "Waiting for the queue."};
inline constexpr BackupMessage QueueOK{"strBackupQueueOK", "Queue OK."};
inline constexpr BackupMessage ProgressReadingSource{"strBackupProgressReadingSource", "Reading Source Files"};
inline constexpr BackupMessage ProgressReadingDestination{"strBackupProgressReadingDestination",
                                                          "Reading Destination Files"};
inline constexpr BackupMessage ProgressCheckSameDst{"strBackupProgressCheckSameDst",
                                                    "Checking Destination Locations"};
inline constexpr BackupMessage MultiSrcSameDstFiles{
    "strBackupMuliSrcSameDstFiles",
    "Detected two or more Source files (one is: %s) with the same Destination locations (%s)! To prevent "
    "files overwriting Backup must be stopped!"};
inline constexpr BackupMessage MultiSrcSameDstFolders{
    "strBackupMuliSrcSameDstFolders", "Detected two or more Source folders with the same Destination "
                                      "location! Files from different source folders will be mixed in "
                                      "destination!"};
inline constexpr BackupMessage RasConnecting{"strBackupRasConnecting", "Connecting to %s."};
inline constexpr BackupMessage RasConnected{"strBackupRasConnected", "Connection established (%s)."};
inline constexpr BackupMessage RasConnectingError{"strBackupRasConnectingError", "Can't connect to %s."};
inline constexpr BackupMessage RasAlreadyConnected{"strBackupRasAlreadyConnected",
                                                   "Already connected to RAS (%s). Skipping."};
inline constexpr BackupMessage RasDisconnecting{"strBackupRasDisconnecting", "Disconnecting from %s."};
inline constexpr BackupMessage RasDisconnectSkipping{
    "strBackupRasDisconnectSkipping",
    "Connection established not by Quorvellant application. Disconnection skipped (%s)."};
inline constexpr BackupMessage RasErrorCode{"strBackupRasErrorCode", "The network manager answered %d: %s."};
inline constexpr BackupMessage RasErrorNoManager{"strBackupRasErrorNoManager", "NetworkManager is not available"};
inline constexpr BackupMessage RasErrorNotUp{"strBackupRasErrorNotUp", "the connection did not come up"};
inline constexpr BackupMessage RasErrorTimeout{"strBackupRasErrorTimeout", "time-out"};
inline constexpr BackupMessage RasErrorActivation{"strBackupRasErrorActivation", "activation failed"};
inline constexpr BackupMessage RasErrorNoProfile{"strBackupRasErrorNoProfile", "no such profile"};
inline constexpr BackupMessage RasErrorOther{"strBackupRasErrorOther", "unknown error"};
inline constexpr BackupMessage RasDisconnectLater{
    "strBackupRasDisconnectLater", "Another task still uses %s; it is disconnected when that task ends."};
inline constexpr BackupMessage RasNoneSelected{"strRasNoneSelected", "[none]"};
inline constexpr BackupMessage SourceNoFiles{
    "strBackupSourceNoFiles", "Source files list is empty (check \"File Filter\" settings). Nothing to do!"};
inline constexpr BackupMessage TestTotals{"strBackupTestTotals", "Total summary: %d folders; %d files; %d bytes."};
inline constexpr BackupMessage BackupFinish{"strBackupFinish", "Backup finished."};
inline constexpr BackupMessage FolderUnreadable{
    "strBackupFolderUnreadable",
    "Unable to read folder \"%s\" (%s)! Its contents are skipped and nothing below its destination is deleted."};
inline constexpr BackupMessage SpecialFileSkipped{"strBackupSpecialFileSkipped",
                                                  "Skipping \"%s\": not a regular file or folder."};
inline constexpr BackupMessage LinkLeftAlone{
    nullptr, "Leaving \"%s\" and everything below it alone: it is a symbolic link, and nothing is written through one."};
inline constexpr BackupMessage DriveNotConnected{
    nullptr,
    "\"%s\" is a drive that is not connected (another file system was mounted there at an earlier run, "
    "or the mount configuration names it): its backup is neither deleted nor copied back."};
inline constexpr BackupMessage LinkObsolete{
    nullptr, "\"%s\" is a symbolic link where the source has a folder or file: the link goes as obsolete "
             "(what it points at is never touched)."};
inline constexpr BackupMessage LinkNotWrittenThrough{
    nullptr, "Unable to write into \"%s\": it is a symbolic link, and nothing is written through one."};
inline constexpr BackupMessage SyncError{"strBackupSyncError",
                                         "Unable to flush the destination file system (%s)."};
inline constexpr BackupMessage ExecuteProgramError{"strUtilsExecuteProgramError",
                                                  "Unable to execute external program %s."};
inline constexpr BackupMessage PriorityRefused{
    "strBackupPriorityRefused",
    "The CPU priority \"%s\" could not be applied in full (%s); the backup runs at the priority it may have."};
inline constexpr BackupMessage RunFailed{"strBackupRunFailed", "The backup stopped on an error: %s"};

// Copy engine
inline constexpr BackupMessage Totals{
    "strBackupTotals", "Total summary: %d folders; %d files, %d bytes, %d errors, %d warnings."};
inline constexpr BackupMessage ProgressCopying{"strBackupProgressCopying", "Copying"};
inline constexpr BackupMessage ProgressMoving{"strBackupProgressMoving", "Moving"};
inline constexpr BackupMessage ProgressSyncDst{"strBackupProgressSynchonizingDst",
                                               "Synchronizing (source --> destination)"};
inline constexpr BackupMessage ProgressSyncSrc{"strBackupProgressSynchonizingSrc",
                                               "Synchronizing (destination --> source)"};
inline constexpr BackupMessage FileOverwritingNewer{
    "strBackupFileOverwritingNewer", "Overwriting newer destination file \"%s\" by older source file \"%s\"."};
inline constexpr BackupMessage FileSkipOlder{"strBackupFileSkipOlder", "Skipping older file \"%s\" (than \"%s\")."};
inline constexpr BackupMessage FileSkipUnchanged{"strBackupFileSkipUnchanged", "Skipping unchanged \"%s\"."};
inline constexpr BackupMessage DateEqualOverwriteBigger{
    nullptr, "Modification dates are equal, but according to Task's settings program overwriting destination "
             "file with bigger source file (%s)."};
inline constexpr BackupMessage DateEqualSkipSmaller{
    nullptr,
    "Skipping file %s. Modification dates are equal, but destination size is less than source size."};
inline constexpr BackupMessage FileCopyEmptySource{
    "strBackupFileCopyEmptySource", "Copying empty source file \"%s\" over non-empty destination \"%s\"."};
inline constexpr BackupMessage FileCopySkipEmptySource{
    "strBackupFileCopySkipEmptySource",
    "Skipping copying empty source file \"%s\" over non-empty destination \"%s\"."};
inline constexpr BackupMessage FileCopyInUse{"strBackupFileCopyInUse", "Copying in use file \"%s\" to \"%s\"."};
inline constexpr BackupMessage FileSkipInUse{"strBackupFileSkipInUse", "Skipping in use file \"%s\"."};
inline constexpr BackupMessage FileCopy{"strBackupFileCopy", "Copying \"%s\" to \"%s\"."};
inline constexpr BackupMessage FileCopyError{
    "strBackupFileCopyError", "Can't copy file \"%s\" to \"%s\"! (Description: %s; System error code: %d)"};
inline constexpr BackupMessage FileTimeInFuture{
    nullptr,
    "The file \"%s\" is dated %s, in the future: until then it counts as newer than every change to its "
    "other copy."};
inline constexpr BackupMessage SameTimeOtherContent{
    nullptr, "\"%s\" and \"%s\" have the same time and size but different contents: both are left as they are."};
inline constexpr BackupMessage FileCaseTwin{
    nullptr,
    "Can't copy file \"%s\" to \"%s\"! The destination does not tell upper from lower case, and that "
    "name is \"%s\" there."};
inline constexpr BackupMessage FileMoveUnchanged{
    "strBackupFileMoveUnchanged", "Destination already contain \"%s\", skipped. Deleting source file \"%s\"."};
inline constexpr BackupMessage FileMoveEmptySource{
    "strBackupFileMoveEmptySource", "Moving empty source file \"%s\" over non-empty destination \"%s\"."};
inline constexpr BackupMessage FileMoveSkipEmptySource{
    "strBackupFileMoveSkipEmptySource",
    "Skipping moving empty source file \"%s\" over non-empty destination \"%s\"."};
inline constexpr BackupMessage FileMoveInUse{"strBackupFileMoveInUse", "Moving in use file \"%s\" to \"%s\"."};
inline constexpr BackupMessage FileMove{"strBackupFileMove", "Moving \"%s\" to \"%s\"."};
inline constexpr BackupMessage FileMoveReadOnly{"strBackupFileMoveReadOnly",
                                                "Moving 'Read Only' file \"%s\" to \"%s\"."};
inline constexpr BackupMessage FileMoveError{"strBackupFileMoveError", "Can't move file \"%s\" to \"%s\"!"};
inline constexpr BackupMessage FileMoveSourceKept{
    "strBackupFileMoveSourceKept",
    "The destination \"%s\" does not match the source; the source file \"%s\" is kept."};
inline constexpr BackupMessage FileMoveIsSource{
    "strBackupFileMoveIsSource",
    "The destination \"%s\" is the source file \"%s\" itself; the source file is kept."};
inline constexpr BackupMessage FileChangedWhileCopied{
    nullptr, "File \"%s\" changed while it was copied; \"%s\" is left as it was and the file is copied again "
             "on the next run."};
inline constexpr BackupMessage FileChangedWhileMoved{
    nullptr,
    "File \"%s\" changed while it was moved to \"%s\"; the source file is kept and is moved again on "
    "the next run."};
inline constexpr BackupMessage CreatingFolder{"strBackupCreatingFolder", "Creating folder \"%s\"."};
inline constexpr BackupMessage CreatingFolderError{"strBackupCreatingFolderError", "Unable to create folder \"%s\"!"};
inline constexpr BackupMessage FolderSetDateTimeError{
    "strBackupFolderSetDateTimeError", "Unable to set folder date/time attributes \"%s\" (Description: %s, Code: %d)."};
inline constexpr BackupMessage FolderSetAttributesError{
    "strBackupFolderSetAttributesError", "Unable to set folder attributes \"%s\" (Description: %s, Code: %d)."};
inline constexpr BackupMessage OutOfSpaceRemovable{
    "strBackupOutOfSpaceRemovable",
    "Destination removable disk \"%s\" out of free space (free %d bytes, but needed %d bytes)! Please, insert "
    "new disk!"};
inline constexpr BackupMessage OutOfSpaceFixed{
    "strBackupOutOfSpaceFixed",
    "Destination location \"%s\" out of free space (free %d bytes, but needed %d bytes)!"};
inline constexpr BackupMessage FileCompareFailed{"strBackupFileCompareFailed",
                                                 "File compare of \"%s\" with \"%s\" failed (CRC32 are different)."};

// Versions and obsolete files
inline constexpr BackupMessage VersionsArchiveInvalid{"strBackupVersionsArchiveInvalid",
                                                      "Invalid file Versions Archive Folder (%s)!"};
inline constexpr BackupMessage DeletedArchiveInvalid{"strBackupDeletedArchiveInvalid",
                                                     "Invalid Deleted files Archive Folder (%s)!"};
inline constexpr BackupMessage FileKeepVersion{"strBackupFileKeepVersion",
                                               "Moving file \"%s\" to Versions Archive Folder (\"%s\")."};
inline constexpr BackupMessage FileKeepVersionError{"strBackupFileKeepVersionError",
                                                    "Cannot keep file version \"%s\"!"};
inline constexpr BackupMessage FileDeleteError{"strBackupFileDeleteError", "Cannot delete file \"%s\"!"};
inline constexpr BackupMessage FileDeleteToRecycleError{"strBackupFileDeleteToRecycleError",
                                                        "Cannot delete file to Trash (%s)!"};
inline constexpr BackupMessage FileDeleteToArchiveError{
    "strBackupFileDeleteToArchiveError", "Cannot move file \"%s\" to Deleted Files Archive Folder (%s)!"};
inline constexpr BackupMessage FolderDeleteNotEmptyError{"strBackupFolderDeleteNotEmptyError",
                                                         "Can't delete non-empty folder \"%s\"!"};
inline constexpr BackupMessage FolderDeleteError{"strBackupFolderDeleteError", "Cannot delete folder \"%s\"!"};
inline constexpr BackupMessage FolderDeleteToRecycleError{"strBackupFolderDeleteToRecycleError",
                                                          "Cannot delete folder to Trash (%s)!"};
inline constexpr BackupMessage FolderDeleteToArchiveError{
    "strBackupFolderDeleteToArchiveError", "Cannot move folder \"%s\" to Deleted Files Archive Folder (%s)!"};
inline constexpr BackupMessage DeleteObsoleteSourceError{
    "strBackupDeleteObsoleteSourceError",
    "One of the source folders is invalid (%s)! (drive is disconnected?) Obsolete files deletion skipped."};
inline constexpr BackupMessage DeleteObsoleteImpossible{"strBackupDeleteObsoleteImpossible",
                                                        "Obsolete files deletion is skipped due to Disk Spanning!"};
inline constexpr BackupMessage ProgressSearchingObsolete{"strBackupProgressSearchingObsolete", "Searching obsolete"};
inline constexpr BackupMessage ProgressDeletingObsolete{"strBackupProgressDeletingObsolete", "Deleting obsolete"};
inline constexpr BackupMessage FileDeleteObsolete{"strBackupFileDeleteObsolete", "Deleting obsolete file: \"%s\"."};
inline constexpr BackupMessage FolderDeleteObsolete{"strBackupFolderDeleteObsolete",
                                                    "Deleting obsolete folder: \"%s\"."};
inline constexpr BackupMessage ProgressDeletingMoved{"strBackupProgressDeletingMoved", "Deleting moved folders"};
inline constexpr BackupMessage FolderDelete{"strBackupFolderDelete", "Deleting folder \"%s\"."};
} // namespace msg

} // namespace qv
