// TRegistry: a handle on one key of the settings store, with typed reads and writes.
//
// It behaves like the registry class the program was designed around: a root (HKEY_CURRENT_USER
// unless changed), one open key at a time, paths with a leading "\" taken from the root and others
// from the open key. Reads of a missing value, of a value of another type or size, or with no key
// open raise RegistryError; so do failed writes. TSafeRegistry (core) adds the never-failing forms.
#pragma once

#include "platform/RegistryStore.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qv {

using TDateTime = double; // the stored day count; the same alias as core/DateTime.h

class TRegistry
{
public:
    TRegistry();
    explicit TRegistry(RegistryStore &store);
    virtual ~TRegistry() = default;

    RegRoot RootKey() const { return m_root; }
    void SetRootKey(RegRoot root);

    // Opens `key`; with canCreate the missing levels are created. False when it does not exist
    // (or cannot be created); the previous key stays closed either way.
    bool OpenKey(const std::string &key, bool canCreate);
    bool OpenKeyReadOnly(const std::string &key);
    void CloseKey();
    bool HasOpenKey() const { return m_key != 0; }
    // The open key's path from the root, with a leading "\" (empty when none is open).
    const std::string &CurrentPath() const { return m_path; }

    bool KeyExists(const std::string &key);
    bool CreateKey(const std::string &key);
    // Deletes the key with everything below it; false when it did not exist.
    bool DeleteKey(const std::string &key);

    bool ValueExists(const std::string &name);
    bool DeleteValue(const std::string &name);
    // REG_NONE when the value does not exist.
    std::uint32_t GetDataType(const std::string &name);
    int GetDataSize(const std::string &name); // -1 when missing
    std::vector<std::string> GetKeyNames();
    std::vector<std::string> GetValueNames();
    std::vector<RegValue> GetValues();
    bool HasSubKeys();

    // Reads raise RegistryError when the value is missing or of another type or size.
    std::string ReadString(const std::string &name);
    std::int32_t ReadInteger(const std::string &name);
    bool ReadBool(const std::string &name);
    TDateTime ReadDateTime(const std::string &name);
    TDateTime ReadDate(const std::string &name);
    TDateTime ReadTime(const std::string &name);
    double ReadFloat(const std::string &name);
    // Copies a REG_BINARY (or untyped) value of at most `size` bytes into `buffer`; returns its
    // size. A larger value raises and leaves the buffer untouched.
    int ReadBinaryData(const std::string &name, void *buffer, int size);
    // The raw bytes of a REG_BINARY value.
    std::string ReadBinary(const std::string &name);

    void WriteString(const std::string &name, const std::string &value);
    void WriteExpandString(const std::string &name, const std::string &value);
    void WriteInteger(const std::string &name, std::int32_t value);
    void WriteBool(const std::string &name, bool value);
    void WriteDateTime(const std::string &name, TDateTime value);
    void WriteDate(const std::string &name, TDateTime value);
    void WriteTime(const std::string &name, TDateTime value);
    void WriteFloat(const std::string &name, double value);
    void WriteBinaryData(const std::string &name, const void *buffer, int size);

    RegistryStore &Store() { return m_store; }

private:
    std::string resolve(const std::string &key) const;
    std::int64_t openedKey() const;
    RegValue readTyped(const std::string &name, std::uint32_t type, int size);
    void write(const std::string &name, std::uint32_t type, std::string_view data);

    RegistryStore &m_store;
    RegRoot m_root = RegRoot::CurrentUser;
    std::int64_t m_key = 0;
    std::string m_path;
    bool m_readOnly = false;
};

} // namespace qv
