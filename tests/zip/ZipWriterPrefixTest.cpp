// A self-extracting archive updated by the writer: with KeepPrefix the extractor program in front
// stays and both the program and Info-ZIP's unzip still read the archive; without it the prefix
// is dropped and a plain, valid archive remains.
// qv-test-labels: interop
#include "ZipWriterFixture.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace zwtest;

namespace {

TEST(ZipWriterPrefix, SelfExtractorKeptOrDropped)
{
    QV_REQUIRE_TOOL("unzipsfx");
    QV_REQUIRE_TOOL("zip");
    QV_REQUIRE_TOOL("unzip");
    const std::string dir = qvtest::makeTempDir("sfx");
    writeTree(dir + "/src", {{"one.txt", textBytes(20000)}, {"two.bin", randomBytes(30000, 5)}});
    // The Info-ZIP way to make a self-extractor: the program, then the archive, offsets adjusted.
    auto made = qvtest::runShell("cd '" + dir + "/src' && zip -q ../a.zip one.txt && cd .. && "
                                 "cat \"$(command -v unzipsfx)\" a.zip > s.exe && chmod +x s.exe && "
                                 "zip -qA s.exe && cp s.exe t.exe && wc -c < \"$(command -v unzipsfx)\"");
    ASSERT_EQ(made.exitCode, 0) << made.output;
    const std::size_t prefixSize = std::stoul(made.output);
    const std::string program = qvtest::readFile(dir + "/s.exe").substr(0, prefixSize);

    struct Case
    {
        const char *archive;
        bool keep;
    };
    for (const Case &c : {Case{"s.exe", true}, Case{"t.exe", false}}) {
        SCOPED_TRACE(c.archive);
        const std::string archive = dir + "/" + c.archive;
        qv::TZipWriter zip;
        zip.SetZipName(archive);
        zip.KeepPrefix = c.keep;
        zip.AddFile(dir + "/src/two.bin", "two.bin");
        ASSERT_EQ(zip.Zip(), 1);
        const std::string data = qvtest::readFile(archive);
        auto test = qvtest::runCommand({"unzip", "-tq", archive});
        EXPECT_EQ(test.exitCode, 0) << test.output;
        qv::TZipReader reader;
        reader.SetZipName(archive);
        EXPECT_EQ(reader.Count(), 2);
        if (!c.keep) {
            EXPECT_EQ(data.substr(0, 4), std::string("PK\x03\x04", 4));
            continue;
        }
        EXPECT_EQ(data.substr(0, prefixSize), program);
        struct stat st {};
        ASSERT_EQ(::stat(archive.c_str(), &st), 0);
        EXPECT_NE(st.st_mode & S_IXUSR, 0u) << "the update keeps the program executable";
        // The program extracts what the writer added.
        const std::string out = qvtest::makeTempDir("sfx-out");
        auto run = qvtest::runCommand({archive}, 60, out);
        EXPECT_EQ(run.exitCode, 0) << run.output;
        EXPECT_EQ(qvtest::readFile(out + "/one.txt"), qvtest::readFile(dir + "/src/one.txt"));
        EXPECT_EQ(qvtest::readFile(out + "/two.bin"), qvtest::readFile(dir + "/src/two.bin"));
    }
}

} // namespace
