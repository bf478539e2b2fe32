// REGEDIT4 export and import: the golden text, round trips, what regedit writes, bad files.
#include "platform/RegistryFile.h"
#include "platform/Registry.h"

#include "support/TestEnv.h"

#include <QString>

#include <gtest/gtest.h>

using namespace qv;

namespace {

const std::string kProgramKey = "\\Software\\Tavimundrelo\\Quorvellant";

// A key below the program key (built out of line: GCC 12 misjudges the inlined concatenation).
[[gnu::noinline]] std::string programKey(const char *sub)
{
    std::string key = kProgramKey;
    key.append(sub);
    return key;
}

class RegistryFileFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_dir = qvtest::makeTempDir("regfile");
        RegistryStore::setStorePath(m_dir + "/registry.db");
        m_opt.allowedKey = kProgramKey;
    }
    void TearDown() override { RegistryStore::setStorePath({}); }
    RegistryStore &store() { return RegistryStore::forThisThread(); }
    std::string exportProgram() { return exportRegistryText(store(), RegRoot::CurrentUser, kProgramKey); }

    std::string m_dir;
    RegistryImportOptions m_opt;
};

std::string sixtyBytes()
{
    std::string s;
    for (int i = 0; i < 60; ++i) {
        s += static_cast<char>(i * 4);
    }
    return s;
}

} // namespace

class RegistryExportFormat : public RegistryFileFixture
{
};

TEST_F(RegistryExportFormat, GoldenText)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(programKey("\\Main"), true));
    reg.WriteString("Back\\slash \"quoted\"", "C:\\dir\\\"x\"");
    reg.WriteInteger("Thirty", 30);
    reg.WriteInteger("Minus", -2);
    reg.WriteString("", "default value");
    ASSERT_TRUE(reg.OpenKey(programKey("\\Main\\bin"), true));
    std::string b = sixtyBytes();
    reg.WriteBinaryData("Sixty", b.data(), 60);
    reg.WriteBinaryData("Empty", nullptr, 0);
    const unsigned char one[26] = {0xAB};
    reg.WriteBinaryData("TwentySix", one, 26);
    ASSERT_TRUE(reg.OpenKey(programKey("\\Groups"), true));
    const std::string want =
        "REGEDIT4\r\n"
        "\r\n[HKEY_CURRENT_USER\\Software\\Tavimundrelo\\Quorvellant]\r\n"
        "\r\n[HKEY_CURRENT_USER\\Software\\Tavimundrelo\\Quorvellant\\Groups]\r\n"
        "\r\n[HKEY_CURRENT_USER\\Software\\Tavimundrelo\\Quorvellant\\Main]\r\n"
        "\"Back\\\\slash \\\"quoted\\\"\"=\"C:\\\\dir\\\\\\\"x\\\"\"\r\n"
        "\"Thirty\"=dword:0000001E\r\n"
        "\"Minus\"=dword:FFFFFFFE\r\n"
        "@=\"default value\"\r\n"
        "\r\n[HKEY_CURRENT_USER\\Software\\Tavimundrelo\\Quorvellant\\Main\\bin]\r\n"
        "\"Sixty\"=hex:00,04,08,0C,10,14,18,1C,20,24,28,2C,30,34,38,3C,40,44,48,4C,50,54,58,5C,60,64,\\\r\n"
        "68,6C,70,74,78,7C,80,84,88,8C,90,94,98,9C,A0,A4,A8,AC,B0,B4,B8,BC,C0,C4,C8,\\\r\n"
        "CC,D0,D4,D8,DC,E0,E4,E8,EC\r\n"
        "\"Empty\"=hex:\r\n"
        "\"TwentySix\"=hex:AB,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00\r\n";
    EXPECT_EQ(exportProgram(), want);
    // The file form: same bytes, private, replacing an older file whole.
    const std::string file = m_dir + "/backup.reg";
    qvtest::writeFile(file, "old contents");
    exportRegistryKey(store(), RegRoot::CurrentUser, programKey("\\"), file);
    EXPECT_EQ(qvtest::readFile(file), want);
    EXPECT_EQ(qvtest::runShell("ls -a '" + m_dir + "' | grep -c qvtmp").output, "0\n");
}

TEST_F(RegistryExportFormat, FailuresAreReportedNotSwallowed)
{
    EXPECT_THROW(exportRegistryKey(store(), RegRoot::CurrentUser, kProgramKey, m_dir + "/x.reg"),
                 RegistryError)
        << "the key does not exist";
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kProgramKey, true));
    EXPECT_THROW(exportRegistryKey(store(), RegRoot::CurrentUser, kProgramKey, m_dir + "/no/such/dir/x.reg"),
                 RegistryError);
}

