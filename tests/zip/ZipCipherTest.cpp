// The traditional cipher: key schedule, round trips, the check byte, and Info-ZIP as the peer.
#include "zip/ZipCipher.h"
#include "support/TestEnv.h"
#include "zip/ZipRecords.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

TEST(ZipTraditionalCipher, KeysAndRoundTrip)
{
    qv::TZipCipher c;
    c.InitKeys("");
    EXPECT_EQ(c.Key0(), 0x12345678u);
    EXPECT_EQ(c.Key1(), 0x23456789u);
    EXPECT_EQ(c.Key2(), 0x34567890u);
    std::mt19937 rng(3);
    for (const char *pw : {"", "a", "secret", "p\xC3\xA4sswort with spaces"}) {
        std::vector<std::uint8_t> plain(1000);
        for (auto &b : plain) {
            b = static_cast<std::uint8_t>(rng());
        }
        qv::TZipCipher enc;
        const auto header = enc.MakeHeader(pw, 0xA1B2C3D4);
        std::vector<std::uint8_t> data = plain;
        enc.EncryptBuffer(data.data(), data.size());
        EXPECT_NE(data, plain);
        qv::TZipCipher dec;
        auto h = header;
        EXPECT_EQ(dec.DecryptHeader(pw, h.data()), 0xA1);
        EXPECT_EQ(h[10], 0xB2);
        dec.DecryptBuffer(data.data(), data.size());
        EXPECT_EQ(data, plain);
        // A different password almost never yields the check byte; when it does, the data is wrong.
        qv::TZipCipher wrong;
        auto h2 = header;
        if (wrong.DecryptHeader(std::string(pw) + "x", h2.data()) == 0xA1) {
            std::vector<std::uint8_t> d2 = data;
            wrong.DecryptBuffer(d2.data(), d2.size());
            EXPECT_NE(d2, plain);
        }
    }
}

TEST(ZipTraditionalCipher, CheckByteSource)
{
    EXPECT_EQ(qv::expectedCheckByte(0, 0x1234ABCD, 0x99887766), 0x99);
    EXPECT_EQ(qv::expectedCheckByte(qv::kFlagDescriptor, 0x1234ABCD, 0x99887766), 0xAB);
}

TEST(ZipTraditionalCipher, DecryptsInfoZipHeader)
{
    QV_REQUIRE_TOOL("zip");
    const std::string dir = qvtest::makeTempDir("cipher");
    qvtest::writeFile(dir + "/plain.txt", std::string(500, 'q'));
    const auto r =
        qvtest::runCommand({"zip", "-q", "-0", "-P", "pw123", dir + "/a.zip", "plain.txt"}, 60, dir);
    ASSERT_EQ(r.exitCode, 0) << r.output;
    const std::string zip = qvtest::readFile(dir + "/a.zip");
    const auto *p = reinterpret_cast<const std::uint8_t *>(zip.data());
    const std::uint16_t flags = qv::getLE16(p + 6);
    ASSERT_TRUE(flags & 1);
    const std::size_t start = 30 + qv::getLE16(p + 26) + qv::getLE16(p + 28);
    std::vector<std::uint8_t> data(p + start, p + start + qv::getLE32(p + 18));
    qv::TZipCipher dec;
    EXPECT_EQ(dec.DecryptHeader("pw123", data.data()),
              qv::expectedCheckByte(flags, qv::getLE32(p + 10), qv::getLE32(p + 14)));
    dec.DecryptBuffer(data.data() + 12, data.size() - 12);
    EXPECT_EQ(std::string(data.begin() + 12, data.end()), std::string(500, 'q'));
}

} // namespace
