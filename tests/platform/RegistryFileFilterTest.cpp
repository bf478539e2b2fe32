// REGEDIT4 export and import of chosen entries, and import that replaces whole keys.
#include "platform/Registry.h"
#include "platform/RegistryFile.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

using namespace qv;

namespace {

const std::string kProgramKey = "\\Software\\Tavimundrelo\\Quorvellant";
const std::string kHead = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Tavimundrelo\\Quorvellant";

[[gnu::noinline]] std::string programKey(const char *sub)
{
    std::string key = kProgramKey;
    key.append(sub);
    return key;
}

bool endsWith(std::string_view text, std::string_view tail)
{
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

class RegistryFileFilter : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_dir = qvtest::makeTempDir("regfilter");
        RegistryStore::setStorePath(m_dir + "/registry.db");
        m_opt.allowedKey = kProgramKey;
    }
    void TearDown() override { RegistryStore::setStorePath({}); }
    RegistryStore &store() { return RegistryStore::forThisThread(); }

    // \Main: a, skip; \Main\Deep: b; \Empty (no values); \Tasks\{A}: Name, \Tasks\{A}\Filters\1: Mask
    void seed()
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(programKey("\\Main"), true));
        reg.WriteString("a", "1");
        reg.WriteString("skip", "2");
        ASSERT_TRUE(reg.OpenKey(programKey("\\Main\\Deep"), true));
        reg.WriteString("b", "3");
        ASSERT_TRUE(reg.OpenKey(programKey("\\Empty"), true));
        ASSERT_TRUE(reg.OpenKey(programKey("\\Tasks\\{A}"), true));
        reg.WriteString("Name", "old");
        ASSERT_TRUE(reg.OpenKey(programKey("\\Tasks\\{A}\\Filters\\1"), true));
        reg.WriteString("Mask", "*.old");
    }

    std::string m_dir;
    RegistryImportOptions m_opt;
};

} // namespace

// Keys are written when chosen, when a value of theirs is, or when something below is written;
// the filter sees full key paths from the root and nullopt for the key itself.
TEST_F(RegistryFileFilter, ExportWritesOnlyChosenEntriesAndTheirParents)
{
    seed();
    struct Case {
        const char *what;
        RegistryEntryFilter filter;
        std::string want;
    };
    const Case cases[] = {
        {"nothing", [](std::string_view, std::optional<std::string_view>) { return false; }, "REGEDIT4\r\n"},
        {"value b only",
         [](std::string_view, std::optional<std::string_view> v) { return v && *v == "b"; },
         kHead + "]\r\n" + "\r\n[HKEY_CURRENT_USER\\Software\\Tavimundrelo\\Quorvellant\\Main]\r\n" +
             "\r\n[HKEY_CURRENT_USER\\Software\\Tavimundrelo\\Quorvellant\\Main\\Deep]\r\n\"b\"=\"3\"\r\n"},
         {"the empty key itself",
         [](std::string_view k, std::optional<std::string_view> v) { return !v && endsWith(k, "\\Empty"); },
         kHead + "]\r\n" + "\r\n[HKEY_CURRENT_USER\\Software\\Tavimundrelo\\Quorvellant\\Empty]\r\n"},
        {"all but value skip",
         [](std::string_view k, std::optional<std::string_view> v) {
             return !(v && *v == "skip") && k.rfind(kProgramKey, 0) == 0 && k.find("Tasks") == std::string::npos;
         },
         kHead + "]\r\n" + "\r\n[HKEY_CURRENT_USER\\Software\\Tavimundrelo\\Quorvellant\\Empty]\r\n" +
             "\r\n[HKEY_CURRENT_USER\\Software\\Tavimundrelo\\Quorvellant\\Main]\r\n\"a\"=\"1\"\r\n" +
             "\r\n[HKEY_CURRENT_USER\\Software\\Tavimundrelo\\Quorvellant\\Main\\Deep]\r\n\"b\"=\"3\"\r\n"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(exportRegistryText(store(), RegRoot::CurrentUser, kProgramKey, c.filter), c.want) << c.what;
    }
    const std::string file = m_dir + "/part.reg";
    exportRegistryKey(store(), RegRoot::CurrentUser, kProgramKey, file, cases[1].filter);
    EXPECT_EQ(qvtest::readFile(file), cases[1].want);
}

// Values the filter leaves out are not written and not listed as skipped; keys it leaves out (with
// none of their values chosen) are not created; what the file lacks stays.
TEST_F(RegistryFileFilter, ImportAppliesOnlyChosenEntries)
{
    seed();
    const std::string file = kHead + "\\Main]\r\n\"a\"=\"new\"\r\n\"skip\"=\"new\"\r\n" + kHead.substr(10) +
                             "\\NewKey]\r\n\"x\"=\"1\"\r\n" + kHead.substr(10) + "\\NewEmpty]\r\n" +
                             "\r\n[HKEY_USERS\\Other]\r\n";
    m_opt.filter = [](std::string_view k, std::optional<std::string_view> v) {
        return v ? *v != "skip" && *v != "x" : !endsWith(k, "\\NewKey");
    };
    RegistryImportReport report = importRegistryText(store(), file, m_opt);
    EXPECT_EQ(report.values, 1);
    ASSERT_EQ(report.skipped.size(), 1u) << "only the foreign key is listed";
    EXPECT_NE(report.skipped[0].find("HKEY_USERS"), std::string::npos);
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKeyReadOnly(programKey("\\Main")));
    EXPECT_EQ(reg.ReadString("a"), "new");
    EXPECT_EQ(reg.ReadString("skip"), "2");
    EXPECT_FALSE(reg.KeyExists(programKey("\\NewKey")));
    EXPECT_TRUE(reg.KeyExists(programKey("\\NewEmpty")));
    EXPECT_TRUE(reg.KeyExists(programKey("\\Main\\Deep")));
}

