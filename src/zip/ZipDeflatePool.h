// Compresses the files of a zip run ahead of the writer, on several threads at once.
//
// The writer still writes every entry itself, one after the other in list order; the pool only
// hands it, for a file it reaches, the deflated bytes a worker made in advance. The encoder is
// deterministic and reads a file the same way on any thread, so an entry's bytes, and the whole
// archive, do not depend on the number of threads. A worker records which file it read (device,
// inode, size, modification and change times); the writer uses the bytes only when the file it
// opens is still that file, and compresses it itself otherwise.
//
// Workers keep within a window ahead of the writer: a bounded number of files and of bytes
// waiting, so memory stays bounded whatever the size of the run. Files larger than a worker may
// take are left to the writer.
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

// One file deflated in advance.
struct ZipDeflatedFile {
    dev_t dev = 0;
    ino_t ino = 0;
    std::int64_t size = 0;
    timespec mtime{};
    timespec ctime{};
    std::uint32_t crc = 0;
    std::uint64_t uncompressedSize = 0;
    bool stored = false;
    std::uint16_t internalAttributes = 2;
    std::vector<std::uint8_t> data; // the entry's data, exactly as the encoder wrote it

    // True when `st` describes the file this was made from, unchanged.
    bool sameFile(const struct stat &st) const;
};

class ZipDeflatePool
{
public:
    // Files larger than this are compressed by the writer itself.
    static constexpr std::uint64_t kMaxFileSize = 32u << 20;

    // `wanted[i]` tells whether file i may be deflated in advance (a regular file to be deflated
    // at `level` without encryption). `threads` counts the writer: threads - 1 workers start, each
    // running `workerStart` (when set) before anything else.
    ZipDeflatePool(const std::vector<ZipPendingFile> &files, std::vector<bool> wanted, int level, int threads,
                   std::function<void()> workerStart = {});
    ~ZipDeflatePool(); // stops and joins the workers
    ZipDeflatePool(const ZipDeflatePool &) = delete;
    ZipDeflatePool &operator=(const ZipDeflatePool &) = delete;

    // The writer, in list order: the deflated bytes of file `index`, waiting for the worker that
    // has it; null when no worker took it or the worker could not read it. Results of files
    // before `index` that were never asked for are dropped.
    std::unique_ptr<ZipDeflatedFile> take(std::size_t index);

    // The number of threads a run uses for `requested`: 1 to 64.
    static int threadsFor(int requested);

private:
    enum class State : std::uint8_t { Open, Claimed, Done, Passed };
    void work();
    bool claim(std::size_t &index);
    std::unique_ptr<ZipDeflatedFile> deflate(const ZipPendingFile &file, class Deflater &deflater);
    void dropBefore(std::size_t index);

    const std::vector<ZipPendingFile> &m_files;
    std::vector<bool> m_wanted;
    int m_level;
    std::size_t m_maxAhead;
    std::uint64_t m_maxBytes;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<State> m_state;
    std::vector<std::unique_ptr<ZipDeflatedFile>> m_ready;
    std::size_t m_scan = 0;      // the first file a worker may still claim
    std::size_t m_taken = 0;     // the writer has passed every file before this one
    std::uint64_t m_bytesAhead = 0; // input bytes of files claimed and not yet taken
    std::atomic<bool> m_stop{false};
    std::vector<std::thread> m_workers;
};

} // namespace qv
