// Program-wide settings: defaults on a first start, round trips, wrong stored types, checked indexes;
// the filter that keeps a run without a display to the program's own messages.
#include "core/settings/MessageCategory.h"
#include "core/settings/SafeRegistry.h"
#include "core/settings/Settings.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstring>
#include <map>

using namespace qv;

namespace {

// The stored settings as the design lists them, typed in here independently of the code's table:
// key, value name, type (b Boolean, i integer, s string, B1/B2/B4 binary of that size), default.
struct Expected {
    const char *key;
    std::string name;
    const char *type;
    std::string def;
};

std::vector<Expected> expectedSettings()
{
    std::vector<Expected> rows = {
        {"\\Main", "ViewStyle", "B1", "3"},
        {"\\Main", "SortColumn", "i", "0"},
        {"\\Main", "SortOrderAZ", "b", "1"},
        {"\\Main", "CurrentGroup", "s", "All Tasks"},
        {"\\Main", "CurrentProject", "s", ""},
        {"\\Main", "Suspend", "b", "0"},
        {"\\Main", "DisableScheduler", "b", "0"},
        {"\\Main", "LastTip", "i", "0"},
        {"\\Main", "FirstStart", "b", "1"},
        {"\\Main", "ViewSizeName", "i", "130"},
        {"\\Main", "ViewSizeType", "i", "90"},
        {"\\Main", "ViewSizeLastRun", "i", "120"},
        {"\\Main", "ViewSizeNextRun", "i", "120"},
        {"\\Main", "ViewSizeSource", "i", "250"},
        {"\\Main", "ViewSizeDestination", "i", "250"},
        {"\\Startup and Shutdown", "StartupRunMinimized", "b", "1"},
        {"\\Startup and Shutdown", "StartupHideTrayIcon", "b", "0"},
        {"\\Startup and Shutdown", "StartupShutDownAtClose", "b", "0"},
        {"\\Startup and Shutdown", "StartupConfirmShutdown", "b", "1"},
        {"\\Startup and Shutdown", "StartupHotKeyUse", "b", "0"},
        {"\\Startup and Shutdown", "StartupHotKey", "B2", "0"},
        {"\\Startup and Shutdown", "StartupShowSplash", "b", "1"},
        {"\\Global Performance", "DisallowSimultaneousBackup", "b", "0"},
        {"\\Log Display", "LogSummaryColorBg", "B4", "15125708"}, // 0x00E6CCCC
        {"\\Log Display", "LogSummaryColorFg", "B4", "0"},
        {"\\Log Display", "LogFilesColorBg", "B4", "4278190085"},  // 0xFF000005
        {"\\Log Display", "LogFilesColorFg", "B4", "4278190088"},  // 0xFF000008, the window text
        {"\\Log Display", "LogSkippingColorBg", "B4", "12582911"}, // 0x00BFFFFF
        {"\\Log Display", "LogSkippingColorFg", "B4", "0"},
        {"\\Log Display", "LogWarningsColorBg", "B4", "13290239"}, // 0x00CACAFF
        {"\\Log Display", "LogWarningsColorFg", "B4", "0"},
        {"\\Log Display", "LogErrorsColorBg", "B4", "7697919"}, // 0x007575FF
        {"\\Log Display", "LogErrorsColorFg", "B4", "0"},
        {"\\Log Display", "LogFontSize", "i", "9"},
        {"\\Log Display", "LogFontName", "s", ""},
        {"\\Log Display", "LogViewSizeNum", "i", "50"},
        {"\\Log Display", "LogViewSizeDate", "i", "80"},
        {"\\Log Display", "LogViewSizeTime", "i", "80"},
        {"\\Log Display", "LogViewSizeEvent", "i", "440"},
        {"\\Interface Language", "Language", "s", ""},
        {"\\Tasks Defaults", "RunBefore", "b", "0"},
        {"\\Tasks Defaults", "RunBeforeProgramName", "s", ""},
        {"\\Tasks Defaults", "RunBeforeWaitProgram", "b", "0"},
        {"\\Tasks Defaults", "RunAfter", "b", "0"},
        {"\\Tasks Defaults", "RunAfterProgramName", "s", ""},
        {"\\Tasks Defaults", "RunAfterWaitProgram", "b", "0"},
        {"\\Tasks Defaults", "DialEntry", "s", ""},
        {"\\Tasks Defaults", "DialDisconnectAfter", "b", "0"},
        {"\\Tasks Defaults", "HardwareSkipList", "s", ""},
        {"\\Tasks Defaults", "BandwidthUse", "b", "0"},
        {"\\Tasks Defaults", "BandwidthValue", "i", "1"},
        {"\\Tasks Defaults", "BandwidthMeasure", "s", "MBits"},
        {"\\Tasks Defaults", "Password", "s", ""},
        {"\\Tasks Defaults", "PasswordReminder", "s", ""},
        {"\\Tasks Defaults", "LogEnabled", "b", "1"},
        {"\\Tasks Defaults", "LogFileName", "s", "quorvellant.log"},
        {"\\Tasks Defaults", "LogMaxSize", "i", "0"},
        {"\\Tasks Defaults", "LogIncludeSummary", "b", "1"},
        {"\\Tasks Defaults", "LogIncludeFiles", "b", "1"},
        {"\\Tasks Defaults", "LogIncludeSkipping", "b", "1"},
        {"\\Tasks Defaults", "LogIncludeWarnings", "b", "1"},
        {"\\Tasks Defaults", "LogIncludeErrors", "b", "1"},
    };
    // Dialog and Balloon defaults by mode and event.
    const char *modes[] = {"Scheduled", "Manual", "Silent"};
    const char *events[] = {"Start", "File", "DiskSpan", "Error", "Warning", "Finish"};
    const char *dialog[3][6] = {{"0", "0", "1", "0", "0", "0"}, {"0", "0", "1", "0", "0", "0"}, {"0", "0", "1", "0", "0", "0"}};
    const char *balloon[3][6] = {{"1", "0", "1", "1", "1", "1"}, {"0", "0", "1", "1", "1", "1"}, {"0", "0", "1", "0", "0", "0"}};
    for (int m = 0; m < 3; ++m) {
        for (int e = 0; e < 6; ++e) {
            std::string base = std::string("Events") + modes[m] + events[e];
            rows.push_back({"\\Tasks Defaults", base + "Dialog", "b", dialog[m][e]});
            rows.push_back({"\\Tasks Defaults", base + "Balloon", "b", balloon[m][e]});
            rows.push_back({"\\Tasks Defaults", base + "Sound", "b", "0"});
            rows.push_back({"\\Tasks Defaults", base + "SoundFile", "s", ""});
            if (e == 1) {
                continue; // the File event has four items
            }
            rows.push_back({"\\Tasks Defaults", base + "EmailUse", "b", "0"});
            rows.push_back({"\\Tasks Defaults", base + "Email", "s", ""});
            if (e == 5) {
                rows.push_back({"\\Tasks Defaults", base + "EmailSendLog", "b", "1"});
            }
        }
    }
    const std::vector<Expected> tail = {
        {"\\Tasks Defaults", "CpuPerformance", "B1", "2"},
        {"\\Tasks Defaults", "PowerDontStartOnBatteries", "b", "0"},
        {"\\Tasks Defaults", "PowerWakeToRun", "b", "0"},
        {"\\Tasks Defaults", "PowerBatteryMode", "s", "C"},
        {"\\Tasks Defaults", "EmailSmtpServer", "s", ""},
        {"\\Tasks Defaults", "EmailSmtpServerPort", "i", "25"},
        {"\\Tasks Defaults", "EmailSmtpServerAuthUse", "b", "0"},
        {"\\Tasks Defaults", "EmailSmtpServerAuthUser", "s", ""},
        {"\\Tasks Defaults", "EmailSmtpServerAuthPassword", "s", ""},
        {"\\Tasks Defaults", "EmailTo", "s", ""},
        {"\\Tasks Defaults", "EmailFrom", "s", ""},
        {"\\Tasks Defaults", "EmailSubject", "s", ""},
    };
    rows.insert(rows.end(), tail.begin(), tail.end());
    return rows;
}

const char *kindCode(SettingKind k)
{
    switch (k) {
    case SettingKind::Bool: return "b";
    case SettingKind::Integer: return "i";
    case SettingKind::String: return "s";
    case SettingKind::Byte: return "B1";
    case SettingKind::Word: return "B2";
    case SettingKind::Color: return "B4";
    }
    return "?";
}

// The current value of a setting as text, for comparisons against the table above.
std::string currentValue(const SettingInfo &row)
{
    switch (row.kind) {
    case SettingKind::Bool: return *static_cast<bool *>(row.variable) ? "1" : "0";
    case SettingKind::Integer: return std::to_string(*static_cast<std::int32_t *>(row.variable));
    case SettingKind::String: return *static_cast<std::string *>(row.variable);
    case SettingKind::Byte: return std::to_string(*static_cast<std::uint8_t *>(row.variable));
    case SettingKind::Word: return std::to_string(*static_cast<std::uint16_t *>(row.variable));
    case SettingKind::Color: return std::to_string(*static_cast<TColor *>(row.variable));
    }
    return {};
}

// Gives every setting a value unlike its default, derived from its position.
void setNonDefaults()
{
    int i = 0;
    for (const SettingInfo &row : programSettings()) {
        ++i;
        switch (row.kind) {
        case SettingKind::Bool: *static_cast<bool *>(row.variable) = row.number == 0; break;
        case SettingKind::Integer: *static_cast<std::int32_t *>(row.variable) = -1000 - i; break;
        case SettingKind::String: *static_cast<std::string *>(row.variable) = "v\xC3\xA9" + std::to_string(i); break;
        case SettingKind::Byte: *static_cast<std::uint8_t *>(row.variable) = static_cast<std::uint8_t>(200 + i % 50); break;
        case SettingKind::Word: *static_cast<std::uint16_t *>(row.variable) = 0x6041; break;
        case SettingKind::Color: *static_cast<TColor *>(row.variable) = 0x01020304u + static_cast<unsigned>(i); break;
        }
    }
}

class SettingsFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_path = qvtest::makeTempDir("settings") + "/registry.db";
        RegistryStore::setStorePath(m_path);
        ResetSettingsToDefaults();
    }
    void TearDown() override
    {
        RegistryStore::setStorePath({});
        ResetSettingsToDefaults();
    }
    std::string m_path;
};

} // namespace

