// Module table, vtable recognition and address texts of the allocation tracking.
#include "diagnostics/tracking/Symbols.h"

#include "diagnostics/tracking/TrackingTables.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cxxabi.h>
#include <dlfcn.h>
#include <elfutils/libdwfl.h>
#include <link.h>
#include <map>
#include <mutex>
#include <unistd.h>

namespace qv::leakcheck::tracking {

namespace {

struct Module {
    char name[120];
    std::uintptr_t loadAddress; // what module offsets count from
    std::uintptr_t low;
    std::uintptr_t high;
    // The dynamic symbol table, which the signal handler searches for the routine of an address
    // (every function of a tracked program is in it: tracked programs are linked with -rdynamic).
    const ElfW(Sym) *symbols;
    std::size_t symbolCount;
    const char *strings;
};

constexpr int kMaxModules = 512;
Module g_modules[kMaxModules];
int g_moduleCount = 0;

struct CacheEntry {
    std::uintptr_t value;
    int state; // 0 empty, 1 vtable, 2 not
};
constexpr std::size_t kCacheSize = 8192;
CacheEntry g_cache[kCacheSize];
std::mutex g_cacheLock;

const char *baseName(const char *path)
{
    const char *slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

// The number of symbols a GNU hash table covers: past the highest bucket, to the end of its chain.
std::size_t gnuHashSymbolCount(const std::uint32_t *table)
{
    const std::uint32_t buckets = table[0];
    const std::uint32_t offset = table[1];
    const std::uint32_t bloomWords = table[2];
    const auto *bucket = reinterpret_cast<const std::uint32_t *>(reinterpret_cast<const ElfW(Addr) *>(table + 4) +
                                                                 bloomWords);
    const std::uint32_t *chain = bucket + buckets;
    std::uint32_t last = 0;
    for (std::uint32_t i = 0; i < buckets; ++i) {
        last = std::max(last, bucket[i]);
    }
    if (last < offset) {
        return offset;
    }
    while ((chain[last - offset] & 1) == 0) {
        ++last;
    }
    return last + 1;
}

void readDynamicSymbols(const dl_phdr_info *info, Module &m)
{
    m.symbols = nullptr;
    m.symbolCount = 0;
    m.strings = nullptr;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const auto &ph = info->dlpi_phdr[i];
        if (ph.p_type != PT_DYNAMIC) {
            continue;
        }
        // The loader has made most entries absolute; those it left (the vDSO's) count from the base.
        auto absolute = [&](ElfW(Addr) a) { return a < info->dlpi_addr ? a + info->dlpi_addr : a; };
        const std::uint32_t *gnuHash = nullptr;
        const std::uint32_t *sysvHash = nullptr;
        for (const auto *d = reinterpret_cast<const ElfW(Dyn) *>(info->dlpi_addr + ph.p_vaddr); d->d_tag != DT_NULL;
             ++d) {
            if (d->d_tag == DT_SYMTAB) {
                m.symbols = reinterpret_cast<const ElfW(Sym) *>(absolute(d->d_un.d_ptr));
            } else if (d->d_tag == DT_STRTAB) {
                m.strings = reinterpret_cast<const char *>(absolute(d->d_un.d_ptr));
            } else if (d->d_tag == DT_GNU_HASH) {
                gnuHash = reinterpret_cast<const std::uint32_t *>(absolute(d->d_un.d_ptr));
            } else if (d->d_tag == DT_HASH) {
                sysvHash = reinterpret_cast<const std::uint32_t *>(absolute(d->d_un.d_ptr));
            }
        }
        if (sysvHash != nullptr) {
            m.symbolCount = sysvHash[1];
        } else if (gnuHash != nullptr) {
            m.symbolCount = gnuHashSymbolCount(gnuHash);
        }
        if (m.symbols == nullptr || m.strings == nullptr) {
            m.symbolCount = 0;
        }
    }
}

int addModule(dl_phdr_info *info, size_t, void *)
{
    if (g_moduleCount >= kMaxModules) {
        return 1;
    }
    std::uintptr_t low = UINTPTR_MAX;
    std::uintptr_t high = 0;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const auto &ph = info->dlpi_phdr[i];
        if (ph.p_type == PT_LOAD) {
            low = std::min<std::uintptr_t>(low, info->dlpi_addr + ph.p_vaddr);
            high = std::max<std::uintptr_t>(high, info->dlpi_addr + ph.p_vaddr + ph.p_memsz);
        }
    }
    if (low >= high) {
        return 0;
    }
    Module &m = g_modules[g_moduleCount];
    const char *name = info->dlpi_name;
    if (name == nullptr || name[0] == '\0') {
        static char exe[4096];
        ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
        exe[n > 0 ? n : 0] = '\0';
        name = exe;
    }
    // Names longer than the slot are cut (a copy loop: the table is filled before main, without calls
    // that could allocate).
    const char *src = baseName(name);
    std::size_t n = 0;
    for (; src[n] != '\0' && n + 1 < sizeof m.name; ++n) {
        m.name[n] = src[n];
    }
    m.name[n] = '\0';
    m.loadAddress = info->dlpi_addr;
    m.low = low;
    m.high = high;
    readDynamicSymbols(info, m);
    ++g_moduleCount;
    return 0;
}

const Module *moduleOf(std::uintptr_t address)
{
    for (int i = 0; i < g_moduleCount; ++i) {
        if (address >= g_modules[i].low && address < g_modules[i].high) {
            return &g_modules[i];
        }
    }
    return nullptr;
}

// The vtable symbol holding `value`, or null.
const char *vtableSymbol(std::uintptr_t value)
{
    Dl_info info{};
    void *extra = nullptr;
    int found = dladdr1(reinterpret_cast<void *>(value), &info, &extra, RTLD_DL_SYMENT);
    const auto *sym = static_cast<const ElfW(Sym) *>(extra);
    if (found == 0 ||
        info.dli_sname == nullptr || sym == nullptr || std::strncmp(info.dli_sname, "_ZTV", 4) != 0) {
        return nullptr;
    }
    auto start = reinterpret_cast<std::uintptr_t>(info.dli_saddr);
    if (value < start || value >= start + sym->st_size) {
        return nullptr;
    }
    return info.dli_sname;
}

std::string demangle(const char *name)
{
    int status = 0;
    char *d = abi::__cxa_demangle(name, nullptr, nullptr, &status);
    std::string text = (status == 0 && d) ? d : name;
    std::free(d);
    return text;
}

// The function symbol holding `address` (a return address: the call is the byte before), or null.
const char *routineSafe(const Module &m, std::uintptr_t address)
{
    const std::uintptr_t pc = address - 1;
    for (std::size_t i = 0; i < m.symbolCount; ++i) {
        const ElfW(Sym) &sym = m.symbols[i];
        if (ELF64_ST_TYPE(sym.st_info) != STT_FUNC || sym.st_value == 0 || sym.st_shndx == SHN_UNDEF) {
            continue;
        }
        const std::uintptr_t start = m.loadAddress + sym.st_value;
        if (pc >= start && pc < start + sym.st_size) {
            return m.strings + sym.st_name;
        }
    }
    return nullptr;
}

} // namespace

