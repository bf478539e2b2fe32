// Leak checker: the report's texts from hand-made records, and a tracked program run as a child.
#include "diagnostics/LeakCheck.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

using namespace qv::leakcheck;

namespace {

CallStack stackOf(std::initializer_list<std::uintptr_t> addresses)
{
    CallStack s{};
    int i = 0;
    for (auto a : addresses) {
        s[i++] = a;
    }
    return s;
}

std::string fakeDescribe(std::uintptr_t a)
{
    return "Module m Routine r" + std::to_string(a) + " (no debug info) Find error: 0000000" + std::to_string(a);
}

LeakBlock block(std::size_t size, LeakKind kind, const std::string &cls, CallStack stack, const char *time)
{
    LeakBlock b;
    b.size = size;
    b.kind = kind;
    b.className = cls;
    b.stack = stack;
    b.timeText = time;
    return b;
}

} // namespace

TEST(LeakCheckFormat, AddressTexts)
{
    struct Row {
        AddressInfo info;
        const char *expected;
    };
    const Row rows[] = {
        {{"qv-run", "LocalBackup.cpp", "qv::TLocalBackup::Execute()", 120, 0x1a2b},
         "Module qv-run Unit LocalBackup.cpp Routine qv::TLocalBackup::Execute() Line 120 Find error: 00001A2B"},
        {{"libQt6Core.so.6", "", "QString::append(QChar)", 0, 0xABCDEF},
         "Module libQt6Core.so.6 Routine QString::append(QChar) (no debug info) Find error: 00ABCDEF"},
        {{"", "", "", 0, 0x7fff12345678}, "(no debug info) Find error: 7FFF12345678"},
    };
    for (const Row &r : rows) {
        EXPECT_EQ(formatAddressText(r.info), r.expected);
    }
}

TEST(LeakCheckFormat, CallStackStopsAtTheFirstEmptySlot)
{
    EXPECT_EQ(formatCallStack(stackOf({1, 2}), fakeDescribe),
              "call stack - 0 : " + fakeDescribe(1) + "\r\ncall stack - 1 : " + fakeDescribe(2) + "\r\n");
    EXPECT_EQ(formatCallStack(CallStack{}, fakeDescribe), "");
    CallStack full{};
    full.fill(5);
    std::string text = formatCallStack(full, fakeDescribe);
    EXPECT_NE(text.find("call stack - 26 : "), std::string::npos);
    EXPECT_EQ(text.find("call stack - 27"), std::string::npos);
}

TEST(LeakCheckFormat, ReportGroupsByKindSizeAndStack)
{
    LeakReportInput in;
    in.describe = fakeDescribe;
    in.blocks = {block(100, LeakKind::GetMem, "", stackOf({1}), "10:00:00.001"),
                 block(16, LeakKind::Instance, "Foo", stackOf({2}), "10:00:00.002"),
                 block(16, LeakKind::Instance, "Foo", stackOf({2}), "10:00:00.003"),
                 block(16, LeakKind::Instance, "Foo", stackOf({3}), "10:00:00.004"),
                 block(16, LeakKind::Instance, "Foo", stackOf({2}), "10:00:00.005")};
    const std::string expected =
        "Total leak: 164 bytes"
        "\r\n*** MEMCHK: Blocks STILL allocated ***\r\n"
        "Leak #1 User allocated memory (GetMem) Size: 100 1 Occurence\r\n"
        "call stack - 0 : " + fakeDescribe(1) + "\r\n"
        "Leak #2 Instance of Foo Size: 16 3 Occurences\r\n"
        "call stack - 0 : " + fakeDescribe(2) + "\r\n"
        "Leak #3 Instance of Foo Size: 16 1 Occurence\r\n"
        "call stack - 0 : " + fakeDescribe(3) + "\r\n"
        "*** MEMCHK: End of allocated blocks ***\r\n"
        "\r\n*** MEMCHK: Chronological leak information ***\r\n"
        "  Time stamp: \"10:00:00.001\" * User allocated memory (GetMem) (Leak #1) Size: 100\r\n"
        "  Time stamp: \"10:00:00.002\" * Instance of Foo (Leak #2) Size: 16\r\n"
        "  Time stamp: \"10:00:00.003\" * Instance of Foo (Leak #2) Size: 16\r\n"
        "  Time stamp: \"10:00:00.004\" * Instance of Foo (Leak #3) Size: 16\r\n"
        "  Time stamp: \"10:00:00.005\" * Instance of Foo (Leak #2) Size: 16\r\n"
        "\r\n*** MEMCHK: End of chronological leak information ***\r\n"
        "\r\n*** MEMCHK: Blocks written to after destruction ***\r\n"
        " Bad blocks count: 0\r\n"
        "\r\n*** MEMCHK: End of blocks written to after destruction ***\r\n";
    EXPECT_EQ(formatLeakReport(in), expected);
}

TEST(LeakCheckFormat, OverflowAndDamagedTexts)
{
    LeakReportInput in;
    in.describe = fakeDescribe;
    in.blocks = {block(10, LeakKind::GetMem, "", stackOf({1}), "t")};
    in.blocksOverflow = true;
    in.damaged = {DamagedBlock{stackOf({4}), stackOf({5, 6})}};
    in.damagedOverflow = true;
    std::string r = formatLeakReport(in);
    EXPECT_EQ(r.rfind("Total leak not accurate due to MaxLeak constant reached, but at least 10 bytes\r\n", 0), 0u);
    EXPECT_NE(r.find(" Number of bad blocks not accurate  due to MaxLeak constant reached, but at least 1\r\n"
                     " * Destroyed block damaged\r\n"
                     "  Call stack at allocation time:\r\n"
                     "call stack - 0 : " + fakeDescribe(4) + "\r\n"
                     "  Destroyed at:\r\n"
                     "call stack - 0 : " + fakeDescribe(5) + "\r\ncall stack - 1 : " + fakeDescribe(6) + "\r\n"),
              std::string::npos);
}

TEST(LeakCheckFormat, FreedInstanceAndSevereTexts)
{
    EXPECT_EQ(badInstanceMessage(3, "Foo", "A", "B"),
              "Call 3\u00b0 virtual method on a FREED instance of Foo (destroyed at A - had been created at B)");
    EXPECT_EQ(severeExceptionHeader("2026-12-06 10:00:00"),
              "********* Severe exception detected - 2026-12-06 10:00:00 *********");
    EXPECT_EQ(std::string(kSevereExceptionFooter), std::string(65, '*'));
}

TEST(LeakCheckFormat, InactiveInAnUntrackedProgram)
{
    // This test program does not link the tracking: nothing switches the checker on.
    EXPECT_FALSE(LeakCheck::isActive());
}
