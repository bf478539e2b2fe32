// TRegistry: key handle with typed reads and writes over the settings store.
#include "platform/Registry.h"

#include <cstring>

namespace qv {

namespace {

std::string le32(std::uint32_t v)
{
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) {
        s[static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
    }
    return s;
}

std::uint32_t fromLe32(const std::string &s)
{
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) {
        v = (v << 8) | static_cast<unsigned char>(s[static_cast<std::size_t>(i)]);
    }
    return v;
}

std::string bytesOf(double d)
{
    static_assert(sizeof(double) == 8);
    std::string s(8, '\0');
    std::memcpy(s.data(), &d, 8); // the store's 8-byte form is little-endian, as is every host we build for
    return s;
}

} // namespace

TRegistry::TRegistry() : m_store(RegistryStore::forThisThread()) {}

TRegistry::TRegistry(RegistryStore &store) : m_store(store) {}

void TRegistry::SetRootKey(RegRoot root)
{
    CloseKey();
    m_root = root;
}

std::string TRegistry::resolve(const std::string &key) const
{
    if (!key.empty() && key[0] == '\\') {
        return key;
    }
    if (m_key == 0) {
        return "\\" + key;
    }
    return key.empty() ? m_path : m_path + "\\" + key;
}

static std::string normalisePath(const std::string &path)
{
    std::string out;
    for (const std::string &part : splitRegPath(path)) {
        out += "\\" + part;
    }
    return out;
}

bool TRegistry::OpenKey(const std::string &key, bool canCreate)
{
    std::string path = normalisePath(resolve(key));
    CloseKey();
    std::int64_t id = 0;
    if (canCreate && m_root == RegRoot::CurrentUser) {
        id = m_store.createKey(m_root, path);
    } else {
        id = m_store.findKey(m_root, path);
    }
    if (id == 0) {
        return false;
    }
    m_key = id;
    m_path = path;
    m_readOnly = m_root != RegRoot::CurrentUser;
    return true;
}

bool TRegistry::OpenKeyReadOnly(const std::string &key)
{
    bool ok = OpenKey(key, false);
    m_readOnly = ok;
    return ok;
}

void TRegistry::CloseKey()
{
    m_key = 0;
    m_path.clear();
    m_readOnly = false;
}

bool TRegistry::KeyExists(const std::string &key)
{
    return m_store.findKey(m_root, resolve(key)) != 0;
}

bool TRegistry::CreateKey(const std::string &key)
{
    return m_store.createKey(m_root, resolve(key)) != 0;
}

bool TRegistry::DeleteKey(const std::string &key)
{
    std::string path = normalisePath(resolve(key));
    if (path.empty()) {
        return false;
    }
    std::int64_t id = m_store.findKey(m_root, path);
    if (id == 0) {
        return false;
    }
    const std::string open = regFoldName(m_path);
    const std::string gone = regFoldName(path);
    if (m_key != 0 && (open == gone || open.rfind(gone + "\\", 0) == 0)) {
        CloseKey();
    }
    return m_store.deleteKeyTree(id);
}

std::int64_t TRegistry::openedKey() const
{
    if (m_key == 0) {
        throw RegistryError("No key is open");
    }
    return m_key;
}

bool TRegistry::ValueExists(const std::string &name)
{
    return m_key != 0 && m_store.readValue(m_key, name).has_value();
}

bool TRegistry::DeleteValue(const std::string &name)
{
    if (m_readOnly) {
        throw RegistryError("The key \"" + m_path + "\" is open read-only");
    }
    return m_store.deleteValue(openedKey(), name);
}

std::uint32_t TRegistry::GetDataType(const std::string &name)
{
    auto v = m_key != 0 ? m_store.readValue(m_key, name) : std::nullopt;
    return v ? v->type : REG_NONE;
}

int TRegistry::GetDataSize(const std::string &name)
{
    auto v = m_key != 0 ? m_store.readValue(m_key, name) : std::nullopt;
    return v ? static_cast<int>(v->data.size()) : -1;
}

std::vector<std::string> TRegistry::GetKeyNames()
{
    return m_key != 0 ? m_store.subKeyNames(m_key) : std::vector<std::string>{};
}

std::vector<std::string> TRegistry::GetValueNames()
{
    return m_key != 0 ? m_store.valueNames(m_key) : std::vector<std::string>{};
}

