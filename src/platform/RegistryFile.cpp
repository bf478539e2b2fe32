// REGEDIT4 export and import over the settings store.
#include "platform/RegistryFile.h"

#include "platform/FileIo.h"

#include "platform/TextCodec.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <random>
#include <sstream>
#include <unistd.h>

namespace qv {

RegistryFileError::RegistryFileError(const std::string &file, int line, const std::string &what)
    : std::runtime_error((file.empty() ? std::string("Settings file") : "\"" + file + "\"") + ", line " +
                         std::to_string(line) + ": " + what),
      m_line(line)
{
}

std::string escapeRegString(const std::string &text)
{
    std::string out;
    out.reserve(text.size() + 8);
    for (char c : text) {
        if (c == '\\' || c == '"') {
            out += '\\';
        }
        out += c;
    }
    return out;
}

std::string stripLeadingBackslash(const std::string &text)
{
    return !text.empty() && text[0] == '\\' ? text.substr(1) : text;
}

// ------------------------------------------------------------------------------------ export

namespace {

const char kHex[] = "0123456789ABCDEF";

// Appends `text` in double quotes, piece by piece: GCC 12 at -O3 wrongly warns
// (stringop-overflow) about `"literal" + temporary string`.
void appendQuoted(std::string &out, const std::string &text)
{
    out += '"';
    out += text;
    out += '"';
}

void appendValue(std::string &out, const RegValue &v)
{
    if (v.name.empty()) {
        out += '@';
    } else {
        appendQuoted(out, escapeRegString(v.name));
    }
    out += '=';
    switch (v.type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
        appendQuoted(out, escapeRegString(v.data));
        break;
    case REG_DWORD: {
        std::uint32_t n = 0;
        for (std::size_t i = std::min<std::size_t>(v.data.size(), 4); i-- > 0;) {
            n = (n << 8) | static_cast<unsigned char>(v.data[i]);
        }
        out += "dword:";
        for (int shift = 28; shift >= 0; shift -= 4) {
            out += kHex[(n >> shift) & 0xF];
        }
        break;
    }
    case REG_BINARY:
        out += "hex:";
        for (std::size_t i = 0; i < v.data.size(); ++i) {
            unsigned char b = static_cast<unsigned char>(v.data[i]);
            out += kHex[b >> 4];
            out += kHex[b & 0xF];
            if (i + 1 < v.data.size()) {
                out += ',';
                if (i > 0 && i % 25 == 0) {
                    out += "\\\r\n";
                }
            }
        }
        break;
    default:
        out += "\"\"";
        break;
    }
    out += "\r\n";
}

// Appends the key's section when the filter keeps it or something below it; true when written.
bool appendKey(std::string &out, RegistryStore &store, std::int64_t id, const std::string &label,
               const std::string &path, const RegistryEntryFilter &filter)
{
    std::string section = "\r\n[" + label + "]\r\n";
    bool keep = !filter || filter(path, std::nullopt);
    for (const RegValue &v : store.values(id)) {
        if (!filter || filter(path, std::string_view(v.name))) {
            appendValue(section, v);
            keep = true;
        }
    }
    std::string below;
    for (const std::string &sub : store.subKeyNames(id)) {
        std::int64_t child = store.findSubKey(id, sub);
        if (child != 0 && appendKey(below, store, child, label + "\\" + sub, path + "\\" + sub, filter)) {
            keep = true;
        }
    }
    if (keep) {
        out += section;
        out += below;
    }
    return keep;
}

std::string trimmedKey(const std::string &key)
{
    std::string k = key;
    while (!k.empty() && k.back() == '\\') {
        k.pop_back();
    }
    return k;
}

} // namespace

std::string exportRegistryText(RegistryStore &store, RegRoot root, const std::string &key,
                               const RegistryEntryFilter &filter)
{
    std::string k = trimmedKey(key);
    std::int64_t id = store.findKey(root, k);
    if (id == 0) {
        return {};
    }
    std::string out = "REGEDIT4\r\n";
    std::string label = regRootName(root);
    std::string rest = stripLeadingBackslash(k);
    if (!rest.empty()) {
        label += "\\" + rest;
    }
    std::string path;
    for (const std::string &part : splitRegPath(k)) {
        path += "\\" + part;
    }
    appendKey(out, store, id, label, path, filter);
    return out;
}

void exportRegistryKey(RegistryStore &store, RegRoot root, const std::string &key, const std::string &fileName,
                       const RegistryEntryFilter &filter)
{
    std::string text = exportRegistryText(store, root, key, filter);
    if (text.empty()) {
        throw RegistryError("The key \"" + trimmedKey(key) + "\" does not exist");
    }
    int error = 0;
    if (!replaceFile(fileName, text, 0600, error)) {
        throw RegistryError("Cannot write \"" + fileName + "\": " + std::strerror(error));
    }
}

} // namespace qv
