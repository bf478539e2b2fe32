// What the writer of one entry needs from the run that builds an archive, and what it is given.
//
// ZipEntryWriter knows nothing of TZipWriter: it gets a copy of the run's settings
// (ZipEntryOptions) and talks back through ZipEntryHost, which the run implements. Several entry
// writers can therefore share one run, each with its own buffers and copy of the settings.
#pragma once

#include "zip/ZipRecords.h"

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qv {

class ZipArchiveOutput;

// Why a file was left out, in more detail than OnSkippingFile's reason (OnSkippingFileDetail).
enum TZipSkipReason {
    zsrDuplicate,        // another file already has this stored name
    zsrFileOpenError,    // the file could not be opened or read
    zsrChangedWhileRead, // the file changed between the checksum pass and the data pass
    zsrNotRegular,       // not a regular file (a device, a pipe, a socket)
    zsrIsArchive,        // the archive itself or its temporary file
};

// One file to add: where it is on disk and the name it gets in the archive.
struct ZipPendingFile {
    std::string path;
    std::string storedName;
    bool folder = false;
    std::uint64_t size = 0;
    bool literal = false;
};

// The settings and events of a run that concern single entries.
struct ZipEntryOptions {
    int packLevel = 6;
    std::string password;
    std::vector<std::string> noCompressList;
    bool resetArchiveBit = false;
    std::function<void(const std::string &fileName, TZipHeaderInfo &header, bool &skip)> onStartZip;
    std::function<void(const std::string &fileName, std::uint64_t uncompressed, std::uint64_t compressed,
                       std::uint64_t zipSize)>
        onEndZip;
    std::function<void(std::uint8_t *buffer, std::size_t length, const std::string &password)> onEncrypt;
    std::function<void(int percent)> onFilePercentDone;
    std::function<void(const std::string &fileName)> onNoSuchFile;
    std::function<bool(const std::string &path)> archiveBitProbe;
    std::function<void(const std::string &path)> archiveBitReset;
};

class ZipEntryHost
{
public:
    virtual ~ZipEntryHost() = default;
    // The archive being written; an entry starts at its current position.
    virtual ZipArchiveOutput &entryOutput() = 0;
    // True when the new archive already holds this stored name.
    virtual bool hasEntry(const std::string &storedName) const = 0;
    // True for the archive itself and its temporary file, which are never added.
    virtual bool isArchiveItself(dev_t dev, ino_t ino) const = 0;
    virtual void entrySkipped(TZipSkipReason reason, const std::string &fileName, const std::string &why) = 0;
    // `bytes` more of the run's input were read (progress of the whole run).
    virtual void entryProgress(std::int64_t bytes) = 0;
    // A file of `bytes` announced for the run will not be read after all.
    virtual void entryDropped(std::int64_t bytes) = 0;
    // At every buffer read: events pumped, a cancel answered with EUserCanceled.
    virtual void checkCancel() = 0;
    // At every piece written: only the cancel flag.
    virtual void pollCancel() = 0;
};

} // namespace qv
