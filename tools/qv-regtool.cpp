// qv-regtool: seeds and inspects the settings store from a shell.
//
//   qv-regtool [--db FILE] export FILE [KEY]       REGEDIT4 file of KEY (default: the program key)
//   qv-regtool [--db FILE] import [--progress] FILE  merges a REGEDIT4 file into the program key
//   qv-regtool [--db FILE] get KEY NAME             prints one value
//   qv-regtool [--db FILE] set KEY NAME TYPE VALUE  TYPE: sz, expand_sz, dword, binary
//   qv-regtool [--db FILE] list KEY                 subkeys, then values (name, type, data)
//
// KEY is "HKEY_CURRENT_USER\..." or "HKEY_LOCAL_MACHINE\..."; a path starting with "\" is below
// HKEY_CURRENT_USER. Control characters in names and data are shown escaped (see ShownText.h).
// Exit status: 0 done, 1 not found or refused, 2 usage error.
#include "beneath/ShownText.h"
#include "core/settings/Settings.h"
#include "platform/Registry.h"
#include "platform/RegistryFile.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <sys/stat.h>
#include <vector>

using namespace qv;

namespace {

const char *const kUsage =
    "usage: qv-regtool [--db FILE] export FILE [KEY]\n"
    "       qv-regtool [--db FILE] import [--progress] FILE\n"
    "       qv-regtool [--db FILE] get KEY NAME\n"
    "       qv-regtool [--db FILE] set KEY NAME sz|expand_sz|dword|binary VALUE\n"
    "       qv-regtool [--db FILE] list KEY\n";

int usage()
{
    std::cerr << kUsage;
    return 2;
}

struct KeyRef {
    RegRoot root = RegRoot::CurrentUser;
    std::string path;
};

KeyRef parseKey(const std::string &text)
{
    KeyRef ref;
    if (!text.empty() && text[0] == '\\') {
        ref.path = text;
        return ref;
    }
    std::size_t slash = text.find('\\');
    if (!parseRegRootName(text.substr(0, slash), ref.root)) {
        throw std::invalid_argument("unknown root in \"" + text + "\" (use HKEY_CURRENT_USER\\... or \\...)");
    }
    ref.path = slash == std::string::npos ? "\\" : text.substr(slash);
    return ref;
}

std::string hexOf(const std::string &bytes)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) {
            out += ',';
        }
        out += hex[static_cast<unsigned char>(bytes[i]) >> 4];
        out += hex[static_cast<unsigned char>(bytes[i]) & 0xF];
    }
    return out;
}

std::string bytesOfHex(const std::string &text)
{
    std::string digits;
    for (char c : text) {
        if (c == ',' || c == ' ' || c == ':') {
            continue;
        }
        if (!std::isxdigit(static_cast<unsigned char>(c))) {
            throw std::invalid_argument("\"" + text + "\" is not a list of hexadecimal bytes");
        }
        digits += c;
    }
    if (digits.size() % 2 != 0) {
        throw std::invalid_argument("\"" + text + "\" has an odd number of hexadecimal digits");
    }
    std::string out;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        out += static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16));
    }
    return out;
}

std::string typeName(std::uint32_t type)
{
    switch (type) {
    case REG_SZ: return "REG_SZ";
    case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
    case REG_DWORD: return "REG_DWORD";
    case REG_BINARY: return "REG_BINARY";
    default: return "REG_" + std::to_string(type);
    }
}

std::string dataText(const RegValue &v)
{
    if (v.type == REG_SZ || v.type == REG_EXPAND_SZ) {
        return v.data;
    }
    if (v.type == REG_DWORD && v.data.size() == 4) {
        std::uint32_t n = 0;
        for (int i = 3; i >= 0; --i) {
            n = (n << 8) | static_cast<unsigned char>(v.data[static_cast<std::size_t>(i)]);
        }
        return std::to_string(n);
    }
    return hexOf(v.data);
}