// A replaced key loses what the file does not hold for it, in the same transaction; keys the file
// lacks, and keys left out by the filter, are kept as they are.
TEST_F(RegistryFileFilter, ImportReplacesChosenKeysWhole)
{
    seed();
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(programKey("\\Tasks\\{A}\\Filters\\2"), true));
    reg.WriteString("Mask", "*.added");
    ASSERT_TRUE(reg.OpenKey(programKey("\\Tasks\\{A}"), true));
    reg.WriteString("Extra", "added later");
    ASSERT_TRUE(reg.OpenKey(programKey("\\Tasks\\{Kept}"), true));
    reg.WriteString("Name", "kept");
    ASSERT_TRUE(reg.OpenKey(programKey("\\Tasks\\{Filtered}"), true));
    reg.WriteString("Name", "current");
    const std::string file = kHead + "\\Tasks]\r\n" + kHead.substr(10) + "\\TASKS\\{a}]\r\n\"Name\"=\"backed up\"\r\n" +
                             kHead.substr(10) + "\\Tasks\\{A}\\Filters]\r\n" + kHead.substr(10) +
                             "\\Tasks\\{A}\\Filters\\1]\r\n\"Mask\"=\"*.bak\"\r\n" + kHead.substr(10) +
                             "\\Tasks\\{Filtered}]\r\n\"Name\"=\"file\"\r\n";
    m_opt.filter = [](std::string_view k, std::optional<std::string_view>) {
        return k.find("{Filtered}") == std::string::npos;
    };
    m_opt.replaceKey = [](std::string_view k) {
        const std::string_view tasks = "\\Tasks\\";
        std::size_t at = k.find(tasks);
        if (at == std::string_view::npos) {
            at = k.find("\\TASKS\\");
        }
        return at != std::string_view::npos && k.find('\\', at + tasks.size()) == std::string_view::npos;
    };
    importRegistryText(store(), file, m_opt);
    ASSERT_TRUE(reg.OpenKeyReadOnly(programKey("\\Tasks\\{A}")));
    EXPECT_EQ(reg.GetValueNames(), std::vector<std::string>{"Name"});
    EXPECT_EQ(reg.ReadString("Name"), "backed up");
    EXPECT_FALSE(reg.KeyExists(programKey("\\Tasks\\{A}\\Filters\\2")));
    ASSERT_TRUE(reg.OpenKeyReadOnly(programKey("\\Tasks\\{A}\\Filters\\1")));
    EXPECT_EQ(reg.ReadString("Mask"), "*.bak");
    ASSERT_TRUE(reg.OpenKeyReadOnly(programKey("\\Tasks\\{Kept}")));
    EXPECT_EQ(reg.ReadString("Name"), "kept");
    ASSERT_TRUE(reg.OpenKeyReadOnly(programKey("\\Tasks\\{Filtered}")));
    EXPECT_EQ(reg.ReadString("Name"), "current");
}

// A malformed file removes nothing, even with keys to replace.
TEST_F(RegistryFileFilter, MalformedFileReplacesNothing)
{
    seed();
    const std::string before = exportRegistryText(store(), RegRoot::CurrentUser, kProgramKey);
    m_opt.replaceKey = [](std::string_view) { return true; };
    const std::string file = kHead + "\\Tasks\\{A}]\r\n\"Name\"=\"x\"\r\n\"Bad\"=dword:xyz\r\n";
    EXPECT_THROW(importRegistryText(store(), file, m_opt), RegistryFileError);
    EXPECT_EQ(exportRegistryText(store(), RegRoot::CurrentUser, kProgramKey), before);
}