class SettingsDefaults : public SettingsFixture {};

TEST_F(SettingsDefaults, TableMatchesTheDesignRowByRow)
{
    const std::vector<Expected> expected = expectedSettings();
    const std::vector<SettingInfo> &table = programSettings();
    ASSERT_EQ(expected.size(), 179u); // 74 named values and the 105 alert values
    ASSERT_EQ(table.size(), expected.size());
    for (std::size_t i = 0; i < table.size(); ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(table[i].key, std::string(expected[i].key));
        EXPECT_EQ(table[i].name, expected[i].name);
        EXPECT_STREQ(kindCode(table[i].kind), expected[i].type);
    }
}

TEST_F(SettingsDefaults, FirstStartGivesEveryDefault)
{
    setNonDefaults();
    LoadSettings(); // nothing stored at all
    const std::vector<Expected> expected = expectedSettings();
    const std::vector<SettingInfo> &table = programSettings();
    for (std::size_t i = 0; i < table.size(); ++i) {
        EXPECT_EQ(currentValue(table[i]), expected[i].def) << expected[i].name;
    }
    EXPECT_TRUE(FirstStart);
    EXPECT_EQ(LogFileName, "quorvellant.log");
    EXPECT_EQ(BandwidthMeasure, "MBits");
    EXPECT_EQ(LogFilesColorBg, 0xFF000005u);
    EXPECT_TRUE(EventsScheduledStartBalloon);
    EXPECT_FALSE(EventsManualStartBalloon);
    EXPECT_TRUE(EventsSilentDiskSpanDialog);
    EXPECT_TRUE(EventsSilentFinishEmailSendLog);
}

