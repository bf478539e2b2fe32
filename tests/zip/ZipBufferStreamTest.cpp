// Buffered streams: random mixes of reads, writes and seeks against a plain-file model.
#include "zip/ZipBufferStream.h"
#include "support/TestEnv.h"
#include "zip/ZipErrors.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

TEST(ZipBufferedStream, RandomOperationsMatchModel)
{
    std::mt19937 rng(42);
    for (int round = 0; round < 40; ++round) {
        const int bufSize = 16 + static_cast<int>(rng() % 300);
        qv::TMemoryStream under;
        std::vector<std::uint8_t> model;
        std::int64_t pos = 0;
        {
            qv::TS_BufferStream bs(&under, bufSize);
            for (int op = 0; op < 400; ++op) {
                const int kind = static_cast<int>(rng() % 5);
                if (kind == 0) {
                    const std::int64_t n = rng() % 700;
                    std::vector<std::uint8_t> got(static_cast<std::size_t>(n));
                    const std::int64_t r = bs.Read(got.data(), n);
                    const std::int64_t want = std::max<std::int64_t>(
                        0, std::min<std::int64_t>(n, static_cast<std::int64_t>(model.size()) - pos));
                    ASSERT_EQ(r, want) << "round " << round << " op " << op;
                    ASSERT_TRUE(std::equal(got.begin(), got.begin() + r, model.begin() + pos));
                    pos += r;
                } else if (kind == 1) {
                    const std::size_t n = rng() % 500;
                    std::vector<std::uint8_t> data(n);
                    for (auto &b : data) {
                        b = static_cast<std::uint8_t>(rng());
                    }
                    ASSERT_EQ(bs.Write(data.data(), static_cast<std::int64_t>(n)),
                              static_cast<std::int64_t>(n));
                    if (static_cast<std::size_t>(pos) + n > model.size()) {
                        model.resize(static_cast<std::size_t>(pos) + n);
                    }
                    std::copy(data.begin(), data.end(), model.begin() + pos);
                    pos += static_cast<std::int64_t>(n);
                } else if (kind == 2) {
                    const std::int64_t target = rng() % (model.size() + 1);
                    ASSERT_EQ(bs.Seek(target, qv::soBeginning), target);
                    pos = target;
                } else if (kind == 3) {
                    const std::int64_t back = rng() % (model.size() + 1);
                    ASSERT_EQ(bs.Seek(back, qv::soEnd), static_cast<std::int64_t>(model.size()) - back);
                    pos = static_cast<std::int64_t>(model.size()) - back;
                } else {
                    const std::int64_t delta = static_cast<std::int64_t>(rng() % 200) - 100;
                    if (pos + delta >= 0) {
                        ASSERT_EQ(bs.Seek(delta, qv::soCurrent), pos + delta);
                        pos += delta;
                    }
                }
                ASSERT_EQ(bs.Position(), pos);
                ASSERT_EQ(bs.Size(), static_cast<std::int64_t>(model.size()));
            }
        }
        EXPECT_EQ(under.Data(), model) << "after the destructor flushed";
    }
}

TEST(ZipBufferedStream, EdgeCases)
{
    qv::TMemoryStream under(std::vector<std::uint8_t>(100, 'a'));
    qv::TS_BufferStream bs(&under, 32);
    EXPECT_EQ(bs.Seek(10, qv::soEnd), 90);
    EXPECT_EQ(bs.Seek(-10, qv::soEnd), 90);
    EXPECT_THROW(bs.Seek(0, 7), qv::EStreamError);
    std::uint8_t b[4];
    bs.Seek(0, qv::soBeginning);
    EXPECT_THROW(bs.PutBackChar('x'), qv::EStreamError);
    ASSERT_EQ(bs.Read(b, 4), 4);
    bs.PutBackChar('z');
    ASSERT_EQ(bs.Read(b, 1), 1);
    EXPECT_EQ(b[0], 'z');
    // A write after a read lands at the logical position and leaves what was read intact.
    bs.Write("XY", 2);
    bs.Seek(0, qv::soBeginning);
    std::uint8_t all[8];
    ASSERT_EQ(bs.Read(all, 8), 8);
    EXPECT_EQ(std::string(all, all + 8), "aaaaXYaa");
}

TEST(ZipBufferedStream, FileStreamErrorsAndFlush)
{
    EXPECT_THROW(qv::TLFNFileStream("/nonexistent-dir/x", qv::fmOpenRead, false, 64), qv::EFOpenError);
    const std::string dir = qvtest::makeTempDir("bstream");
    {
        qv::TLFNFileStream f(dir + "/f.bin", qv::fmCreate, true, 64);
        for (int i = 0; i < 1000; ++i) {
            f.Write("0123456789", 10);
        }
        f.Close();
    }
    EXPECT_EQ(qvtest::readFile(dir + "/f.bin").size(), 10000u);
}

} // namespace