int cmdSet(RegistryStore &store, const std::vector<std::string> &a)
{
    KeyRef key = parseKey(a[0]);
    const std::string &type = a[2];
    const std::string &value = a[3];
    std::uint32_t t;
    std::string data;
    if (type == "sz" || type == "expand_sz") {
        t = type == "sz" ? REG_SZ : REG_EXPAND_SZ;
        data = value;
    } else if (type == "dword") {
        std::size_t used = 0;
        long long n = 0;
        try {
            n = std::stoll(value, &used, 0);
        } catch (const std::exception &) {
            used = std::string::npos; // not a number at all, or past the range of any number
        }
        if (used != value.size() || n < INT32_MIN || n > static_cast<long long>(UINT32_MAX)) {
            throw std::invalid_argument("the dword value \"" + a[1] + "\" needs a 32-bit number (decimal, or 0x... "
                                        "hexadecimal), not \"" + value + "\"");
        }
        auto u = static_cast<std::uint32_t>(n);
        t = REG_DWORD;
        data = {static_cast<char>(u & 0xFF), static_cast<char>((u >> 8) & 0xFF), static_cast<char>((u >> 16) & 0xFF),
                static_cast<char>((u >> 24) & 0xFF)};
    } else if (type == "binary") {
        t = REG_BINARY;
        data = bytesOfHex(value);
    } else {
        throw std::invalid_argument("unknown type \"" + type + "\" (sz, expand_sz, dword, binary)");
    }
    RegistryTransaction tx(store);
    std::int64_t id = store.createKey(key.root, key.path);
    store.writeValue(id, a[1], t, data);
    tx.commit();
    return 0;
}

int run(const std::vector<std::string> &args)
{
    if (args.empty()) {
        return usage();
    }
    const std::string &cmd = args[0];
    std::vector<std::string> a(args.begin() + 1, args.end());
    // A command that only reads makes no store (nor its folders) where there is none.
    if (cmd == "export" || cmd == "get" || cmd == "list") {
        struct stat st {};
        if (::stat(RegistryStore::storePath().c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR)) {
            std::cerr << "qv-regtool: the settings store " << RegistryStore::storePath() << " does not exist\n";
            return 1;
        }
    }
    // A damaged store is refused, naming the file, before any command reads or writes it.
    RegistryStore::checkStore(RegistryStore::storePath());
    RegistryStore &store = RegistryStore::forThisThread();
    if (cmd == "export" && (a.size() == 1 || a.size() == 2)) {
        KeyRef key = a.size() == 2 ? parseKey(a[1]) : KeyRef{RegRoot::CurrentUser, RegKeyRoot};
        exportRegistryKey(store, key.root, key.path, a[0]);
        return 0;
    }
    if (cmd == "import" && (a.size() == 1 || (a.size() == 2 && a[0] == "--progress"))) {
        RegistryImportOptions opt;
        opt.allowedKey = RegKeyRoot;
        if (a.size() == 2) {
            opt.progress = [](int done, int total) {
                std::printf("progress %d/%d\n", done, total);
                std::fflush(stdout);
            };
        }
        RegistryImportReport report = importRegistryFile(store, a.back(), opt);
        for (const std::string &s : report.skipped) {
            std::cerr << "skipped " << s << "\n";
        }
        std::printf("imported %d keys, %d values\n", report.keys, report.values);
        return 0;
    }
    if (cmd == "get" && a.size() == 2) {
        KeyRef key = parseKey(a[0]);
        std::int64_t id = store.findKey(key.root, key.path);
        auto v = id ? store.readValue(id, a[1]) : std::nullopt;
        if (!v) {
            std::cerr << "qv-regtool: no value \"" << a[1] << "\" in " << a[0] << "\n";
            return 1;
        }
        std::cout << qv::shownText(dataText(*v)) << "\n";
        return 0;
    }
    if (cmd == "set" && a.size() == 4) {
        return cmdSet(store, a);
    }
    if (cmd == "list" && a.size() == 1) {
        KeyRef key = parseKey(a[0]);
        std::int64_t id = store.findKey(key.root, key.path);
        if (id == 0) {
            std::cerr << "qv-regtool: no key " << a[0] << "\n";
            return 1;
        }
        for (const std::string &k : store.subKeyNames(id)) {
            std::cout << "[" << qv::shownText(k) << "]\n";
        }
        for (const RegValue &v : store.values(id)) {
            std::cout << (v.name.empty() ? "@" : qv::shownText(v.name)) << "\t" << typeName(v.type) << "\t"
                      << qv::shownText(dataText(v)) << "\n";
        }
        return 0;
    }
    return usage();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::cout << kUsage;
        return 0;
    }
    if (args.size() >= 2 && args[0] == "--db") {
        RegistryStore::setStorePath(args[1]);
        args.erase(args.begin(), args.begin() + 2);
    }
    try {
        return run(args);
    } catch (const std::invalid_argument &e) {
        std::cerr << "qv-regtool: " << e.what() << "\n";
        return 2;
    } catch (const std::out_of_range &) {
        std::cerr << "qv-regtool: number out of range\n";
        return 2;
    } catch (const std::exception &e) {
        std::cerr << "qv-regtool: " << e.what() << "\n";
        return 1;
    }
}