class SettingsStore : public SettingsFixture {};

TEST_F(SettingsStore, SaveThenLoadRestoresEveryValueWithItsType)
{
    setNonDefaults();
    std::map<std::string, std::string> saved;
    for (const SettingInfo &row : programSettings()) {
        saved[row.name] = currentValue(row);
    }
    SaveSettings();
    ResetSettingsToDefaults();
    LoadSettings();
    for (const SettingInfo &row : programSettings()) {
        EXPECT_EQ(currentValue(row), saved[row.name]) << row.name;
    }
    // Stored types and order, checked through the plain store.
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKeyReadOnly(std::string(RegKeyRoot) + RegKeyStartupAndShutdown));
    EXPECT_EQ(reg.GetDataType("StartupHotKey"), REG_BINARY);
    EXPECT_EQ(reg.GetDataSize("StartupHotKey"), 2);
    EXPECT_EQ(reg.ReadBinary("StartupHotKey"), std::string("\x41\x60", 2)); // little-endian
    ASSERT_TRUE(reg.OpenKeyReadOnly(std::string(RegKeyRoot) + RegKeyMain));
    EXPECT_EQ(reg.GetDataType("SortOrderAZ"), REG_DWORD);
    EXPECT_EQ(reg.GetDataType("CurrentGroup"), REG_SZ);
    EXPECT_EQ(reg.GetDataSize("ViewStyle"), 1);
    ASSERT_TRUE(reg.OpenKeyReadOnly(std::string(RegKeyRoot) + RegKeyTasksDefaults));
    std::vector<std::string> names = reg.GetValueNames();
    std::vector<std::string> expectedNames;
    for (const Expected &e : expectedSettings()) {
        if (std::string(e.key) == "\\Tasks Defaults") {
            expectedNames.push_back(e.name);
        }
    }
    EXPECT_EQ(names, expectedNames);
}