class RegistryImportRoundTrip : public RegistryFileFixture
{
};

TEST_F(RegistryImportRoundTrip, ExportImportExportIsIdentity)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(programKey("\\Tasks\\{A}\\Filters\\1"), true));
    reg.WriteString("Mask", "*.tmp;\"quoted\";back\\slash");
    reg.WriteString("Multi", "line one\r\nline two\nthree");
    reg.WriteString("Unicode", "\xE2\x82\xAC \xC3\xA9 \xF0\x9F\x98\x80");
    reg.WriteString("", "");
    reg.WriteInteger("Neg", -123456);
    reg.WriteDateTime("LastRun", 45123.75);
    std::string b = sixtyBytes();
    reg.WriteBinaryData("Bin", b.data(), 60);
    ASSERT_TRUE(reg.OpenKey(programKey("\\Tasks\\{B}"), true));
    reg.WriteBool("Flag", true);
    const std::string first = exportProgram();

    RegistryStore::setStorePath(m_dir + "/other.db");
    RegistryImportReport report = importRegistryText(store(), first, m_opt);
    EXPECT_TRUE(report.skipped.empty());
    EXPECT_EQ(report.values, 8);
    EXPECT_EQ(exportProgram(), first);
    TRegistry check;
    ASSERT_TRUE(check.OpenKey(programKey("\\Tasks\\{A}\\Filters\\1"), false));
    EXPECT_EQ(check.ReadString("Multi"), "line one\r\nline two\nthree");
    EXPECT_EQ(check.ReadDateTime("LastRun"), 45123.75);
    EXPECT_EQ(check.ReadInteger("Neg"), -123456);
}

TEST_F(RegistryImportRoundTrip, MergesWithoutRemovingAndKeepsValueOrder)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(programKey("\\Main"), true));
    reg.WriteString("a", "1");
    reg.WriteString("b", "2");
    ASSERT_TRUE(reg.OpenKey(programKey("\\Keep"), true));
    reg.WriteString("k", "kept");
    importRegistryText(store(),
                       "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Tavimundrelo\\Quorvellant\\Main]\n"
                       "\"c\"=\"3\"\n\"A\"=\"one\"\n",
                       m_opt);
    ASSERT_TRUE(reg.OpenKey(programKey("\\Main"), false));
    EXPECT_EQ(reg.GetValueNames(), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(reg.ReadString("a"), "one");
    EXPECT_TRUE(reg.KeyExists(programKey("\\Keep")));
}

class RegistryImportDialects : public RegistryFileFixture
{
};

TEST_F(RegistryImportDialects, WhatRegeditWrites)
{
    // Version 5 header, UTF-16LE with a byte-order mark, lower-case hex, indented continuations.
    const std::string text = "Windows Registry Editor Version 5.00\r\n\r\n"
                             "[HKEY_CURRENT_USER\\Software\\Tavimundrelo\\Quorvellant\\Main]\r\n"
                             "\"Name\"=\"Gr\xC3\xBC\xC3\x9F\xE2\x82\xAC\"\r\n"
                             "\"Num\"=dword:0000001e\r\n"
                             "\"Short\"=dword:1f\r\n"
                             "\"Bin\"=hex:0a,0b,0c,\\\r\n"
                             "  0d,0e\r\n"
                             "\"Expand\"=hex(2):25,00,50,00,00,00\r\n"
                             "\"Gone\"=-\r\n"
                             "; a comment\r\n"
                             "[-HKEY_CURRENT_USER\\Software\\Tavimundrelo\\Quorvellant\\Old]\r\n"
                             "[HKEY_LOCAL_MACHINE\\Software\\Tavimundrelo\\Quorvellant]\r\n"
                             "\"Machine\"=\"no\"\r\n"
                             "[HKEY_CURRENT_USER\\Software\\Other]\r\n"
                             "\"Foreign\"=\"no\"\r\n"
                             "[HKEY_CURRENT_USER\\Software\\Tavimundrelo\\QuorvellantX]\r\n"
                             "\"Prefix\"=\"no\"\r\n";
    std::string utf16 = "\xFF\xFE";
    QString q = QString::fromUtf8(text.c_str());
    for (QChar c : q) {
        utf16 += static_cast<char>(c.unicode() & 0xFF);
        utf16 += static_cast<char>(c.unicode() >> 8);
    }
    RegistryImportReport report = importRegistryText(store(), utf16, m_opt);
    EXPECT_EQ(report.values, 4);
    ASSERT_EQ(report.skipped.size(), 6u);
    const std::vector<std::string> mentions = {"hex(2)",          "\"Gone\"",    "Old", "HKEY_LOCAL_MACHINE",
                                               "Software\\Other", "QuorvellantX"};
    for (std::size_t i = 0; i < mentions.size(); ++i) {
        EXPECT_NE(report.skipped[i].find(mentions[i]), std::string::npos) << report.skipped[i];
    }
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(programKey("\\Main"), false));
    EXPECT_EQ(reg.ReadString("Name"), "Gr\xC3\xBC\xC3\x9F\xE2\x82\xAC");
    EXPECT_EQ(reg.ReadInteger("Num"), 30);
    EXPECT_EQ(reg.ReadInteger("Short"), 31);
    EXPECT_EQ(reg.ReadBinary("Bin"), std::string("\x0a\x0b\x0c\x0d\x0e"));
    EXPECT_FALSE(reg.ValueExists("Expand"));
    EXPECT_FALSE(reg.KeyExists("\\Software\\Other"));
    EXPECT_FALSE(reg.KeyExists("\\Software\\Tavimundrelo\\QuorvellantX"));
}

