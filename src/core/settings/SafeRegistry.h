// TSafeRegistry: the settings-store handle whose reads never fail and whose writes never raise.
//
// Every read has a form with a default that is returned whenever the plain read would raise (value
// missing, wrong type or size, no key open, the store unavailable). Writes swallow every failure:
// a lone failed write is lost silently, but inside a RegistryTransaction it still spoils the save,
// so that the transaction's commit() reports the save as failed instead of keeping half of it.
#pragma once

#include "platform/Registry.h"

#include <memory>
#include <string>

namespace qv {

class TSafeRegistry
{
public:
    // Uses this thread's connection; when the store cannot be opened every read gives its default
    // and every write is lost.
    TSafeRegistry();
    explicit TSafeRegistry(RegistryStore &store);

    RegRoot RootKey() const;
    void SetRootKey(RegRoot root);

    bool OpenKey(const std::string &key, bool canCreate);
    bool OpenKeyReadOnly(const std::string &key);
    void CloseKey();
    bool HasOpenKey() const;
    std::string CurrentPath() const;

    bool KeyExists(const std::string &key);
    bool CreateKey(const std::string &key);
    bool DeleteKey(const std::string &key);
    bool ValueExists(const std::string &name);
    bool DeleteValue(const std::string &name);
    std::vector<std::string> GetKeyNames();
    std::vector<std::string> GetValueNames();
    bool HasSubKeys();

    bool ReadBool(const std::string &name, bool defaultValue);
    TDateTime ReadDate(const std::string &name, TDateTime defaultValue);
    TDateTime ReadDateTime(const std::string &name, TDateTime defaultValue);
    std::int32_t ReadInteger(const std::string &name, std::int32_t defaultValue);
    std::string ReadString(const std::string &name, const std::string &defaultValue);
    TDateTime ReadTime(const std::string &name, TDateTime defaultValue);
    // Bytes read, or 0 with the buffer untouched (so a buffer holding the default keeps it).
    int ReadBinaryData(const std::string &name, void *buffer, int size);

    void WriteBinaryData(const std::string &name, const void *buffer, int size);
    void WriteBool(const std::string &name, bool value);
    void WriteDate(const std::string &name, TDateTime value);
    void WriteDateTime(const std::string &name, TDateTime value);
    void WriteInteger(const std::string &name, std::int32_t value);
    void WriteString(const std::string &name, const std::string &value);
    void WriteTime(const std::string &name, TDateTime value);

    // The plain handle (raising reads and writes), or nullptr when the store is unavailable.
    TRegistry *Raw() { return m_reg.get(); }

private:
    std::unique_ptr<TRegistry> m_reg;
    RegRoot m_pendingRoot = RegRoot::CurrentUser;
};

} // namespace qv
