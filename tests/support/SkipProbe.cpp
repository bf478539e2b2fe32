// A test program with one passing, one skipped and one failing test, run by the tests of the
// skip report (tests/harness/SkipReportTest.cpp) to see the exit codes CTest gets.
#include <gtest/gtest.h>

TEST(SkipProbe, Passes)
{
    EXPECT_EQ(1 + 1, 2);
}

TEST(SkipProbe, Skips)
{
    GTEST_SKIP() << "probe skip reason";
}

TEST(SkipProbe, Fails)
{
    ADD_FAILURE() << "probe failure";
}