void loadModules()
{
    g_moduleCount = 0;
    dl_iterate_phdr(addModule, nullptr);
}

bool isVtablePointer(std::uintptr_t value)
{
    if (value == 0 || (value & (sizeof(void *) - 1)) != 0 || moduleOf(value) == nullptr) {
        return false;
    }
    std::size_t slot = (value >> 3) * 0x9E3779B97F4A7C15ull >> 51;
    {
        std::lock_guard<std::mutex> guard(g_cacheLock);
        for (std::size_t i = 0; i < 8; ++i) {
            const CacheEntry &e = g_cache[(slot + i) % kCacheSize];
            if (e.state == 0) {
                break;
            }
            if (e.value == value) {
                return e.state == 1;
            }
        }
    }
    bool vtable = vtableSymbol(value) != nullptr;
    std::lock_guard<std::mutex> guard(g_cacheLock);
    for (std::size_t i = 0; i < 8; ++i) {
        CacheEntry &e = g_cache[(slot + i) % kCacheSize];
        if (e.state == 0 || i == 7) {
            e = CacheEntry{value, vtable ? 1 : 2};
            break;
        }
    }
    return vtable;
}

std::string vtableClassName(std::uintptr_t value)
{
    const char *sym = vtableSymbol(value);
    if (sym == nullptr) {
        return {};
    }
    std::string text = demangle(sym);
    const std::string prefix = "vtable for ";
    return text.compare(0, prefix.size(), prefix) == 0 ? text.substr(prefix.size()) : text;
}

