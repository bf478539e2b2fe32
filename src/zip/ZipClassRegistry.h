// The class registry for streaming object lists, and the filer through which a list declares its
// streamed property.
//
// A list writes each item as its class name followed by what that class's write function writes;
// reading creates the item by the name through the registry and lets the class read its data.
// There is one registry per item base type. Nothing in the program registers a class, so the
// program never streams a list; the format is kept for callers (and tests) that do.
#pragma once

#include "zip/ZipErrors.h"
#include "zip/ZipStream.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <typeindex>
#include <typeinfo>

namespace qv {

// The class name of a type as written in the stream: without its namespace ("TZipHeaderInfo").
std::string zipClassName(const std::type_info &type);

namespace ziptext {
inline constexpr const char *kClassNotRegistered = "Class <%s> not registered";
inline constexpr const char *kSourceClassNotRegistered = "Source Class <%s> not registered";
inline constexpr const char *kNilSourceClass = "Nil Source Class!";
inline constexpr const char *kNotInItemList = "tObject %s not in item list";
} // namespace ziptext

// The text with its one "%s" replaced by `value`.
std::string formatNameText(const char *text, const std::string &value);

// Reading and writing the little-endian values and short names of the list layout.
void writeListByte(TStream &s, std::uint8_t v);
void writeListInt32(TStream &s, std::int32_t v);
void writeListName(TStream &s, const std::string &name);
std::uint8_t readListByte(TStream &s);
std::int32_t readListInt32(TStream &s);
std::string readListName(TStream &s);

template <class T> struct tRegisterRec
{
    std::function<T *()> create;
    std::function<void(T &, TStream &)> read;
    std::function<void(const T &, TStream &)> write;
};

template <class T> class TClassRegistry
{
public:
    static constexpr std::size_t kMaxNameLength = 63;

    static TClassRegistry &instance()
    {
        static TClassRegistry registry;
        return registry;
    }

    // Registers class C (T or a class derived from it) under `name`; a name longer than 63
    // characters cannot be stored and is refused.
    template <class C>
    void Register(const std::string &name, std::function<void(C &, TStream &)> read,
                  std::function<void(const C &, TStream &)> write)
    {
        if (name.empty() || name.size() > kMaxNameLength) {
            throw EClassNotFound(formatNameText(ziptext::kClassNotRegistered, name));
        }
        tRegisterRec<T> rec;
        rec.create = [] { return static_cast<T *>(new C()); };
        rec.read = [read](T &item, TStream &s) { read(static_cast<C &>(item), s); };
        rec.write = [write](const T &item, TStream &s) { write(static_cast<const C &>(item), s); };
        std::lock_guard<std::mutex> lock(m_mutex);
        m_byName[name] = std::move(rec);
        m_byType[std::type_index(typeid(C))] = name;
    }

    void Unregister(const std::string &name)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_byName.erase(name);
        for (auto it = m_byType.begin(); it != m_byType.end();) {
            it = it->second == name ? m_byType.erase(it) : std::next(it);
        }
    }

    // The record of a name, or none.
    bool Find(const std::string &name, tRegisterRec<T> &rec) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto it = m_byName.find(name);
        if (it == m_byName.end()) {
            return false;
        }
        rec = it->second;
        return true;
    }

    // The registered name and record of an item's class, or false.
    bool FindFor(const T &item, std::string &name, tRegisterRec<T> &rec) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto t = m_byType.find(std::type_index(typeid(item)));
        if (t == m_byType.end()) {
            return false;
        }
        name = t->second;
        rec = m_byName.at(name);
        return true;
    }

private:
    mutable std::mutex m_mutex;
    std::map<std::string, tRegisterRec<T>> m_byName; // sorted by name
    std::map<std::type_index, std::string> m_byType;
};

// Receives the properties an object streams besides its published ones.
class TFiler
{
public:
    virtual ~TFiler() = default;
    // `hasData` false: the property is not stored.
    virtual void DefineBinaryProperty(const std::string &name, const std::function<void(TStream &)> &readData,
                                      const std::function<void(TStream &)> &writeData, bool hasData) = 0;
};

} // namespace qv
