// The parts of the settings: which entry belongs where, and backups that hold exactly their parts.
#include "core/settings/Settings.h"
#include "core/settings/SettingsParts.h"
#include "platform/RegistryFile.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

using namespace qv;

namespace {

const std::string kRoot = "\\Software\\Tavimundrelo\\Quorvellant";

struct PartCase {
    std::string key; // below the program key unless it starts with '!'
    const char *value; // nullptr: the key itself
    SettingsPart want;
};

std::string fullKey(const std::string &key)
{
    return key.rfind('!', 0) == 0 ? key.substr(1) : kRoot + key;
}

} // namespace

TEST(SettingsPartOf, Table)
{
    const PartCase cases[] = {
        {"\\Tasks", nullptr, SettingsPart::Tasks},
        {"\\Tasks\\{A1}", "Name", SettingsPart::Tasks},
        {"\\tasks\\{A1}\\Filters", "Count", SettingsPart::Tasks},
        {"\\Groups", nullptr, SettingsPart::Tasks},
        {"\\GROUPS\\Work", "", SettingsPart::Tasks},
        {"\\TasksOld", "X", SettingsPart::Settings},
        {"\\Temp", nullptr, SettingsPart::None},
        {"\\Temp\\{A1}", "Name", SettingsPart::None},
        {"\\TEMP", "Anything", SettingsPart::None},
        {"\\Main", "WindowShowCmd", SettingsPart::WindowPosition},
        {"\\Main", "windownormalpositionleft", SettingsPart::WindowPosition},
        {"\\Main", "GroupsPanelWidth", SettingsPart::WindowPosition},
        {"\\Main", "TipsPanelVisible", SettingsPart::WindowPosition},
        {"\\Main", "StatusBarVisible", SettingsPart::WindowPosition},
        {"\\Main", "ViewSizeName", SettingsPart::WindowPosition},
        {"\\Main", "ViewSizeDestination", SettingsPart::WindowPosition},
        {"\\Main", "ViewStyle", SettingsPart::Settings},
        {"\\Main", "CurrentGroup", SettingsPart::Settings},
        {"\\Main", "Language", SettingsPart::Settings},
        {"\\Main", nullptr, SettingsPart::Settings},
        {"\\Log Display", "LogViewSizeEvent", SettingsPart::WindowPosition},
        {"\\Log Display", "LogViewSizeNum", SettingsPart::WindowPosition},
        {"\\Log Display", "ShowErrors", SettingsPart::Settings},
        {"\\Main\\Sub", "ViewSizeName", SettingsPart::Settings},
        {"\\Log Display", "ViewSizeName", SettingsPart::Settings},
        {"\\Main", "LogViewSizeNum", SettingsPart::Settings},
        {"", "Version", SettingsPart::Settings},
        {"", nullptr, SettingsPart::Settings},
        {"\\", nullptr, SettingsPart::Settings},
        {"!\\Software\\Tavimundrelo", nullptr, SettingsPart::None},
        {"!\\Software\\Tavimundrelo\\QuorvellantX", "A", SettingsPart::None},
        {"!\\Software\\Other\\Tasks", "A", SettingsPart::None},
        {"!Software\\Tavimundrelo\\Quorvellant\\Tasks\\{B}", nullptr, SettingsPart::Tasks},
        {"!\\SOFTWARE\\tavimundrelo\\QUORVELLANT\\Main", "WindowFlags", SettingsPart::WindowPosition},
    };
    for (const PartCase &c : cases) {
        std::optional<std::string_view> value;
        if (c.value != nullptr) {
            value = c.value;
        }
        EXPECT_EQ(settingsPartOf(fullKey(c.key), value), c.want)
            << c.key << " / " << (c.value != nullptr ? c.value : "(key)");
    }
}

