// Compresses the files of a zip run ahead of the writer, on several threads at once.
//
// The writer still writes every entry itself, one after the other in list order; the pool only
// hands it, for a file it reaches, the deflated bytes a worker made in advance. The encoder is
// deterministic and reads a file the same way on any thread, so an entry's bytes, and the whole
// archive, do not depend on the number of threads. A worker records which file it read (device,
// inode, size, modification and change times); the writer uses the bytes only when the file it
// opens is still that file, and compresses it itself otherwise.
//
// A file large enough to be cut into pieces (Deflater::cutIntoPieces) is deflated piece by piece,
// each piece on whichever thread is free; the writer takes the pieces in order and makes any piece
// no worker has started itself. While the writer waits for a worker it deflates the next files or
// pieces no worker has claimed, as one more worker: `threads` threads compress. Workers keep within
// a window ahead of the writer: a bounded number of files and pieces and of bytes waiting, so
// memory stays bounded whatever the size of the run.
#pragma once

#include "zip/ZipEntryHost.h"

#include <sys/stat.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace qv {

// One file, or one piece of a file, deflated in advance.
struct ZipDeflatedFile {
    dev_t dev = 0;
    ino_t ino = 0;
    std::int64_t size = 0;
    timespec mtime{};
    timespec ctime{};
    std::uint32_t crc = 0;              // of the file, or of the piece
    std::uint64_t uncompressedSize = 0; // of the file, or of the piece
    bool stored = false;
    std::uint16_t internalAttributes = 2;
    std::vector<std::uint8_t> data; // the entry's data, exactly as the encoder wrote it

    // True when `st` describes the file this was made from, unchanged.
    bool sameFile(const struct stat &st) const;
};

class ZipDeflatePool
{
public:
    // `wanted[i]` tells whether file i may be deflated in advance (a regular file to be deflated
    // at `level` without encryption). `threads` counts the writer: threads - 1 workers start, each
    // running `workerStart` (when set) before anything else.
    ZipDeflatePool(const std::vector<ZipPendingFile> &files, std::vector<bool> wanted, int level, int threads,
                   std::function<void()> workerStart = {});
    ~ZipDeflatePool(); // stops and joins the workers
    ZipDeflatePool(const ZipDeflatePool &) = delete;
    ZipDeflatePool &operator=(const ZipDeflatePool &) = delete;

    // The number of pieces planned for file `index` (from its listed size); 0 when it is
    // deflated whole or not in advance.
    std::size_t piecesOf(std::size_t index) const;

    // The writer, in list order: the deflated bytes of file `index` (one deflated whole), waiting
    // for the worker that has it; null when no worker took it or the worker could not read it.
    // Results of files before `index` that were never asked for are dropped.
    std::unique_ptr<ZipDeflatedFile> take(std::size_t index);

    // The writer, in order: piece `piece` of file `index`, made on the calling thread when no
    // worker has started it; null when the file is no longer the one listed (another size, not
    // readable). Results before it that were never asked for are dropped.
    std::unique_ptr<ZipDeflatedFile> takePiece(std::size_t index, std::size_t piece);

    // The number of threads a run uses for `requested`: 1 to 64.
    static int threadsFor(int requested);

private:
    enum class State : std::uint8_t { Open, Claimed, Done, Passed };
    static constexpr std::size_t kWhole = SIZE_MAX;
    // A file deflated whole, or one piece of a file.
    struct Unit {
        std::size_t file;
        std::size_t piece; // kWhole for a whole file
        std::uint64_t length;
    };
    void work();
    bool claim(std::size_t &unit);
    std::unique_ptr<ZipDeflatedFile> make(std::size_t unit, class Deflater &deflater, std::vector<std::uint8_t> &buffer);
    std::unique_ptr<ZipDeflatedFile> deflateWhole(const ZipPendingFile &file, class Deflater &deflater);
    std::unique_ptr<ZipDeflatedFile> deflatePiece(const Unit &unit, class Deflater &deflater,
                                                  std::vector<std::uint8_t> &buffer);
    void dropBefore(std::size_t unit);
    void waitHelping(std::unique_lock<std::mutex> &lock, std::size_t unit);
    void finishUnit(std::size_t unit, std::unique_ptr<ZipDeflatedFile> result);

    const std::vector<ZipPendingFile> &m_files;
    int m_level;
    std::size_t m_maxAhead;
    std::uint64_t m_maxBytes;
    std::vector<Unit> m_units;
    std::vector<std::size_t> m_firstUnit; // per file; files not deflated in advance have none
    std::vector<std::size_t> m_pieces;    // per file: pieces planned, 0 for whole or none

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<State> m_state;
    std::vector<std::unique_ptr<ZipDeflatedFile>> m_ready;
    std::size_t m_scan = 0;      // the first unit a worker may still claim
    std::size_t m_taken = 0;     // the writer has passed every unit before this one
    std::uint64_t m_bytesAhead = 0; // input bytes of units claimed and not yet taken
    std::unique_ptr<class Deflater> m_callerDeflater; // for the pieces the writer makes itself
    std::vector<std::uint8_t> m_callerBuffer;
    std::atomic<bool> m_stop{false};
    std::vector<std::thread> m_workers;
};

} // namespace qv
