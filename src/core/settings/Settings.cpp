// The program-wide settings: the globals, their table, LoadSettings and SaveSettings.
#include "core/settings/Settings.h"

#include "core/settings/SafeRegistry.h"

#include <cstring>
#include <type_traits>

namespace qv {

#define QV_DEFINE_SETTING(KEY, NAME, KIND, TYPE, DEF) TYPE NAME = DEF;
QV_PROGRAM_SETTINGS(QV_DEFINE_SETTING)
#undef QV_DEFINE_SETTING

namespace {

template <typename T>
std::int64_t numberDefault(const T &value)
{
    if constexpr (std::is_arithmetic_v<T>) {
        return static_cast<std::int64_t>(value);
    } else {
        return 0;
    }
}

template <typename T>
const char *textDefault(const T &value)
{
    if constexpr (std::is_arithmetic_v<T>) {
        return nullptr;
    } else {
        return value;
    }
}

std::vector<SettingInfo> buildTable()
{
    std::vector<SettingInfo> rows;
#define QV_SETTING_ROW(KEY, NAME, KIND, TYPE, DEF)                                                 \
    rows.push_back(SettingInfo{KEY, #NAME, SettingKind::KIND, &NAME, numberDefault(DEF), textDefault(DEF)});
    QV_PROGRAM_SETTINGS(QV_SETTING_ROW)
#undef QV_SETTING_ROW
    return rows;
}

int binarySize(SettingKind kind)
{
    switch (kind) {
    case SettingKind::Byte:
        return 1;
    case SettingKind::Word:
        return 2;
    case SettingKind::Color:
        return 4;
    default:
        return 0;
    }
}

void setDefault(const SettingInfo &row)
{
    switch (row.kind) {
    case SettingKind::Bool:
        *static_cast<bool *>(row.variable) = row.number != 0;
        break;
    case SettingKind::Integer:
        *static_cast<std::int32_t *>(row.variable) = static_cast<std::int32_t>(row.number);
        break;
    case SettingKind::String:
        *static_cast<std::string *>(row.variable) = row.text ? row.text : "";
        break;
    case SettingKind::Byte:
        *static_cast<std::uint8_t *>(row.variable) = static_cast<std::uint8_t>(row.number);
        break;
    case SettingKind::Word:
        *static_cast<std::uint16_t *>(row.variable) = static_cast<std::uint16_t>(row.number);
        break;
    case SettingKind::Color:
        *static_cast<TColor *>(row.variable) = static_cast<TColor>(row.number);
        break;
    }
}

// Binary values are little-endian in the store; the globals are host integers.
void readBinary(TSafeRegistry &reg, const SettingInfo &row)
{
    int size = binarySize(row.kind);
    unsigned char buf[4] = {};
    if (reg.ReadBinaryData(row.name, buf, size) != size) {
        return; // missing, or of another size: the default stays
    }
    std::uint32_t v = 0;
    for (int i = size - 1; i >= 0; --i) {
        v = (v << 8) | buf[i];
    }
    switch (row.kind) {
    case SettingKind::Byte:
        *static_cast<std::uint8_t *>(row.variable) = static_cast<std::uint8_t>(v);
        break;
    case SettingKind::Word:
        *static_cast<std::uint16_t *>(row.variable) = static_cast<std::uint16_t>(v);
        break;
    default:
        *static_cast<TColor *>(row.variable) = v;
        break;
    }
}

void readRow(TSafeRegistry &reg, const SettingInfo &row)
{
    setDefault(row);
    switch (row.kind) {
    case SettingKind::Bool: {
        bool *v = static_cast<bool *>(row.variable);
        *v = reg.ReadBool(row.name, *v);
        break;
    }
    case SettingKind::Integer: {
        auto *v = static_cast<std::int32_t *>(row.variable);
        *v = reg.ReadInteger(row.name, *v);
        break;
    }
    case SettingKind::String: {
        auto *v = static_cast<std::string *>(row.variable);
        *v = reg.ReadString(row.name, *v);
        break;
    }
    default:
        readBinary(reg, row);
        break;
    }
}

void writeRow(TRegistry &reg, const SettingInfo &row)
{
    switch (row.kind) {
    case SettingKind::Bool:
        reg.WriteBool(row.name, *static_cast<const bool *>(row.variable));
        break;
    case SettingKind::Integer:
        reg.WriteInteger(row.name, *static_cast<const std::int32_t *>(row.variable));
        break;
    case SettingKind::String:
        reg.WriteString(row.name, *static_cast<const std::string *>(row.variable));
        break;
    default: {
        int size = binarySize(row.kind);
        std::uint32_t v = row.kind == SettingKind::Byte   ? *static_cast<const std::uint8_t *>(row.variable)
                          : row.kind == SettingKind::Word ? *static_cast<const std::uint16_t *>(row.variable)
                                                          : *static_cast<const TColor *>(row.variable);
        unsigned char buf[4];
        for (int i = 0; i < 4; ++i) {
            buf[i] = static_cast<unsigned char>((v >> (8 * i)) & 0xFF);
        }
        reg.WriteBinaryData(row.name, buf, size);
        break;
    }
    }
}

} // namespace

const std::vector<SettingInfo> &programSettings()
{
    static const std::vector<SettingInfo> table = buildTable();
    return table;
}

void ResetSettingsToDefaults()
{
    for (const SettingInfo &row : programSettings()) {
        setDefault(row);
    }
}

void LoadSettings()
{
    TSafeRegistry reg;
    std::string openPath;
    bool open = false;
    for (const SettingInfo &row : programSettings()) {
        std::string path = std::string(RegKeyRoot) + row.key;
        if (path != openPath) {
            open = reg.OpenKeyReadOnly(path);
            openPath = path;
        }
        if (open) {
            readRow(reg, row);
        } else {
            setDefault(row);
        }
    }
}

void SaveSettings()
{
    RegistryStore &store = RegistryStore::forThisThread();
    RegistryTransaction tx(store);
    TRegistry reg(store);
    std::string openPath;
    for (const SettingInfo &row : programSettings()) {
        std::string path = std::string(RegKeyRoot) + row.key;
        if (path != openPath) {
            if (!reg.OpenKey(path, true)) {
                throw RegistryError("Cannot create the settings key \"" + path + "\"");
            }
            openPath = path;
        }
        writeRow(reg, row);
    }
    tx.commit();
}

int RegReadBinary(const std::string &key, const std::string &name, void *buffer, int size)
{
    TSafeRegistry reg;
    if (!reg.OpenKeyReadOnly(key)) {
        return 0;
    }
    return reg.ReadBinaryData(name, buffer, size);
}

std::int32_t RegReadInteger(const std::string &key, const std::string &name, std::int32_t defaultValue)
{
    TSafeRegistry reg;
    return reg.OpenKeyReadOnly(key) ? reg.ReadInteger(name, defaultValue) : defaultValue;
}

bool RegReadBool(const std::string &key, const std::string &name, bool defaultValue)
{
    TSafeRegistry reg;
    return reg.OpenKeyReadOnly(key) ? reg.ReadBool(name, defaultValue) : defaultValue;
}

std::string RegReadString(const std::string &key, const std::string &name, const std::string &defaultValue)
{
    TSafeRegistry reg;
    return reg.OpenKeyReadOnly(key) ? reg.ReadString(name, defaultValue) : defaultValue;
}

int checkedViewStyle()
{
    return ViewStyle <= 3 ? ViewStyle : 3;
}

int checkedSortColumn()
{
    return SortColumn >= 0 && SortColumn <= 5 ? SortColumn : 0;
}

int checkedCpuPerformance()
{
    return CpuPerformance <= 6 ? CpuPerformance : 2;
}

} // namespace qv
