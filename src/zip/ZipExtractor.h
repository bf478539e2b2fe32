// The extraction engine behind TZipReader::UnZip: entry selection, password check, decoder
// dispatch, CRC check and the safe write of each file.
//
// A file is written to a temporary name in its destination folder and renamed over the target
// only after its CRC matched, so a failed, damaged or cancelled extraction leaves an existing
// file byte-identical and no partial file behind. Entry names never lead outside the destination
// folder: ".." components are refused and absolute names are placed below it.
//
// Extracting or testing a plain archive decodes several entries at once. The checks before an
// entry (its name, OnStartUnZip, folders, the overwrite question) and everything after it (the
// rename over the target, OnEndUnZip, OnBadCRC, the counts) stay on the caller's thread and in
// directory order; other threads only decode into the temporary files. So the entries put in
// place are always a prefix of those that would be in a run on one thread, whatever fails or is
// cancelled. Events of different entries may interleave: an entry's OnStartUnZip can come before
// the OnEndUnZip of the entries just before it, and its progress is reported once, when it is
// done. Encrypted entries, and runs into a stream or memory, are done one by one.
#pragma once

#include "zip/TZipReader.h"
#include "zip/ZipExtractFiles.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace qv {

class ZipExtractor
{
public:
    enum class Target { File, Stream, Test };

    explicit ZipExtractor(TZipReader &reader);
    ~ZipExtractor();

    // Extracts (or tests) the chosen entries; returns the number extracted with a good CRC. The
    // component has opened the archive and marked itself busy (TZipReader runs the engine).
    int run(Target target);
    // Extracts the first entry whose full name matches `mask` into `out`.
    bool runToStream(TStream &out, const std::string &mask);
    // With a memory target, output beyond the entry's size ends the run.
    void setMemoryTarget(bool on) { m_memory = on; }

    // The path below `base` for an entry name, or empty when the name would leave it (a ".."
    // component, a NUL byte, nothing left). Leading "/" and, for MS-DOS entries, a drive are
    // dropped; "." components vanish.
    static std::string safeRelativePath(const std::string &name, bool dosHost);

    // One entry on its way: what the checks before decoding found, then what decoding gave.
    struct Job;

private:
    enum class Outcome { Extracted, Skipped, Failed, Retry };
    class Decoders;

    int runSelected();
    void select();
    Outcome extractEntry(TZipHeaderInfo &entry, int index);
    bool prepare(TZipHeaderInfo &entry, int index, Job &job, Outcome &outcome);
    // Decodes into the job's temporary file (or the stream, or nothing for a test). `report`:
    // on the caller's thread, with progress events and exceptions passed on; otherwise quietly,
    // an exception kept in the job for its turn.
    void decode(Job &job, bool report);
    Outcome finish(Job &job, bool reported);
    bool decodesAside(const TZipHeaderInfo &entry) const;
    void readLocalHeader(std::uint64_t offset, std::uint8_t *header);
    std::string destinationFor(const TZipHeaderInfo &entry) const;
    bool checkPassword(TZipHeaderInfo &entry, int index, std::uint64_t dataStart);
    // Whether the entry may be written to `path`; `replace`: a file is there (or an earlier entry
    // of this run writes one) and is to be replaced.
    bool mayReplace(const TZipHeaderInfo &entry, int index, std::string &path, bool &replace);
    void skip(TSkipReason reason, const std::string &name, int index);
    void error(int index, const std::string &text);
    // Makes the folder `path` beneath the extraction folder; a link on the way is reported.
    bool makeFolder(const std::string &path, int index);
    int viewIndex(const TZipHeaderInfo *entry) const;

    TZipReader &m_reader;
    Target m_target = Target::File;
    TStream *m_out = nullptr;
    bool m_memory = false;
    std::int64_t m_total = 0;
    std::int64_t m_done = 0;
    std::unordered_map<const TZipHeaderInfo *, int> m_viewIndex;
    RootFolder m_root;
    FolderMaker m_folders;
    // The files this run writes, with their entries and times: a later entry of the same name
    // finds them even before they are in place.
    struct Written
    {
        const TZipHeaderInfo *entry;
        std::int64_t time;
    };
    std::unordered_map<std::string, Written> m_written;
    int m_archiveFd = -1; // the archive read with pread (a plain file), else -1
    std::vector<std::uint8_t> m_headers; // archive bytes read ahead for the local headers
    std::uint64_t m_headersAt = 0;
    std::atomic<bool> m_stop{false}; // the run ends: decoding on other threads stops
    friend class EntryOutput;
    friend class EntrySource;
};

} // namespace qv