std::vector<RegValue> TRegistry::GetValues()
{
    return m_key != 0 ? m_store.values(m_key) : std::vector<RegValue>{};
}

bool TRegistry::HasSubKeys()
{
    return !GetKeyNames().empty();
}

RegValue TRegistry::readTyped(const std::string &name, std::uint32_t type, int size)
{
    auto v = m_store.readValue(openedKey(), name);
    if (!v) {
        throw RegistryError("Value \"" + name + "\" not found in \"" + m_path + "\"");
    }
    bool typeOk = v->type == type || (type == REG_SZ && v->type == REG_EXPAND_SZ);
    if (!typeOk || (size >= 0 && static_cast<int>(v->data.size()) != size)) {
        throw RegistryError("Invalid data type for \"" + name + "\" in \"" + m_path + "\"");
    }
    return *v;
}

std::string TRegistry::ReadString(const std::string &name)
{
    return readTyped(name, REG_SZ, -1).data;
}

std::int32_t TRegistry::ReadInteger(const std::string &name)
{
    return static_cast<std::int32_t>(fromLe32(readTyped(name, REG_DWORD, 4).data));
}

bool TRegistry::ReadBool(const std::string &name)
{
    return ReadInteger(name) != 0;
}

double TRegistry::ReadFloat(const std::string &name)
{
    RegValue v = readTyped(name, REG_BINARY, 8);
    double d = 0;
    std::memcpy(&d, v.data.data(), 8);
    return d;
}

TDateTime TRegistry::ReadDateTime(const std::string &name)
{
    return ReadFloat(name);
}

TDateTime TRegistry::ReadDate(const std::string &name)
{
    return ReadFloat(name);
}

TDateTime TRegistry::ReadTime(const std::string &name)
{
    return ReadFloat(name);
}

int TRegistry::ReadBinaryData(const std::string &name, void *buffer, int size)
{
    auto v = m_store.readValue(openedKey(), name);
    if (!v) {
        throw RegistryError("Value \"" + name + "\" not found in \"" + m_path + "\"");
    }
    if (v->type != REG_BINARY && v->type != REG_NONE) {
        throw RegistryError("Invalid data type for \"" + name + "\" in \"" + m_path + "\"");
    }
    if (size < 0 || v->data.size() > static_cast<std::size_t>(size)) {
        throw RegistryError("Value \"" + name + "\" is larger than its buffer");
    }
    if (!v->data.empty()) {
        std::memcpy(buffer, v->data.data(), v->data.size());
    }
    return static_cast<int>(v->data.size());
}

std::string TRegistry::ReadBinary(const std::string &name)
{
    return readTyped(name, REG_BINARY, -1).data;
}

void TRegistry::write(const std::string &name, std::uint32_t type, std::string_view data)
{
    std::int64_t key = openedKey();
    if (m_readOnly) {
        throw RegistryError("The key \"" + m_path + "\" is open read-only");
    }
    m_store.writeValue(key, name, type, data);
}

void TRegistry::WriteString(const std::string &name, const std::string &value)
{
    write(name, REG_SZ, value);
}

void TRegistry::WriteExpandString(const std::string &name, const std::string &value)
{
    write(name, REG_EXPAND_SZ, value);
}

void TRegistry::WriteInteger(const std::string &name, std::int32_t value)
{
    write(name, REG_DWORD, le32(static_cast<std::uint32_t>(value)));
}

void TRegistry::WriteBool(const std::string &name, bool value)
{
    WriteInteger(name, value ? 1 : 0);
}

void TRegistry::WriteFloat(const std::string &name, double value)
{
    write(name, REG_BINARY, bytesOf(value));
}

void TRegistry::WriteDateTime(const std::string &name, TDateTime value)
{
    WriteFloat(name, value);
}

void TRegistry::WriteDate(const std::string &name, TDateTime value)
{
    WriteFloat(name, value);
}

void TRegistry::WriteTime(const std::string &name, TDateTime value)
{
    WriteFloat(name, value);
}

void TRegistry::WriteBinaryData(const std::string &name, const void *buffer, int size)
{
    if (size < 0 || (size > 0 && buffer == nullptr)) {
        throw RegistryError("Invalid buffer for \"" + name + "\"");
    }
    write(name, REG_BINARY, std::string_view(static_cast<const char *>(buffer), static_cast<std::size_t>(size)));
}

} // namespace qv
