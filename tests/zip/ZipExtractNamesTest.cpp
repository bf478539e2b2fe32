// What qv-zip shows and writes for names that are not plain: control characters in names, one
// name given twice, a folder and a file of one name, an entry without a name; and the exact
// modification time of what it extracts. unzip is the oracle throughout.
// qv-test-labels: interop
// qv-test-timeout: 300
#include "ZipTestUtil.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

// names.zip: names holding a line feed with a forged listing line, an escape sequence, a carriage
// return, a C1 control and DEL. twice.zip: "dup.txt" first and again after a dozen other entries,
// a folder "d/" and then a file "d", and an entry without a name (python refuses to write one).
const char *kCraft = R"PY(
import warnings
warnings.simplefilter('ignore')
class Unnamed(zipfile.ZipInfo):
    def is_dir(self):
        return False
z = zipfile.ZipFile('names.zip', 'w')
for n in ['a\nOK    forged.txt', 'b\x1b[2Jc.txt', 'c\rd.txt', 'e\x9bf\x7f.txt']:
    z.writestr(n, b'x')
z.close()
z = zipfile.ZipFile('twice.zip', 'w', zipfile.ZIP_DEFLATED)
z.writestr('dup.txt', b'first\n')
for i in range(12):
    z.writestr('f%02d.txt' % i, b'x' * (i * 1000 + 1))
z.writestr('dup.txt', b'second\n')
z.writestr('d/', b'')
z.writestr('d', b'file after folder\n')
u = Unnamed('')
u.external_attr = 0o644 << 16
with z.open(u, 'w') as f:
    f.write(b'no name\n')
z.writestr('last.txt', b'last\n')
z.close()
)PY";

class ZipExtractNames : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char *tool : {"zip", "unzip", "python3"}) {
            if (!qvtest::haveTool(tool)) {
                GTEST_SKIP() << "needs " << tool;
            }
        }
        dir = qvtest::makeTempDir("names");
        ziptest::python(dir, kCraft);
    }
    qvtest::CommandResult qvZip(std::vector<std::string> args, const std::string &tz = {})
    {
        args.insert(args.begin(), qvtest::binPath("qv-zip"));
        if (!tz.empty()) {
            args.insert(args.begin(), {"env", "TZ=" + tz});
        }
        return qvtest::runCommand(args, 120, dir);
    }
    std::string dir;
};

std::int64_t mtimeOf(const std::string &path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 ? static_cast<std::int64_t>(st.st_mtime) : -1;
}

// Each command's output holds every name on one line, escaped the one way, and no byte a terminal
// acts on: a listing shows four entries, never the forged fifth.
TEST_F(ZipExtractNames, ControlCharactersInNamesAreShownEscaped)
{
    const std::vector<std::string> shown = {"a\\nOK    forged.txt", "b\\x1b[2Jc.txt", "c\\rd.txt",
                                            "e\\xc2\\x9bf\\x7f.txt"};
    for (const char *command : {"l", "t", "x"}) {
        SCOPED_TRACE(command);
        std::vector<std::string> args = {command, dir + "/names.zip"};
        if (std::string(command) == "x") {
            args.push_back(dir + "/out");
        }
        const auto r = qvZip(args);
        EXPECT_EQ(r.exitCode, 0) << r.output;
        for (const std::string &name : shown) {
            EXPECT_NE(r.output.find(name), std::string::npos) << name << " in\n" << r.output;
        }
        for (const unsigned char c : r.output) {
            EXPECT_TRUE((c >= 0x20 && c != 0x7f && c != 0xc2) || c == '\n') << "byte " << int(c) << " in\n"
                                                                            << r.output;
        }
        EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), std::string(command) == "l" ? 6 : 4)
            << r.output;
    }
}

// Without overwrite, an entry never replaces a file the same extraction wrote, as with unzip -n;
// with it the later entry wins, as with unzip -o. Each entry left out says why.
TEST_F(ZipExtractNames, AnArchiveNamingOneFileTwice)
{
    struct Case
    {
        const char *qvOption;
        const char *unzipOption;
        const char *dup;
    };
    for (const Case &k : {Case{nullptr, "-n", "first\n"}, Case{"-o", "-o", "second\n"}}) {
        SCOPED_TRACE(k.unzipOption);
        for (int round = 0; round < 4; ++round) {
            const std::string ours = dir + "/ours" + k.unzipOption + std::to_string(round);
            std::vector<std::string> args = {"x", dir + "/twice.zip", ours};
            if (k.qvOption != nullptr) {
                args.insert(args.begin() + 1, k.qvOption);
            }
            const auto r = qvZip(args);
            EXPECT_EQ(qvtest::readFile(ours + "/dup.txt"), k.dup) << r.output;
            EXPECT_EQ(qvtest::readFile(ours + "/last.txt"), "last\n");
            EXPECT_EQ(r.output.find("unsafe name"), std::string::npos) << r.output;
            EXPECT_NE(r.output.find("BAD   d: a folder of this name is there"), std::string::npos)
                << r.output;
            EXPECT_NE(r.output.find("BAD   : the entry has no name"), std::string::npos) << r.output;
            EXPECT_EQ(r.output.find("exists, not replaced") != std::string::npos, k.qvOption == nullptr)
                << r.output;
            EXPECT_EQ(r.exitCode, 1) << r.output;
        }
        const std::string theirs = dir + "/theirs" + k.unzipOption;
        qvtest::runCommand({"unzip", "-q", k.unzipOption, dir + "/twice.zip", "-d", theirs}, 120);
        EXPECT_EQ(qvtest::readFile(theirs + "/dup.txt"), k.dup);
        const auto d = qvtest::runShell("diff -r '" + dir + "/ours" + k.unzipOption + "0' '" + theirs + "'");
        EXPECT_EQ(d.exitCode, 0) << d.output;
    }
}