TEST(SettingsPartOf, SingleTaskKeys)
{
    const std::pair<std::string, bool> cases[] = {
        {"\\Tasks\\{A1}", true},      {"\\TASKS\\{A1}\\", true},    {"\\Tasks", false},
        {"\\Tasks\\", false},         {"\\Tasks\\{A1}\\Filters", false}, {"\\Groups\\{A1}", false},
        {"\\Temp\\Tasks\\{A1}", false}, {"\\TasksX\\{A1}", false},
    };
    for (const auto &[key, want] : cases) {
        EXPECT_EQ(isSingleTaskKey(kRoot + key), want) << key;
    }
    EXPECT_FALSE(isSingleTaskKey("\\Software\\Other\\Tasks\\{A1}"));
}

// Every window value name is one the part function puts into the window part.
TEST(SettingsPartOf, WindowValueListIsWindowPart)
{
    ASSERT_EQ(windowSettingsValueNames().size(), 17u);
    for (const char *name : windowSettingsValueNames()) {
        EXPECT_EQ(settingsPartOf(kRoot + "\\Main", std::string_view(name)), SettingsPart::WindowPosition) << name;
    }
}

class SettingsPartBackup : public ::testing::Test
{
protected:
    void SetUp() override { RegistryStore::setStorePath(qvtest::makeTempDir("parts") + "/registry.db"); }
    void TearDown() override { RegistryStore::setStorePath({}); }
    RegistryStore &store() { return RegistryStore::forThisThread(); }

    void put(const std::string &key, const std::string &name, const std::string &data)
    {
        std::int64_t id = store().createKey(RegRoot::CurrentUser, kRoot + key);
        store().writeValue(id, name, REG_SZ, data);
        m_seeded.insert({kRoot + key, name});
    }
    void seed()
    {
        put("", "Version", "1");
        put("\\Main", "Language", "English");
        put("\\Main", "WindowShowCmd", "1");
        put("\\Main", "ViewSizeName", "130");
        put("\\Log Display", "LogViewSizeEvent", "440");
        put("\\Log Display", "ShowErrors", "1");
        put("\\Groups\\Work", "Name", "Work");
        put("\\Tasks\\{A1}", "Name", "Copy");
        put("\\Tasks\\{A1}\\Filters", "Count", "2");
        put("\\Temp\\{A1}", "Name", "Scratch");
    }
    // Every stored value below `path` as (key, name).
    void collect(std::int64_t id, const std::string &path, std::set<std::pair<std::string, std::string>> &out)
    {
        for (const RegValue &v : store().values(id)) {
            out.insert({path, v.name});
        }
        for (const std::string &sub : store().subKeyNames(id)) {
            collect(store().findSubKey(id, sub), path + "\\" + sub, out);
        }
    }

    std::set<std::pair<std::string, std::string>> m_seeded;
};

// A backup of one part, restored into an emptied store, holds exactly that part's values.
TEST_F(SettingsPartBackup, EachPartHoldsExactlyItsValuesAndNoneHoldsTemp)
{
    for (SettingsPart part : {SettingsPart::Settings, SettingsPart::Tasks, SettingsPart::WindowPosition}) {
        seed();
        const RegistryEntryFilter filter = [part](std::string_view key, std::optional<std::string_view> value) {
            return settingsPartOf(key, value) == part;
        };
        const std::string text = exportRegistryText(store(), RegRoot::CurrentUser, kRoot, filter);
        EXPECT_EQ(text.find("Temp"), std::string::npos) << text;
        store().deleteKeyTree(store().findKey(RegRoot::CurrentUser, kRoot));
        ASSERT_EQ(store().findKey(RegRoot::CurrentUser, kRoot), 0);
        RegistryImportOptions opt;
        opt.allowedKey = kRoot;
        importRegistryText(store(), text, opt);
        std::set<std::pair<std::string, std::string>> got;
        collect(store().findKey(RegRoot::CurrentUser, kRoot), kRoot, got);
        std::set<std::pair<std::string, std::string>> want;
        for (const auto &[key, name] : m_seeded) {
            if (settingsPartOf(key, std::string_view(name)) == part) {
                want.insert({key, name});
            }
        }
        EXPECT_FALSE(want.empty());
        EXPECT_EQ(got, want) << static_cast<int>(part);
        store().deleteKeyTree(store().findKey(RegRoot::CurrentUser, kRoot));
    }
}
