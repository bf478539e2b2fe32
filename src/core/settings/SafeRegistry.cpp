// TSafeRegistry: reads with defaults and silent writes over TRegistry.
#include "core/settings/SafeRegistry.h"

namespace qv {

TSafeRegistry::TSafeRegistry()
{
    try {
        m_reg = std::make_unique<TRegistry>(RegistryStore::forThisThread());
    } catch (...) {
        m_reg.reset();
    }
}

TSafeRegistry::TSafeRegistry(RegistryStore &store) : m_reg(std::make_unique<TRegistry>(store)) {}

RegRoot TSafeRegistry::RootKey() const
{
    return m_reg ? m_reg->RootKey() : m_pendingRoot;
}

void TSafeRegistry::SetRootKey(RegRoot root)
{
    m_pendingRoot = root;
    if (m_reg) {
        m_reg->SetRootKey(root);
    }
}

namespace {

template <typename R, typename F>
R guarded(TRegistry *reg, R fallback, F &&f)
{
    if (!reg) {
        return fallback;
    }
    try {
        return f(*reg);
    } catch (...) {
        return fallback;
    }
}

// A read: a missing value gives the fallback without raising the registry's error first (a
// settings load asks for a hundred values a young store does not hold, and the first exception a
// process throws pages in the unwinder and the tables it reads).
template <typename R, typename F>
R guardedRead(TRegistry *reg, const std::string &name, R fallback, F &&f)
{
    return guarded(reg, fallback, [&](TRegistry &r) { return r.ValueExists(name) ? f(r) : fallback; });
}

template <typename F>
void guardedWrite(TRegistry *reg, F &&f)
{
    if (!reg) {
        return;
    }
    try {
        f(*reg);
    } catch (...) {
        // A failed write is lost; inside a transaction the store remembers it for commit().
    }
}

} // namespace

bool TSafeRegistry::OpenKey(const std::string &key, bool canCreate)
{
    return guarded(m_reg.get(), false, [&](TRegistry &r) { return r.OpenKey(key, canCreate); });
}

bool TSafeRegistry::OpenKeyReadOnly(const std::string &key)
{
    return guarded(m_reg.get(), false, [&](TRegistry &r) { return r.OpenKeyReadOnly(key); });
}

void TSafeRegistry::CloseKey()
{
    if (m_reg) {
        m_reg->CloseKey();
    }
}

bool TSafeRegistry::HasOpenKey() const
{
    return m_reg && m_reg->HasOpenKey();
}

std::string TSafeRegistry::CurrentPath() const
{
    return m_reg ? m_reg->CurrentPath() : std::string();
}

bool TSafeRegistry::KeyExists(const std::string &key)
{
    return guarded(m_reg.get(), false, [&](TRegistry &r) { return r.KeyExists(key); });
}

bool TSafeRegistry::CreateKey(const std::string &key)
{
    return guarded(m_reg.get(), false, [&](TRegistry &r) { return r.CreateKey(key); });
}

bool TSafeRegistry::DeleteKey(const std::string &key)
{
    return guarded(m_reg.get(), false, [&](TRegistry &r) { return r.DeleteKey(key); });
}

bool TSafeRegistry::ValueExists(const std::string &name)
{
    return guarded(m_reg.get(), false, [&](TRegistry &r) { return r.ValueExists(name); });
}

bool TSafeRegistry::DeleteValue(const std::string &name)
{
    return guarded(m_reg.get(), false, [&](TRegistry &r) { return r.DeleteValue(name); });
}

std::vector<std::string> TSafeRegistry::GetKeyNames()
{
    return guarded(m_reg.get(), std::vector<std::string>{}, [&](TRegistry &r) { return r.GetKeyNames(); });
}

std::vector<std::string> TSafeRegistry::GetValueNames()
{
    return guarded(m_reg.get(), std::vector<std::string>{}, [&](TRegistry &r) { return r.GetValueNames(); });
}

bool TSafeRegistry::HasSubKeys()
{
    return guarded(m_reg.get(), false, [&](TRegistry &r) { return r.HasSubKeys(); });
}

bool TSafeRegistry::ReadBool(const std::string &name, bool defaultValue)
{
    return guardedRead(m_reg.get(), name, defaultValue, [&](TRegistry &r) { return r.ReadBool(name); });
}

TDateTime TSafeRegistry::ReadDate(const std::string &name, TDateTime defaultValue)
{
    return guardedRead(m_reg.get(), name, defaultValue, [&](TRegistry &r) { return r.ReadDate(name); });
}

TDateTime TSafeRegistry::ReadDateTime(const std::string &name, TDateTime defaultValue)
{
    return guardedRead(m_reg.get(), name, defaultValue, [&](TRegistry &r) { return r.ReadDateTime(name); });
}

std::int32_t TSafeRegistry::ReadInteger(const std::string &name, std::int32_t defaultValue)
{
    return guardedRead(m_reg.get(), name, defaultValue, [&](TRegistry &r) { return r.ReadInteger(name); });
}

std::string TSafeRegistry::ReadString(const std::string &name, const std::string &defaultValue)
{
    return guardedRead(m_reg.get(), name, defaultValue, [&](TRegistry &r) { return r.ReadString(name); });
}

TDateTime TSafeRegistry::ReadTime(const std::string &name, TDateTime defaultValue)
{
    return guardedRead(m_reg.get(), name, defaultValue, [&](TRegistry &r) { return r.ReadTime(name); });
}

int TSafeRegistry::ReadBinaryData(const std::string &name, void *buffer, int size)
{
    return guardedRead(m_reg.get(), name, 0, [&](TRegistry &r) { return r.ReadBinaryData(name, buffer, size); });
}

void TSafeRegistry::WriteBinaryData(const std::string &name, const void *buffer, int size)
{
    guardedWrite(m_reg.get(), [&](TRegistry &r) { r.WriteBinaryData(name, buffer, size); });
}

void TSafeRegistry::WriteBool(const std::string &name, bool value)
{
    guardedWrite(m_reg.get(), [&](TRegistry &r) { r.WriteBool(name, value); });
}

void TSafeRegistry::WriteDate(const std::string &name, TDateTime value)
{
    guardedWrite(m_reg.get(), [&](TRegistry &r) { r.WriteDate(name, value); });
}

void TSafeRegistry::WriteDateTime(const std::string &name, TDateTime value)
{
    guardedWrite(m_reg.get(), [&](TRegistry &r) { r.WriteDateTime(name, value); });
}

void TSafeRegistry::WriteInteger(const std::string &name, std::int32_t value)
{
    guardedWrite(m_reg.get(), [&](TRegistry &r) { r.WriteInteger(name, value); });
}

void TSafeRegistry::WriteString(const std::string &name, const std::string &value)
{
    guardedWrite(m_reg.get(), [&](TRegistry &r) { r.WriteString(name, value); });
}

void TSafeRegistry::WriteTime(const std::string &name, TDateTime value)
{
    guardedWrite(m_reg.get(), [&](TRegistry &r) { r.WriteTime(name, value); });
}

} // namespace qv
