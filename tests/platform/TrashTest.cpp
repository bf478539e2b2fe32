// The freedesktop.org Trash, checked against trash-cli's own listing.
// qv-test-labels: unit interop
#include "platform/Trash.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace qv;

namespace {

bool exists(const std::string &p)
{
    struct stat st;
    return ::lstat(p.c_str(), &st) == 0;
}

std::string infoPathLine(const std::string &infoFile)
{
    std::string text = qvtest::readFile(infoFile);
    auto at = text.find("\nPath=");
    if (at == std::string::npos) {
        return {};
    }
    auto end = text.find('\n', at + 1);
    return text.substr(at + 6, end - at - 6);
}

std::string percentDecode(const std::string &s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

} // namespace

TEST(TrashEncoding, PercentEncodesEveryByteOutsideTheSafeSet)
{
    const std::pair<std::string, std::string> cases[] = {
        {"/home/ann/a b.txt", "/home/ann/a%20b.txt"},
        {"/x/50%", "/x/50%25"},
        {"/x/\xC3\xA9t\xC3\xA9", "/x/%C3%A9t%C3%A9"},
        {"/x/\xFF\xFE", "/x/%FF%FE"},
        {"/x/new\nline", "/x/new%0Aline"},
        {"/A-Z_a.z~0", "/A-Z_a.z~0"},
    };
    for (const auto &[raw, encoded] : cases) {
        EXPECT_EQ(Trash::encodePath(raw), encoded);
        EXPECT_EQ(percentDecode(encoded), raw);
    }
}

TEST(TrashHome, FilesAndFoldersGoToTheHomeTrash)
{
    std::string dir = qvtest::makeTempDir("trash-home");
    std::string file = dir + "/report.txt";
    qvtest::writeFile(file, "keep me");
    std::string folder = dir + "/project";
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    qvtest::writeFile(folder + "/inner.dat", "inner");

    Trash::Outcome a = Trash::moveToTrash(file);
    ASSERT_TRUE(a.ok) << a.error;
    EXPECT_FALSE(exists(file));
    EXPECT_EQ(a.trashedPath, Trash::homeTrashDir() + "/files/report.txt");
    EXPECT_EQ(qvtest::readFile(a.trashedPath), "keep me");
    EXPECT_EQ(infoPathLine(a.infoPath), Trash::encodePath(file));
    std::string info = qvtest::readFile(a.infoPath);
    EXPECT_EQ(info.rfind("[Trash Info]\n", 0), 0u);
    EXPECT_NE(info.find("\nDeletionDate=20"), std::string::npos);

    Trash::Outcome b = Trash::moveToTrash(folder + "/");
    ASSERT_TRUE(b.ok) << b.error;
    EXPECT_FALSE(exists(folder));
    EXPECT_EQ(qvtest::readFile(b.trashedPath + "/inner.dat"), "inner");
}

TEST(TrashHome, SameNameTwiceKeepsBothRecords)
{
    std::string dir1 = qvtest::makeTempDir("dup1");
    std::string dir2 = qvtest::makeTempDir("dup2");
    qvtest::writeFile(dir1 + "/same.txt", "one");
    qvtest::writeFile(dir2 + "/same.txt", "two");
    Trash::Outcome a = Trash::moveToTrash(dir1 + "/same.txt");
    Trash::Outcome b = Trash::moveToTrash(dir2 + "/same.txt");
    ASSERT_TRUE(a.ok && b.ok) << a.error << b.error;
    EXPECT_NE(a.trashedPath, b.trashedPath);
    EXPECT_EQ(qvtest::readFile(a.trashedPath), "one");
    EXPECT_EQ(qvtest::readFile(b.trashedPath), "two");
    EXPECT_EQ(infoPathLine(b.infoPath), Trash::encodePath(dir2 + "/same.txt"));
}

TEST(TrashHome, RefusesWhatCannotBeTrashed)
{
    std::string dir = qvtest::makeTempDir("refuse");
    const std::string cases[] = {"", dir + "/missing", dir + "/.", dir + "/.."};
    for (const auto &p : cases) {
        Trash::Outcome r = Trash::moveToTrash(p);
        EXPECT_FALSE(r.ok) << p;
        EXPECT_FALSE(r.error.empty()) << p;
    }
    EXPECT_TRUE(exists(dir));
}

TEST(TrashHome, TrashListShowsTheOriginalPaths)
{
    QV_REQUIRE_TOOL("trash-list");
    std::string dir = qvtest::makeTempDir("listed");
    const std::string names[] = {"plain.txt", "with blank.txt", "caf\xC3\xA9.txt", "50% off"};
    for (const auto &n : names) {
        qvtest::writeFile(dir + "/" + n, n);
        Trash::Outcome r = Trash::moveToTrash(dir + "/" + n);
        ASSERT_TRUE(r.ok) << r.error;
    }
    qvtest::CommandResult listed = qvtest::runCommand({"trash-list"});
    ASSERT_EQ(listed.exitCode, 0) << listed.output;
    for (const auto &n : names) {
        EXPECT_NE(listed.output.find(" " + dir + "/" + n + "\n"), std::string::npos) << n << " not in:\n"
                                                                                     << listed.output;
    }
}

TEST(TrashHome, NamesThatAreNotUtf8RoundTrip)
{
    std::string dir = qvtest::makeTempDir("bytes");
    std::string name = "raw\xFF\xFE-name";
    qvtest::writeFile(dir + "/" + name, "bytes");
    Trash::Outcome r = Trash::moveToTrash(dir + "/" + name);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(percentDecode(infoPathLine(r.infoPath)), dir + "/" + name);
    EXPECT_EQ(qvtest::readFile(r.trashedPath), "bytes");
}
