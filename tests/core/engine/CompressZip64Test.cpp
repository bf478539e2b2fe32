// A 4.1 GiB sparse file through qv-run: stored with Zip64, accepted by Info-ZIP.
// qv-test-labels: slow interop hugefile
// qv-test-timeout: 1500
#include "CompressTestSupport.h"

namespace {

using namespace compresstest;

TEST(CompressQvRunZip64, SparseFileOverFourGiB)
{
    QV_REQUIRE_TOOL("unzip");
    QV_REQUIRE_TOOL("python3");
    const std::string base = qvtest::makeTempDir("compress-zip64");
    const std::string src = base + "/src";
    const std::string archive = base + "/out/big.zip";
    put(src + "/small.txt", "small file next to a big one", 1600000000);
    const long long size = 4400000000LL; // 4.1 GiB
    auto made = qvtest::runShell("truncate -s " + std::to_string(size) + " '" + src + "/big.bin' && printf tail >> '" +
                                 src + "/big.bin'");
    ASSERT_EQ(made.exitCode, 0) << made.output;
    auto r = qvtest::runCommand({qvtest::binPath("qv-run"), "--source", src, "--compress", archive, "--level", "1"},
                                1200);
    ASSERT_EQ(r.exitCode, 0) << r.output;
    auto test = qvtest::runCommand({"unzip", "-t", archive}, 1200);
    EXPECT_EQ(test.exitCode, 0) << test.output;
    // Python reads a size above 4 GiB only from the entry's Zip64 extra field.
    auto info = qvtest::runCommand(
        {"python3", "-c",
         "import sys,zipfile\n"
         "for i in zipfile.ZipFile(sys.argv[1]).infolist():\n"
         "    print(i.filename, i.file_size)\n",
         archive});
    EXPECT_NE(info.output.find("big.bin " + std::to_string(size + 4) + "\n"), std::string::npos) << info.output;
    EXPECT_NE(info.output.find("small.txt 28\n"), std::string::npos) << info.output;
}

} // namespace
