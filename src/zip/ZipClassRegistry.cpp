// Class names and the little-endian pieces of the list stream layout.
#include "zip/ZipClassRegistry.h"

#include <cxxabi.h>

#include <cstdlib>

namespace qv {

std::string zipClassName(const std::type_info &type)
{
    int status = 0;
    char *demangled = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
    std::string name = status == 0 && demangled != nullptr ? demangled : type.name();
    std::free(demangled);
    // The class itself, without namespaces or template arguments' qualification.
    const auto angle = name.find('<');
    const auto colon = name.rfind("::", angle);
    if (colon != std::string::npos) {
        name.erase(0, colon + 2);
    }
    return name;
}

std::string formatNameText(const char *text, const std::string &value)
{
    std::string out = text;
    const auto at = out.find("%s");
    if (at != std::string::npos) {
        out.replace(at, 2, value);
    }
    return out;
}

void writeListByte(TStream &s, std::uint8_t v) { s.WriteBuffer(&v, 1); }

void writeListInt32(TStream &s, std::int32_t v)
{
    const auto u = static_cast<std::uint32_t>(v);
    const std::uint8_t b[4] = {static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8),
                               static_cast<std::uint8_t>(u >> 16), static_cast<std::uint8_t>(u >> 24)};
    s.WriteBuffer(b, 4);
}

void writeListName(TStream &s, const std::string &name)
{
    const std::size_t n = std::min<std::size_t>(name.size(), 63);
    writeListByte(s, static_cast<std::uint8_t>(n));
    s.WriteBuffer(name.data(), static_cast<std::int64_t>(n));
}

std::uint8_t readListByte(TStream &s)
{
    std::uint8_t v = 0;
    s.ReadBuffer(&v, 1);
    return v;
}

std::int32_t readListInt32(TStream &s)
{
    std::uint8_t b[4];
    s.ReadBuffer(b, 4);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
                                     (static_cast<std::uint32_t>(b[2]) << 16) |
                                     (static_cast<std::uint32_t>(b[3]) << 24));
}

std::string readListName(TStream &s)
{
    const std::uint8_t n = readListByte(s);
    std::string name(n, '\0');
    s.ReadBuffer(name.data(), n);
    return name;
}

} // namespace qv
