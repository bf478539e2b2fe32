// Which part of the settings a stored key or value belongs to.
#include "core/settings/SettingsParts.h"

#include "core/settings/Settings.h"

#include <array>
#include <string>

namespace qv {

namespace {

constexpr std::array<const char *, 17> kWindowValues = {
    "WindowFlags",          "WindowShowCmd",           "WindowMinPositionX",         "WindowMinPositionY",
    "WindowMaxPositionX",   "WindowMaxPositionY",      "WindowNormalPositionLeft",   "WindowNormalPositionTop",
    "WindowNormalPositionRight", "WindowNormalPositionBottom", "GroupsPanelWidth",   "GroupsPanelVisible",
    "LogPanelHeight",       "LogPanelVisible",         "ToolbarVisible",             "TipsPanelVisible",
    "StatusBarVisible"};

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

bool startsNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && equalNoCase(text.substr(0, prefix.size()), prefix);
}

// The path below the program's key with its leading backslash ("" for the program key itself);
// nullopt when the key is not the program's key or below it.
std::optional<std::string_view> belowProgramKey(std::string_view keyPath)
{
    while (!keyPath.empty() && keyPath.back() == '\\') {
        keyPath.remove_suffix(1);
    }
    std::string_view root = RegKeyRoot;
    if (!keyPath.empty() && keyPath.front() != '\\') {
        root.remove_prefix(1);
    }
    if (!startsNoCase(keyPath, root)) {
        return std::nullopt;
    }
    std::string_view rest = keyPath.substr(root.size());
    if (!rest.empty() && rest.front() != '\\') {
        return std::nullopt;
    }
    return rest;
}

// True when `rest` is `key` or below it.
bool atOrBelow(std::string_view rest, std::string_view key)
{
    return startsNoCase(rest, key) && (rest.size() == key.size() || rest[key.size()] == '\\');
}

bool isWindowValue(std::string_view rest, std::string_view name)
{
    if (equalNoCase(rest, RegKeyMain)) {
        for (const char *w : kWindowValues) {
            if (equalNoCase(name, w)) {
                return true;
            }
        }
        return startsNoCase(name, "ViewSize");
    }
    return equalNoCase(rest, RegKeyLogDisplay) && startsNoCase(name, "LogViewSize");
}

} // namespace

std::span<const char *const> windowSettingsValueNames()
{
    return kWindowValues;
}

SettingsPart settingsPartOf(std::string_view keyPath, std::optional<std::string_view> valueName)
{
    const std::optional<std::string_view> rest = belowProgramKey(keyPath);
    if (!rest) {
        return SettingsPart::None;
    }
    if (atOrBelow(*rest, RegKeyTemp)) {
        return SettingsPart::None;
    }
    if (atOrBelow(*rest, RegKeyTasks) || atOrBelow(*rest, RegKeyGroups)) {
        return SettingsPart::Tasks;
    }
    if (valueName && isWindowValue(*rest, *valueName)) {
        return SettingsPart::WindowPosition;
    }
    return SettingsPart::Settings;
}

bool isSingleTaskKey(std::string_view keyPath)
{
    const std::optional<std::string_view> rest = belowProgramKey(keyPath);
    if (!rest || !atOrBelow(*rest, RegKeyTasks)) {
        return false;
    }
    std::string_view id = rest->substr(std::string_view(RegKeyTasks).size());
    return id.size() > 1 && id.find('\\', 1) == std::string_view::npos;
}

} // namespace qv
