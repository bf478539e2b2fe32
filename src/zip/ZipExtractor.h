// The extraction engine behind TZipReader::UnZip: entry selection, password check, decoder
// dispatch, CRC check and the safe write of each file.
//
// A file is written to a temporary name in its destination folder and renamed over the target
// only after its CRC matched, so a failed, damaged or cancelled extraction leaves an existing
// file byte-identical and no partial file behind. Entry names never lead outside the destination
// folder: ".." components are refused and absolute names are placed below it.
#pragma once

#include "zip/TZipReader.h"

#include <cstdint>
#include <string>
#include <unordered_map>

namespace qv {

class ZipExtractor
{
public:
    enum class Target { File, Stream, Test };

    explicit ZipExtractor(TZipReader &reader) : m_reader(reader) {}

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

private:
    enum class Outcome { Extracted, Skipped, Failed, Retry };

    int runSelected();
    void select();
    Outcome extractEntry(TZipHeaderInfo &entry, int index);
    std::string destinationFor(const TZipHeaderInfo &entry) const;
    bool checkPassword(TZipHeaderInfo &entry, int index, std::uint64_t dataStart);
    bool mayReplace(const TZipHeaderInfo &entry, int index, std::string &path);
    void skip(TSkipReason reason, const std::string &name, int index);
    void error(int index, const std::string &text);
    int viewIndex(const TZipHeaderInfo *entry) const;

    TZipReader &m_reader;
    Target m_target = Target::File;
    TStream *m_out = nullptr;
    bool m_memory = false;
    std::int64_t m_total = 0;
    std::int64_t m_done = 0;
    std::unordered_map<const TZipHeaderInfo *, int> m_viewIndex;
    friend class EntryOutput;
};

} // namespace qv