// The exact second the writer stores (and Info-ZIP's zip) comes back on extraction, odd seconds
// and another time zone included, as unzip restores it.
TEST_F(ZipExtractNames, ModificationTimesComeBackExactly)
{
    qvtest::runShell("mkdir -p '" + dir + "/src'");
    const std::vector<std::int64_t> times = {1700000001, 1700000002, 1700003599, 946684799, 2000000001};
    for (std::size_t i = 0; i < times.size(); ++i) {
        const std::string file = dir + "/src/t" + std::to_string(i) + ".txt";
        qvtest::writeFile(file, "time " + std::to_string(times[i]));
        const struct timespec ts[2] = {{times[i], 0}, {times[i], 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), ts, 0), 0);
    }
    ASSERT_EQ(qvZip({"a", dir + "/ours.zip", dir, "src"}, "UTC").exitCode, 0);
    ASSERT_EQ(qvtest::runCommand({"env", "TZ=UTC", "zip", "-q", "-r", dir + "/infozip.zip", "src"}, 120, dir)
                  .exitCode,
              0);
    for (const char *zip : {"ours.zip", "infozip.zip"}) {
        SCOPED_TRACE(zip);
        const std::string ours = dir + "/x-" + zip;
        const std::string theirs = dir + "/u-" + zip;
        // Extracted nine hours east of where the archive was made.
        const auto r = qvZip({"x", dir + "/" + zip, ours}, "JST-9");
        ASSERT_EQ(r.exitCode, 0) << r.output;
        ASSERT_EQ(qvtest::runCommand({"env", "TZ=JST-9", "unzip", "-q", dir + "/" + zip, "-d", theirs}, 120)
                      .exitCode,
                  0);
        for (std::size_t i = 0; i < times.size(); ++i) {
            const std::string name = "/src/t" + std::to_string(i) + ".txt";
            EXPECT_EQ(mtimeOf(theirs + name), times[i]) << name;
            EXPECT_EQ(mtimeOf(ours + name), times[i]) << name;
        }
    }
}

// A file that appears while its entry is decoded is kept without overwrite (the entry goes in only
// where no file is) and replaced with it.
TEST_F(ZipExtractNames, AFileThatAppearsMeanwhile)
{
    for (const bool overwrite : {false, true}) {
        SCOPED_TRACE(overwrite ? "overwrite" : "no overwrite");
        const std::string out = dir + (overwrite ? "/meanwhile-o" : "/meanwhile");
        qv::TZipReader z;
        z.SetZipName(dir + "/twice.zip");
        z.SetDestDir(out);
        z.FilesList = {"last.txt"};
        z.OverwriteMode = overwrite ? qv::TUZOverwriteMode::Always : qv::TUZOverwriteMode::Never;
        z.Threads = 1;
        ziptest::EventLog log;
        log.attach(z);
        z.OnFilePercentDone = [&](int) { qvtest::writeFile(out + "/last.txt", "theirs"); };
        EXPECT_EQ(z.UnZip(), overwrite ? 1 : 0);
        EXPECT_EQ(qvtest::readFile(out + "/last.txt"), overwrite ? "last\n" : "theirs");
        EXPECT_EQ(log.skipped.size(), overwrite ? 0u : 1u);
        EXPECT_TRUE(ziptest::leftovers(out).empty());
    }
}

// "Only if newer" compares with the entry's exact second, wherever the archive was made: a file a
// second older, or an hour older when the archive came from nine hours west, is replaced; a file
// as old or newer is not.
TEST_F(ZipExtractNames, OnlyIfNewerComparesTheExactSecond)
{
    const std::int64_t t = 1700000001;
    qvtest::runShell("mkdir -p '" + dir + "/src'");
    qvtest::writeFile(dir + "/src/f.txt", "new");
    const struct timespec ts[2] = {{t, 0}, {t, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (dir + "/src/f.txt").c_str(), ts, 0), 0);
    ASSERT_EQ(qvZip({"a", dir + "/f.zip", dir, "src"}, "UTC").exitCode, 0);
    const char *oldTz = std::getenv("TZ");
    const std::string savedTz = oldTz != nullptr ? oldTz : "";
    ::setenv("TZ", "JST-9", 1);
    ::tzset();
    struct Case
    {
        std::int64_t fileTime;
        bool replaced;
    };
    for (const Case &k : {Case{t - 1, true}, Case{t - 3600, true}, Case{t, false}, Case{t + 1, false}}) {
        SCOPED_TRACE(k.fileTime - t);
        const std::string out = dir + "/n" + std::to_string(k.fileTime);
        qvtest::runShell("mkdir -p '" + out + "/src'");
        qvtest::writeFile(out + "/src/f.txt", "old");
        const struct timespec old[2] = {{k.fileTime, 0}, {k.fileTime, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, (out + "/src/f.txt").c_str(), old, 0), 0);
        qv::TZipReader z;
        z.SetZipName(dir + "/f.zip");
        z.SetDestDir(out);
        z.DoAll = true;
        z.RecreateDirs = true;
        z.OverwriteMode = qv::TUZOverwriteMode::ifNewer;
        z.UnZip();
        EXPECT_EQ(qvtest::readFile(out + "/src/f.txt"), k.replaced ? "new" : "old");
    }
    if (oldTz != nullptr) {
        ::setenv("TZ", savedTz.c_str(), 1);
    } else {
        ::unsetenv("TZ");
    }
    ::tzset();
}

} // namespace
