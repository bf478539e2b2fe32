// Zip writer with an entry past 4 GiB: the Zip64 fields in the local header, the central record
// and the end records, checked by Info-ZIP, Python and our own reader.
// qv-test-labels: interop slow hugefile
// qv-test-timeout: 900
#include "ZipWriterFixture.h"

#include <gtest/gtest.h>
#include <sys/statvfs.h>
#include <unistd.h>

using namespace zwtest;

namespace {

TEST(ZipWriterLargeFile, EntryPastFourGigabytesUsesZip64)
{
    QV_REQUIRE_TOOL("unzip");
    const std::string dir = qvtest::makeTempDir("large");
    struct statvfs vfs {};
    if (::statvfs(dir.c_str(), &vfs) != 0 || static_cast<double>(vfs.f_bavail) * vfs.f_frsize < 200e6) {
        GTEST_SKIP() << "not enough free space for the test archive";
    }
    // A sparse file of 4.5 GiB: zeros with a marker near the end, so the content is checked.
    const uint64_t size = 4500ull << 20;
    const std::string big = dir + "/big.bin";
    ASSERT_EQ(qvtest::runCommand({"truncate", "-s", std::to_string(size), big}).exitCode, 0);
    ASSERT_EQ(qvtest::runShell("printf 'the end' | dd of='" + big + "' bs=1 seek=" + std::to_string(size - 100) +
                               " conv=notrunc status=none")
                  .exitCode,
              0);
    qvtest::writeFile(dir + "/small.txt", "small");
    qv::TZipWriter zip;
    zip.SetZipName(dir + "/large.zip");
    zip.PackLevel = 1;
    zip.AddFile(dir + "/small.txt", "small.txt");
    zip.AddFile(big, "big.bin");
    zip.AddFile(dir + "/small.txt", "after.txt");
    ASSERT_EQ(zip.Zip(), 3);

    qv::TZipReader reader;
    reader.SetZipName(dir + "/large.zip");
    ASSERT_EQ(reader.Count(), 3);
    bool found = false;
    for (int i = 0; i < reader.Count(); ++i) {
        const qv::TZipHeaderInfo &e = reader.Entry(i);
        if (e.FullName() == "big.bin") {
            found = true;
            EXPECT_EQ(e.UncompressedSize, size);
            EXPECT_EQ(e.VersionNeeded, 45);
        }
    }
    EXPECT_TRUE(found);
    auto p = python(R"PY(
import sys, zipfile, zlib
z = zipfile.ZipFile(sys.argv[1])
i = z.getinfo('big.bin')
crc = 0
tail = b''
with z.open(i) as f:
    while True:
        b = f.read(1 << 22)
        if not b:
            break
        crc = zlib.crc32(b, crc)
        tail = (tail + b)[-200:]
print(i.file_size, crc == i.CRC, b'the end' in tail)
)PY",
                    {dir + "/large.zip"});
    EXPECT_EQ(p.output, std::to_string(size) + " True True\n") << p.output;
    auto t = qvtest::runCommand({"unzip", "-tq", dir + "/large.zip"}, 600);
    EXPECT_EQ(t.exitCode, 0) << t.output;
}

} // namespace
