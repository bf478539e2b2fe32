// Writes one new entry (a file or a folder) into the archive being built by TZipWriter.
//
// The local header goes out first with provisional values, then the data (stored or deflated,
// encrypted with a password), then the header is rewritten in place with the final CRC and
// sizes. With a password the file is read twice, once for the CRC that the encryption header
// must carry and once for the data; when the two passes disagree (the file changed meanwhile)
// the entry is written again, and when they disagree again the file is left out, so nothing is
// ever stored with a wrong check byte. A file whose size, times or identity after its data was
// read differ from what they were when it was opened changed meanwhile: it is left out too. A
// file that outgrows a header without a Zip64 field is written again with one. Whenever an entry
// is abandoned the output goes back to where the entry began.
#pragma once

#include "zip/Deflate.h"
#include "zip/ZipDeflatePool.h"
#include "zip/ZipCipher.h"
#include "zip/ZipEntryHost.h"
#include "zip/ZipRecords.h"

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qv {

// What was made in advance for a file: its data deflated whole, or the pool that holds the pieces
// of file `index`.
struct ZipAhead {
    const ZipDeflatedFile *whole = nullptr;
    ZipDeflatePool *pool = nullptr;
    std::size_t index = 0;
};

class ZipEntryWriter
{
public:
    using Ahead = ZipAhead;

    explicit ZipEntryWriter(ZipEntryHost &host);

    // The settings of the run that starts; kept until the next call.
    void setOptions(const ZipEntryOptions &options) { m_options = options; }

    // Adds the file at the output's position; false when it was left out (the reason was
    // reported through OnSkippingFile or OnNoSuchFile; the output is unchanged).
    // `ahead` holds what was made in advance; it is used when the file opened is still the one it
    // was made from (`usedReady` tells).
    bool addOneFile(const ZipPendingFile &file, TZipHeaderInfo &entry, const Ahead &ahead = {},
                    bool *usedReady = nullptr);

    // True when the file would be deflated without encryption, so that its data may be made in
    // advance on another thread.
    bool deflatesInAdvance(const ZipPendingFile &file) const;

    // An entry's time: the MS-DOS date and time (local) and the extended timestamp (seconds since
    // the epoch), which an update compares with the file's time.
    static void stampTime(TZipHeaderInfo &entry, int64_t modTime);
    // Whether the file `st` describes is to replace the entry made of it earlier (an update).
    static bool changedSince(const struct stat &st, const TZipHeaderInfo &entry);
    // The MS-DOS attribute byte of a file: read-only without the owner's write bit, hidden for a
    // name starting with ".", folder, archive as given.
    static uint32_t dosAttributes(const std::string &path, uint32_t mode, bool archiveBit);

private:
    enum class Attempt { Done, CrcChanged, NeedZip64, AheadStale };

    bool addFolder(const TZipHeaderInfo &templ, const ZipPendingFile &file, TZipHeaderInfo &entry);
    Attempt writeAttempt(int fd, TZipHeaderInfo &entry, int64_t start, bool compress, const Ahead &ahead);
    uint64_t writeReady(const ZipDeflatedFile &ready, TZipHeaderInfo &entry);
    void passReady(const ZipDeflatedFile &ready);
    bool writePieces(ZipDeflatePool &pool, std::size_t index, TZipHeaderInfo &entry, uint64_t &dataIn);
    DeflateResult deflateInPieces(int fd, int level);
    uint32_t checksumPass(int fd);
    bool unchangedSinceOpen(int fd) const;
    size_t readInput(int fd, uint8_t *buffer, size_t n);
    void emit(const uint8_t *data, size_t n);
    void encryptHeader(uint32_t crc);
    bool isDuplicate(const std::string &storedName) const;
    bool noCompress(const std::string &path) const;

    ZipEntryHost &m_host;
    ZipEntryOptions m_options;
    Deflater m_deflater;
    TZipCipher m_cipher;
    bool m_encrypt = false;
    std::vector<uint8_t> m_readBuffer;
    std::vector<uint8_t> m_scratch;
    std::vector<uint8_t> m_pieceBuffer;
    struct stat m_openStat {};
    uint32_t m_crcRegister = 0;
    uint64_t m_fileSize = 0;
    uint64_t m_fileDone = 0;
    uint64_t m_written = 0;
    std::string m_currentPath;
};

// Thrown by the input routine when the source cannot be read any further.
struct ZipSourceReadError {
    int error;
};

} // namespace qv