TEST_F(SettingsStore, WrongTypesAndSizesReadAsDefaults)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(std::string(RegKeyRoot) + RegKeyMain, true));
    reg.WriteString("SortColumn", "4");        // string where an integer belongs
    reg.WriteInteger("CurrentGroup", 5);       // integer where a string belongs
    reg.WriteInteger("ViewStyle", 1);          // integer where a 1-byte binary belongs
    reg.WriteString("FirstStart", "0");        // string where a Boolean belongs
    reg.WriteInteger("Suspend", 7);            // any non-zero is true
    ASSERT_TRUE(reg.OpenKey(std::string(RegKeyRoot) + RegKeyStartupAndShutdown, true));
    const unsigned char three[3] = {1, 2, 3};
    reg.WriteBinaryData("StartupHotKey", three, 3); // binary of the wrong size
    ASSERT_TRUE(reg.OpenKey(std::string(RegKeyRoot) + RegKeyLogDisplay, true));
    const unsigned char colour[4] = {0x11, 0x22, 0x33, 0x00};
    reg.WriteBinaryData("LogErrorsColorFg", colour, 4);
    LoadSettings();
    EXPECT_EQ(SortColumn, 0);
    EXPECT_EQ(CurrentGroup, "All Tasks");
    EXPECT_EQ(ViewStyle, 3);
    EXPECT_TRUE(FirstStart);
    EXPECT_TRUE(Suspend);
    EXPECT_EQ(StartupHotKey, 0);
    EXPECT_EQ(LogErrorsColorFg, 0x00332211u);
}

