// File CRC-32 against zlib, and the after-copy comparison built on it.
#include "core/util/FileUtils.h"
#include "core/util/Utils.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <zlib.h>

using namespace qv;

namespace {

std::string bytes(std::size_t n, unsigned seed)
{
    std::string s(n, '\0');
    unsigned x = seed * 747796405u + 2891336453u;
    for (auto &c : s) {
        x = x * 1664525u + 1013904223u;
        c = static_cast<char>(x >> 24);
    }
    return s;
}

std::uint32_t zlibCrc(const std::string &s)
{
    uLong c = crc32(0L, Z_NULL, 0);
    return static_cast<std::uint32_t>(crc32(c, reinterpret_cast<const Bytef *>(s.data()), static_cast<uInt>(s.size())));
}

} // namespace

TEST(FileCrc, MatchesZlibAcrossReadSizes)
{
    std::string dir = qvtest::makeTempDir("crc");
    const std::size_t sizes[] = {0, 1, 65520, 65521, 65522, 262143, 262144, 262145, 10 * 1024 * 1024};
    for (std::size_t n : sizes) {
        SCOPED_TRACE(n);
        std::string data = bytes(n, static_cast<unsigned>(n));
        std::string f = dir + "/f" + std::to_string(n);
        qvtest::writeFile(f, data);
        std::uint32_t crc = 1;
        EXPECT_TRUE(GetFileCRC32(f, crc));
        EXPECT_EQ(crc, zlibCrc(data));
    }
    std::uint32_t crc = 0;
    qvtest::writeFile(dir + "/check", "123456789");
    EXPECT_TRUE(GetFileCRC32(dir + "/check", crc));
    EXPECT_EQ(crc, 0xCBF43926u);
}

TEST(FileCrc, UnreadableFilesGiveZeroAndFalse)
{
    std::string dir = qvtest::makeTempDir("crc-bad");
    std::uint32_t crc = 7;
    EXPECT_FALSE(GetFileCRC32(dir + "/missing", crc));
    EXPECT_EQ(crc, 0u);
    crc = 7;
    EXPECT_FALSE(GetFileCRC32(dir, crc)); // a folder cannot be read
    EXPECT_EQ(crc, 0u);
}

TEST(FileCrc, SameCrcComparison)
{
    std::string dir = qvtest::makeTempDir("same-crc");
    std::string data = bytes(300000, 5);
    qvtest::writeFile(dir + "/a", data);
    qvtest::writeFile(dir + "/b", data);
    data[150000] ^= 1;
    qvtest::writeFile(dir + "/c", data);
    qvtest::writeFile(dir + "/empty1", "");
    qvtest::writeFile(dir + "/empty2", "");
    EXPECT_TRUE(FilesHaveSameCrc(dir + "/a", dir + "/b"));
    EXPECT_FALSE(FilesHaveSameCrc(dir + "/a", dir + "/c"));
    EXPECT_TRUE(FilesHaveSameCrc(dir + "/empty1", dir + "/empty2"));
    // A file that cannot be read never "matches", not even an empty one (both CRCs would be 0).
    EXPECT_FALSE(FilesHaveSameCrc(dir + "/empty1", dir + "/missing"));
    EXPECT_FALSE(FilesHaveSameCrc(dir + "/missing", dir + "/missing"));
}