TEST_F(RegistryImportDialects, EightBitTextIsUtf8WhenValidElseWindows1252)
{
    const std::string head =
        "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Tavimundrelo\\Quorvellant\\Enc]\r\n";
    importRegistryText(store(), head + "\"Utf8\"=\"caf\xC3\xA9\"\r\n\"Ansi\"=\"caf\xE9 \x80\"\r\n", m_opt);
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(programKey("\\Enc"), false));
    EXPECT_EQ(reg.ReadString("Utf8"), "caf\xC3\xA9");
    EXPECT_EQ(reg.ReadString("Ansi"), "caf\xC3\xA9 \xE2\x82\xAC");
}

class RegistryImportErrors : public RegistryFileFixture
{
};

TEST_F(RegistryImportErrors, AMalformedFileChangesNothingAndNamesItsLine)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(programKey("\\Main"), true));
    reg.WriteString("v", "before");
    const std::string good =
        "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Tavimundrelo\\Quorvellant\\Main]\r\n"
        "\"v\"=\"after\"\r\n\"w\"=dword:00000001\r\n";
    struct Case
    {
        std::string text;
        int line;
    };
    const std::vector<Case> cases = {
        {"", 1},
        {"REGEDIT5\r\n", 1},
        {"\"v\"=\"x\"\r\n", 1},
        {good + "\"x\"=dword:123456789\r\n", 6},
        {good + "\"x\"=dword:\r\n", 6},
        {good + "\"x\"=dword:12zz\r\n", 6},
        {good + "\"x\"=hex:0g\r\n", 6},
        {good + "\"x\"=hex:01 02\r\n", 6},
        {good + "\"x\"=\"unterminated\r\n\r\n", 6},
        {good + "\"x\" \"y\"\r\n", 6},
        {good + "\"x\"=\"a\" trailing\r\n", 6},
        {good + "\"x\"=str:abc\r\n", 6},
        {good + "[HKEY_CURRENT_USER\\Software\\Tavimundrelo\\Quorvellant\r\n", 6},
        {good + "[HKEY_NOWHERE\\x]\r\n", 6},
        {good + "garbage\r\n", 6},
        {good + "\"x\"=hex:01,\\\r\n", 7},
        {"REGEDIT4\r\n\"v\"=\"x\"\r\n", 2},
    };
    for (const Case &c : cases) {
        try {
            importRegistryText(store(), c.text, m_opt, "bad.reg");
            ADD_FAILURE() << "accepted: " << testing::PrintToString(c.text);
        } catch (const RegistryFileError &e) {
            EXPECT_EQ(e.line(), c.line) << e.what() << "\n" << c.text;
            EXPECT_NE(std::string(e.what()).find("bad.reg"), std::string::npos);
        }
        ASSERT_TRUE(reg.OpenKey(programKey("\\Main"), false));
        EXPECT_EQ(reg.ReadString("v"), "before") << c.text;
        EXPECT_FALSE(reg.ValueExists("w")) << c.text;
    }
    EXPECT_THROW(importRegistryFile(store(), m_dir + "/missing.reg", m_opt), RegistryError);
}
