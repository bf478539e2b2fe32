// Fuzz targets of the zip library.
#include "ZipFuzzTargets.h"

#include "zip/DecodeIO.h"
#include "zip/ZipContainers.h"
#include "zip/ZipVolumes.h"
#include "zip/ZipWriter.h"
#include "zip/TZipReader.h"

#include <zlib.h>

#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <cstdlib>
#include <vector>

namespace ziptest {
namespace {

constexpr std::size_t kOutputLimit = 1u << 20;

// Decoded output is thrown away, but its size is capped so that a bomb cannot exhaust memory.
class CountingSink : public qv::ByteSink
{
public:
    void write(const std::uint8_t *, std::size_t n) override
    {
        total += n;
        if (total > (std::size_t{1} << 30)) {
            std::abort(); // the decoders stop at the entry's size; this would be a runaway
        }
    }
    std::size_t total = 0;
};

std::uint64_t sizeFrom(const std::uint8_t *&data, std::size_t &size)
{
    if (size < 3) {
        return 0;
    }
    const std::uint64_t v = (data[0] | (data[1] << 8) | (data[2] << 16)) & 0xFFFFF;
    data += 3;
    size -= 3;
    return v;
}

} // namespace

void fuzzReadDirectory(const std::uint8_t *data, std::size_t size)
{
    qv::TMemoryStream ms(std::vector<std::uint8_t>(data, data + size));
    qv::TZipReader z;
    z.SetZipStream(&ms);
    z.IncompleteZipMode = qv::izAssumeBad;
    z.Password = "pw";
    try {
        const int n = z.Count();
        for (int i = 0; i < n; ++i) {
            (void)z.FullName(i);
            (void)z.FileComment(i);
            (void)z.DateTime(i);
        }
        (void)z.ZipComment();
        z.DoAll = true;
        z.TestZip();
    } catch (const qv::EZipError &) {
        // Damaged archives are reported by exceptions; that is the expected outcome.
    }
}

void fuzzInflate(const std::uint8_t *data, std::size_t size)
{
    qv::MemorySource src(data, size, 1 + (size % 7) * 911);
    qv::VectorSink ours(kOutputLimit);
    const qv::DecodeStatus st = qv::inflateStream(src, ours);
    z_stream zs{};
    inflateInit2(&zs, -15);
    zs.next_in = const_cast<Bytef *>(data);
    zs.avail_in = static_cast<uInt>(size);
    static std::vector<std::uint8_t> buffer(kOutputLimit + 1);
    zs.next_out = buffer.data();
    zs.avail_out = static_cast<uInt>(buffer.size());
    const int rc = inflate(&zs, Z_FINISH);
    const std::vector<std::uint8_t> theirs(buffer.begin(), buffer.begin() + static_cast<long>(zs.total_out));
    inflateEnd(&zs);
    if (rc == Z_STREAM_END && !ours.overflow) {
        if (st != qv::DecodeStatus::Ok || ours.data != theirs) {
            std::abort();
        }
    }
    if (st == qv::DecodeStatus::Ok && rc != Z_STREAM_END && !ours.overflow && theirs.size() <= kOutputLimit) {
        // zlib refuses some incomplete codes that we decode; what it produced must be a prefix.
        if (theirs.size() > ours.data.size() ||
            !std::equal(theirs.begin(), theirs.end(), ours.data.begin())) {
            std::abort();
        }
    }
}

void fuzzUnshrink(const std::uint8_t *data, std::size_t size)
{
    const std::uint64_t n = sizeFrom(data, size);
    qv::MemorySource src(data, size, 97);
    CountingSink sink;
    const auto st = qv::unshrinkStream(src, sink, n);
    if (sink.total > n || (st == qv::DecodeStatus::Ok && sink.total != n)) {
        std::abort();
    }
}

void fuzzUnreduce(const std::uint8_t *data, std::size_t size)
{
    if (size < 1) {
        return;
    }
    const int factor = 1 + (data[0] & 3);
    ++data;
    --size;
    const std::uint64_t n = sizeFrom(data, size);
    qv::MemorySource src(data, size, 61);
    CountingSink sink;
    const auto st = qv::unreduceStream(src, sink, n, factor);
    if (sink.total > n || (st == qv::DecodeStatus::Ok && sink.total != n)) {
        std::abort();
    }
}

void fuzzExplode(const std::uint8_t *data, std::size_t size)
{
    if (size < 1) {
        return;
    }
    const bool window8k = (data[0] & 2) != 0;
    const bool threeTrees = (data[0] & 4) != 0;
    ++data;
    --size;
    const std::uint64_t n = sizeFrom(data, size);
    qv::MemorySource src(data, size, 53);
    CountingSink sink;
    const auto st = qv::explodeStream(src, sink, n, window8k, threeTrees);
    if (sink.total > n || (st == qv::DecodeStatus::Ok && sink.total != n)) {
        std::abort();
    }
}

namespace {

struct FuzzItem
{
    virtual ~FuzzItem() = default;
    std::int32_t value = 0;
};
struct FuzzByte : FuzzItem
{
};
struct FuzzWord : FuzzItem
{
};

class FuzzSorted : public qv::TSortedObjectList<FuzzItem>
{
public:
    using qv::TSortedObjectList<FuzzItem>::TSortedObjectList;
    int Compare(const FuzzItem *a, const FuzzItem *b) const override
    {
        return a->value < b->value ? -1 : a->value > b->value ? 1 : 0;
    }
};

void registerFuzzItems()
{
    static const bool once = [] {
        auto &reg = qv::TClassRegistry<FuzzItem>::instance();
        reg.Register<FuzzByte>(
            "TFuzzByte", [](FuzzByte &b, qv::TStream &s) { b.value = qv::readListByte(s); },
            [](const FuzzByte &b, qv::TStream &s) { qv::writeListByte(s, static_cast<std::uint8_t>(b.value)); });
        reg.Register<FuzzWord>(
            "TFuzzWord", [](FuzzWord &w, qv::TStream &s) { w.value = qv::readListInt32(s); },
            [](const FuzzWord &w, qv::TStream &s) { qv::writeListInt32(s, w.value); });
        return true;
    }();
    (void)once;
}

} // namespace

void fuzzListStream(const std::uint8_t *data, std::size_t size)
{
    registerFuzzItems();
    const std::vector<std::uint8_t> input(data, data + size);
    {
        qv::TMemoryStream in(input);
        qv::TObjectList<FuzzItem> list;
        try {
            list.ReadData(in);
        } catch (const qv::EZipError &) {
            return;
        }
        // A list read in full writes back to exactly the bytes it took (the owns flag as 0 or 1).
        qv::TMemoryStream out;
        list.WriteData(out);
        std::vector<std::uint8_t> taken(input.begin(), input.begin() + in.Position());
        taken[0] = taken[0] != 0 ? 1 : 0;
        if (out.Data() != taken) {
            std::abort();
        }
    }
    qv::TMemoryStream in(input);
    FuzzSorted sorted(qv::dupIgnore);
    try {
        sorted.ReadData(in);
    } catch (const qv::EZipError &) {
        return;
    }
    for (int i = 1; i < sorted.Count(); ++i) {
        if (sorted.Compare(sorted.Get(i - 1), sorted.Get(i)) > 0) {
            std::abort();
        }
    }
}

namespace {

// A small set of volumes, written once per process into a private folder that goes at exit.
class VolumeSet
{
public:
    VolumeSet()
    {
        const char *tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/qv-zfc-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        m_dir = pattern;
        const std::string source = m_dir + "/data.bin";
        std::string bytes(150000, '\0');
        std::uint32_t x = 1;
        for (char &c : bytes) {
            x = x * 1103515245u + 12345u;
            c = static_cast<char>(x >> 24);
        }
        if (FILE *f = std::fopen(source.c_str(), "wb")) {
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
        qv::TZipWriter zip;
        zip.SetZipName(m_dir + "/set.zip");
        zip.SetMultiMode(qv::mmBlocks);
        zip.MultiZipInfo.BlockSize = zip.MultiZipInfo.FirstBlockSize = 65559;
        zip.PackLevel = 0;
        zip.AddFile(source, "data.bin");
        zip.AddFile(source, "copy/data.bin");
        zip.Zip();
    }
    ~VolumeSet() { std::filesystem::remove_all(m_dir); }
    std::string archive() const { return m_dir + "/set.zip"; }

private:
    std::string m_dir;
};

std::string volumeSet()
{
    static const VolumeSet set;
    return set.archive();
}

} // namespace

void fuzzVolumeConfig(const std::uint8_t *data, std::size_t size)
{
    const std::string archive = volumeSet();
    if (FILE *f = std::fopen(qv::zipConfigName(archive).c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    qv::TZipReader z;
    z.SetZipName(archive);
    try {
        const int n = z.Count();
        for (int i = 0; i < n; ++i) {
            (void)z.FullName(i);
        }
        (void)z.ZipComment();
        z.DoAll = true;
        z.TestZip();
    } catch (const qv::EZipError &) {
        // A configuration that does not fit its volumes is reported; that is the expected outcome.
    }
}

const FuzzTarget kFuzzTargets[7] = {
    {"directory", fuzzReadDirectory}, {"inflate", fuzzInflate},     {"unshrink", fuzzUnshrink},
    {"unreduce", fuzzUnreduce},       {"explode", fuzzExplode},     {"liststream", fuzzListStream},
    {"zfc", fuzzVolumeConfig},
};

} // namespace ziptest
