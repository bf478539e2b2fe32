// The program's version numbers and the system-error exception.
#include "components/FileVersion.h"
#include "platform/LastOSError.h"

#include "QvVersion.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

TEST(FileVersion, OwnProgramGivesTheBuildVersion)
{
    qv::TFileVersion v;
    EXPECT_EQ(v.toString(), "0.0.0.0");
    v.LoadFromModule();
    EXPECT_EQ(v.Major, QV_VERSION_MAJOR);
    EXPECT_EQ(v.Minor, QV_VERSION_MINOR);
    EXPECT_EQ(v.Release, QV_VERSION_PATCH);
    EXPECT_FALSE(qv::GetModuleName().empty());
}

TEST(FileVersion, OtherFilesHaveNoVersion)
{
    std::string other = qvtest::makeTempDir("fv") + "/plain.txt";
    qvtest::writeFile(other, "x");
    const struct {
        std::string path;
        int code;
    } cases[] = {{other, ENODATA}, {other + ".missing", ENOENT}};
    for (const auto &c : cases) {
        qv::TFileVersion v;
        try {
            v.LoadFromFile(c.path);
            FAIL() << "no exception for " << c.path;
        } catch (const qv::ELastOSError &e) {
            EXPECT_EQ(e.ErrorCode(), c.code);
            std::string msg = e.what();
            EXPECT_EQ(msg.rfind("TFileVersion.LoadFromFile: Could not read version info for file: " + c.path, 0), 0u)
                << msg;
        }
        EXPECT_EQ(v.Major, 0);
    }
}

TEST(LastOSError, MessageLayout)
{
    qv::ELastOSError both(ENOENT, "Opening", "Check the path.");
    EXPECT_EQ(std::string(both.what()), "Opening\n\n" + qv::systemErrorText(ENOENT) + "\n\nCheck the path.");
    qv::ELastOSError bare(EACCES, "", "");
    EXPECT_EQ(std::string(bare.what()), qv::systemErrorText(EACCES));
    errno = EEXIST;
    qv::ELastOSError fromErrno;
    EXPECT_EQ(fromErrno.ErrorCode(), EEXIST);
}

} // namespace