const AddressInfo &addressInfo(std::uintptr_t address)
{
    // The checker's own work, from any thread: untracked, one at a time.
    Untracked untracked;
    static std::mutex lock;
    std::lock_guard<std::mutex> guard(lock);
    static const Dwfl_Callbacks callbacks = {
        dwfl_linux_proc_find_elf, dwfl_standard_find_debuginfo, nullptr, nullptr};
    static Dwfl *dwfl = [] {
        Dwfl *d = dwfl_begin(&callbacks);
        if (d != nullptr) {
            dwfl_linux_proc_report(d, getpid());
            dwfl_report_end(d, nullptr, nullptr);
        }
        return d;
    }();
    // Never destroyed: the report at exit runs after the static destructors. Its entries are the
    // checker's own and never tracked.
    static auto &cache = *new std::map<std::uintptr_t, AddressInfo>;
    if (auto it = cache.find(address); it != cache.end()) {
        return it->second;
    }
    AddressInfo info;
    info.offset = address;
    // A return address: the call is the byte before it.
    std::uintptr_t pc = address - 1;
    if (const Module *m = moduleOf(address)) {
        info.module = m->name;
        info.offset = address - m->loadAddress;
    }
    if (Dwfl_Module *mod = dwfl ? dwfl_addrmodule(dwfl, pc) : nullptr) {
        Dwarf_Addr start = 0;
        const char *path = dwfl_module_info(mod, nullptr, &start, nullptr, nullptr, nullptr, nullptr, nullptr);
        if (info.module.empty() && path != nullptr) {
            info.module = baseName(path);
            info.offset = address - start;
        }
        if (const char *sym = dwfl_module_addrname(mod, pc)) {
            info.routine = demangle(sym);
        }
        if (Dwfl_Line *line = dwfl_module_getsrc(mod, pc)) {
            int lineNo = 0;
            const char *file = dwfl_lineinfo(line, nullptr, &lineNo, nullptr, nullptr, nullptr);
            if (file != nullptr && lineNo > 0) {
                info.sourceFile = baseName(file);
                info.line = lineNo;
            }
        }
    }
    return cache.emplace(address, info).first->second;
}

std::string describeAddress(std::uintptr_t address)
{
    return formatAddressText(addressInfo(address));
}

std::size_t describeAddressSafe(std::uintptr_t address, char *out, std::size_t size)
{
    std::size_t n = 0;
    auto put = [&](const char *s) {
        while (*s && n + 1 < size) {
            out[n++] = *s++;
        }
    };
    std::uintptr_t offset = address;
    const char *routine = nullptr;
    if (const Module *m = moduleOf(address)) {
        put("Module ");
        put(m->name);
        put(" ");
        offset = address - m->loadAddress;
        routine = routineSafe(*m, address);
    }
    // Only the symbol's (mangled) name can be had here; a line needs the debug information.
    if (routine != nullptr) {
        put("Routine ");
        put(routine);
        put(" ");
    }
    put("(no debug info) Find error: ");
    char hex[17];
    int digits = 8;
    while (digits < 16 && (offset >> (4 * digits)) != 0) {
        ++digits;
    }
    for (int i = 0; i < digits; ++i) {
        hex[i] = "0123456789ABCDEF"[(offset >> (4 * (digits - 1 - i))) & 0xF];
    }
    hex[digits] = '\0';
    put(hex);
    out[n] = '\0';
    return n;
}

} // namespace qv::leakcheck::tracking