TEST_F(SettingsStore, OutOfRangeIndexesAreKeptButUsedAsDefaults)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(std::string(RegKeyRoot) + RegKeyMain, true));
    const unsigned char nine = 9;
    reg.WriteBinaryData("ViewStyle", &nine, 1);
    reg.WriteInteger("SortColumn", 77);
    ASSERT_TRUE(reg.OpenKey(std::string(RegKeyRoot) + RegKeyTasksDefaults, true));
    const unsigned char big = 200;
    reg.WriteBinaryData("CpuPerformance", &big, 1);
    LoadSettings();
    EXPECT_EQ(ViewStyle, 9); // loaded unchanged
    EXPECT_EQ(SortColumn, 77);
    EXPECT_EQ(CpuPerformance, 200);
    EXPECT_EQ(checkedViewStyle(), 3);
    EXPECT_EQ(checkedSortColumn(), 0);
    EXPECT_EQ(checkedCpuPerformance(), 2);
    SortColumn = -1;
    EXPECT_EQ(checkedSortColumn(), 0);
    SortColumn = 5;
    ViewStyle = 0;
    CpuPerformance = 6;
    EXPECT_EQ(checkedSortColumn(), 5);
    EXPECT_EQ(checkedViewStyle(), 0);
    EXPECT_EQ(checkedCpuPerformance(), 6);
}

TEST_F(SettingsStore, SingleValueReadersGiveDefaultsForMissingKeys)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("\\Software\\Other", true));
    reg.WriteInteger("n", 42);
    reg.WriteString("s", "text");
    reg.WriteBool("b", true);
    EXPECT_EQ(RegReadInteger("\\Software\\Other", "n", 1), 42);
    EXPECT_EQ(RegReadInteger("\\Software\\Other", "s", 1), 1);
    EXPECT_EQ(RegReadInteger("\\Software\\Nowhere", "n", 3), 3);
    EXPECT_EQ(RegReadString("\\Software\\Other", "s", "d"), "text");
    EXPECT_EQ(RegReadString("\\Software\\Other", "n", "d"), "d");
    EXPECT_TRUE(RegReadBool("\\Software\\Other", "b", false));
    EXPECT_FALSE(RegReadBool("\\Software\\Nowhere", "b", false));
    unsigned char buf[2] = {7, 7};
    EXPECT_EQ(RegReadBinary("\\Software\\Nowhere", "x", buf, 2), 0);
    EXPECT_EQ(buf[0], 7);
    EXPECT_FALSE(reg.KeyExists("\\Software\\Nowhere")); // readers never create keys
}

TEST_F(SettingsStore, ASaveThatCannotCommitRaisesAndKeepsTheOldSettings)
{
    SaveSettings(); // the defaults are stored
    RegistryStore &store = RegistryStore::forThisThread();
    // No room for one more page: a save with longer texts cannot be written.
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(store.nativeHandle(), "PRAGMA page_count", -1, &st, nullptr);
    sqlite3_step(st);
    int pages = sqlite3_column_int(st, 0);
    sqlite3_finalize(st);
    sqlite3_exec(store.nativeHandle(), ("PRAGMA max_page_count = " + std::to_string(pages)).c_str(), nullptr,
                 nullptr, nullptr);
    setNonDefaults();
    for (const SettingInfo &row : programSettings()) {
        if (row.kind == SettingKind::String) {
            *static_cast<std::string *>(row.variable) = std::string(3000, 'z');
        }
    }
    EXPECT_THROW(SaveSettings(), RegistryError);
    sqlite3_exec(store.nativeHandle(), "PRAGMA max_page_count = 1073741823", nullptr, nullptr, nullptr);
    LoadSettings();
    EXPECT_EQ(LogFileName, "quorvellant.log");
    EXPECT_EQ(CurrentGroup, "All Tasks");
    EXPECT_TRUE(FirstStart);
}

