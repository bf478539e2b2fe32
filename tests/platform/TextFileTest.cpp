// System text files cut as the C++ streams cut them: words as `stream >> word` reads them, pieces as
// std::getline does, on the same texts; the mount table read through them.
#include "platform/MountTable.h"
#include "platform/TextFile.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string kTexts[] = {
    "", " ", "a", "a b", "  a\tb\n", "a\r\nb\r\n", "\v\fa\v\fb\f", "one\n\ntwo\n", "\n", "\n\n", "x\n ",
    std::string("nul\0inside word", 15), "tail without line end", "caf\xc3\xa9 \xff\xfe", ",a,,b,", ",", "a,",
};

TEST(TextFile, WordsAndPiecesAsTheStreamsCutThem)
{
    for (const std::string &text : kTexts) {
        SCOPED_TRACE("[" + text + "]");
        std::vector<std::string> words;
        std::istringstream in(text);
        for (std::string w; in >> w;) {
            words.push_back(w);
        }
        EXPECT_EQ(qv::wordsOf(text), words);
        for (const char delimiter : {'\n', ','}) {
            std::vector<std::string> pieces;
            std::istringstream lines(text);
            for (std::string piece; std::getline(lines, piece, delimiter);) {
                pieces.push_back(piece);
            }
            EXPECT_EQ(qv::piecesOf(text, delimiter), pieces) << "delimiter " << static_cast<int>(delimiter);
        }
    }
}

TEST(TextFile, ReadsWholeFilesAndTellsAMissingOne)
{
    const std::string dir = qvtest::makeTempDir("textfile");
    std::string big(100000, 'x');
    big[4095] = '\n';
    big[99999] = '\0';
    qvtest::writeFile(dir + "/big", big);
    std::string text = "left over";
    EXPECT_TRUE(qv::readTextFile(dir + "/big", text));
    EXPECT_EQ(text, big);
    EXPECT_FALSE(qv::readTextFile(dir + "/missing", text));
    EXPECT_EQ(text, "");
    EXPECT_TRUE(qv::readTextFile(dir, text)); // a folder opens and reads nothing, as with a stream
    EXPECT_EQ(text, "");
    EXPECT_TRUE(qv::readTextFile("/proc/self/status", text)); // size 0 in its stat, text when read
    EXPECT_NE(text.find("Umask:"), std::string::npos);
}

TEST(TextFile, MountTableFromOddLines)
{
    const qv::MountTable t = qv::MountTable::fromText(
        "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
        "23 22 8:17 /\t/mnt/with\\040blank\trw - ext4\t/dev/sdb1 rw\r\n"
        "24 22 0:50 / /no/dash rw shared:2\n"
        "25 22 0:51 / /dash/last rw -\n"
        "short line\n"
        "\n"
        "26 22 0:52 / /no/line/end rw - tmpfs tmpfs rw",
        "# comment /mnt/x ext4\n"
        "  /dev/sdc1   /mnt/listed  ext4  defaults 0 2\n"
        "/dev/sdd1 /mnt/two-fields\n"
        "swapdev none swap sw\n"
        "/dev/sde1 /mnt/not\\040mounted ext4\n"
        "/dev/sdf1 relative ext4\n");
    struct Row {
        const char *point;
        const char *device;
        const char *source;
    };
    const Row rows[] = {{"/", "8:1", "/dev/sda1"},         {"/mnt/with blank", "8:17", "/dev/sdb1"},
                        {"/no/dash", "0:50", ""},           {"/dash/last", "0:51", ""},
                        {"/no/line/end", "0:52", "tmpfs"}};
    ASSERT_EQ(t.mounts().size(), std::size(rows));
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        EXPECT_EQ(t.mounts()[i].mountPoint, rows[i].point);
        EXPECT_EQ(t.mounts()[i].device, rows[i].device);
        EXPECT_EQ(t.mounts()[i].source, rows[i].source);
    }
    EXPECT_EQ(t.missingMountFor("/mnt/listed/a"), "/mnt/listed");
    EXPECT_EQ(t.missingMountFor("/mnt/not mounted/b"), "/mnt/not mounted");
    EXPECT_EQ(t.missingMountFor("/mnt/two-fields/c"), "");
    EXPECT_EQ(t.missingMountFor("/mnt/with blank/d"), "");
}

} // namespace