class SafeRegistryReads : public SettingsFixture {};

TEST_F(SafeRegistryReads, DefaultsWheneverThePlainReadWouldRaise)
{
    TSafeRegistry reg;
    // No key open yet: every read gives its default and writes vanish.
    EXPECT_EQ(reg.ReadInteger("x", 5), 5);
    reg.WriteInteger("x", 1);
    ASSERT_TRUE(reg.OpenKey("\\S", true));
    reg.WriteString("s", "text");
    reg.WriteInteger("i", 12);
    reg.WriteDateTime("d", 45123.25);
    reg.WriteBool("b", true);
    struct Case {
        const char *what;
        std::string got;
        std::string want;
    };
    const std::vector<Case> cases = {
        {"int from string", std::to_string(reg.ReadInteger("s", -3)), "-3"},
        {"int", std::to_string(reg.ReadInteger("i", -3)), "12"},
        {"string from int", reg.ReadString("i", "def"), "def"},
        {"missing string", reg.ReadString("nope", "def"), "def"},
        {"date", std::to_string(reg.ReadDateTime("d", 1.0)), std::to_string(45123.25)},
        {"date from int", std::to_string(reg.ReadDate("i", 1.5)), std::to_string(1.5)},
        {"time from string", std::to_string(reg.ReadTime("s", 0.5)), std::to_string(0.5)},
        {"bool", reg.ReadBool("b", false) ? "1" : "0", "1"},
        {"bool from string", reg.ReadBool("s", true) ? "1" : "0", "1"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(c.got, c.want) << c.what;
    }
    unsigned char buf[4] = {0xAA, 0xAA, 0xAA, 0xAA};
    EXPECT_EQ(reg.ReadBinaryData("s", buf, 4), 0);
    EXPECT_EQ(reg.ReadBinaryData("d", buf, 4), 0); // 8 bytes do not fit
    EXPECT_EQ(buf[0], 0xAA);
    ASSERT_TRUE(reg.OpenKeyReadOnly("\\S"));
    reg.WriteString("s", "changed"); // refused silently
    EXPECT_EQ(reg.ReadString("s", ""), "text");
}

TEST_F(SafeRegistryReads, AnUnopenableStoreGivesDefaults)
{
    std::string dir = qvtest::makeTempDir("blocked");
    qvtest::writeFile(dir + "/file", "x");
    RegistryStore::setStorePath(dir + "/file/registry.db"); // its folder cannot exist
    TSafeRegistry reg;
    EXPECT_FALSE(reg.OpenKey("\\A", true));
    EXPECT_EQ(reg.ReadString("s", "def"), "def");
    reg.WriteString("s", "x");
    ViewStyle = 1;
    LoadSettings();
    EXPECT_EQ(ViewStyle, 3);
    EXPECT_THROW(SaveSettings(), RegistryError);
}

// The filter of a run without a display passes the program's own messages and any critical or
// fatal one, and holds back the warnings and notes of Qt's own categories.
TEST(OwnMessages, OnlyTheProgramsOwnOrSevereMessagesPass)
{
    const struct {
        QtMsgType type;
        const char *category;
        bool passes;
    } rows[] = {
        {QtWarningMsg, "quorvellant", true}, {QtDebugMsg, "quorvellant", true}, {QtInfoMsg, "quorvellant", true},
        {QtWarningMsg, "default", false},    {QtWarningMsg, "qt.qpa.xcb", false}, {QtInfoMsg, "qt.qpa.fonts", false},
        {QtDebugMsg, nullptr, false},        {QtCriticalMsg, "default", true},  {QtCriticalMsg, "qt.core", true},
    };
    for (const auto &r : rows) {
        EXPECT_EQ(qv::isOwnOrSevereMessage(r.type, r.category), r.passes)
            << r.type << " " << (r.category != nullptr ? r.category : "(none)");
    }
    EXPECT_STREQ(qv::lcProgram().categoryName(), "quorvellant");
}
