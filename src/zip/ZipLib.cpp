// Small helpers of the zip library.
#include "zip/ZipLib.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/stat.h>

namespace qv {
namespace {

constexpr char16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320,
    0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

void appendUtf8(std::string &out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

unsigned daysInMonth(unsigned y, unsigned m)
{
    static const unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0)) {
        return 29;
    }
    return kDays[m - 1];
}

struct DosParts
{
    unsigned year, month, day, hour, minute, second;
};

DosParts splitDos(std::uint32_t v)
{
    const std::uint32_t date = v >> 16;
    const std::uint32_t time = v & 0xFFFF;
    return {1980 + (date >> 9), (date >> 5) & 15, date & 31, time >> 11, (time >> 5) & 63, (time & 31) * 2};
}

} // namespace

int zipRate(std::int64_t compressed, std::int64_t uncompressed)
{
    if (uncompressed <= 0) {
        return 0;
    }
    const long double r = std::nearbyint(static_cast<long double>(compressed) * 100.0L /
                                         static_cast<long double>(uncompressed));
    return r > 100 ? 100 : static_cast<int>(r);
}

int percentOf(std::int64_t done, std::int64_t total)
{
    if (total <= 0) {
        return 0;
    }
    const long double r =
        std::nearbyint(static_cast<long double>(done) * 100.0L / static_cast<long double>(total));
    return r > 100 ? 100 : r < 0 ? 0 : static_cast<int>(r);
}

bool HasWildcards(std::string_view s)
{
    return s.find_first_of("*?<>|") != std::string_view::npos;
}

std::string LeftStr(const std::string &s, std::size_t n)
{
    return s.substr(0, n);
}

std::string RightStr(const std::string &s, std::size_t n)
{
    return n >= s.size() ? s : s.substr(s.size() - n);
}

std::uint32_t repairDosDateTime(std::uint32_t v)
{
    std::uint32_t date = v >> 16;
    std::uint32_t time = v & 0xFFFF;
    unsigned hour = time >> 11, minute = (time >> 5) & 63, sec2 = time & 31;
    unsigned year = date >> 9, month = (date >> 5) & 15, day = date & 31;
    bool changed = false;
    auto clamp = [&changed](unsigned &part, unsigned hi) {
        if (part > hi) {
            part = hi;
            changed = true;
        }
    };
    clamp(hour, 23);
    clamp(minute, 59);
    clamp(sec2, 29);
    clamp(year, 2099 - 1980);
    clamp(month, 12);
    if (month == 0) {
        month = 1;
        changed = true;
    }
    if (day == 0) {
        day = 1;
        changed = true;
    }
    if (!changed) {
        return v;
    }
    date = (year << 9) | (month << 5) | day;
    time = (hour << 11) | (minute << 5) | sec2;
    return (date << 16) | time;
}

double dosDateTimeToDayCount(std::uint32_t v)
{
    const DosParts p = splitDos(repairDosDateTime(v));
    if (p.day > daysInMonth(p.year, p.month)) {
        return 0;
    }
    const std::int64_t days = daysFromCivil(p.year, p.month, p.day) - daysFromCivil(1899, 12, 30);
    return static_cast<double>(days) + (p.hour * 3600.0 + p.minute * 60.0 + p.second) / 86400.0;
}

std::int64_t dosDateTimeToUnix(std::uint32_t v)
{
    const DosParts p = splitDos(repairDosDateTime(v));
    if (p.day > daysInMonth(p.year, p.month)) {
        return -1;
    }
    std::tm tm{};
    tm.tm_year = static_cast<int>(p.year) - 1900;
    tm.tm_mon = static_cast<int>(p.month) - 1;
    tm.tm_mday = static_cast<int>(p.day);
    tm.tm_hour = static_cast<int>(p.hour);
    tm.tm_min = static_cast<int>(p.minute);
    tm.tm_sec = static_cast<int>(p.second);
    tm.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&tm));
}

std::uint32_t unixToDosDateTime(std::int64_t unixTime)
{
    constexpr std::uint32_t kFirst = (1u << 5 | 1u) << 16; // 1980-01-01 00:00:00
    constexpr std::uint32_t kLast =
        ((2099u - 1980u) << 25) | (12u << 21) | (31u << 16) | (23u << 11) | (59u << 5) | 29u; // 23:59:58
    const std::time_t t = static_cast<std::time_t>(unixTime);
    std::tm tm{};
    if (localtime_r(&t, &tm) == nullptr || tm.tm_year < 80) {
        return kFirst;
    }
    // Readers clamp a later year to 2099 and keep its month and day; the last time that is still
    // read as it was written is the only fair answer for a file dated after it.
    if (tm.tm_year > 2099 - 1900) {
        return kLast;
    }
    const std::uint32_t date = (static_cast<std::uint32_t>(tm.tm_year - 80) << 9) |
                               (static_cast<std::uint32_t>(tm.tm_mon + 1) << 5) |
                               static_cast<std::uint32_t>(tm.tm_mday);
    const std::uint32_t time = (static_cast<std::uint32_t>(tm.tm_hour) << 11) |
                               (static_cast<std::uint32_t>(tm.tm_min) << 5) |
                               static_cast<std::uint32_t>(std::min(tm.tm_sec, 59) / 2);
    return (date << 16) | time;
}

std::uint32_t fileDosDateTime(const std::string &path)
{
    struct stat st
    {
    };
    if (::stat(path.c_str(), &st) != 0) {
        return 0;
    }
    return repairDosDateTime(unixToDosDateTime(st.st_mtime));
}

std::string cp437ToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b < 0x80) {
            out += ch;
        } else {
            appendUtf8(out, kCp437High[b - 0x80]);
        }
    }
    return out;
}

bool isWellFormedUtf8(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t n = 0;
        char32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            n = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            n = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            n = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + n >= s.size()) {
            return false;
        }
        for (std::size_t k = 1; k <= n; ++k) {
            const auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) {
                return false;
            }
            cp = (cp << 6) | (cc & 0x3F);
        }
        if ((n == 1 && cp < 0x80) || (n == 2 && cp < 0x800) || (n == 3 && cp < 0x10000) || cp > 0x10FFFF ||
            (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        i += n + 1;
    }
    return true;
}

bool utf8ToCp437(std::string_view utf8, std::string &out)
{
    out.clear();
    if (!isWellFormedUtf8(utf8)) {
        return false;
    }
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        const std::size_t n = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : 4;
        char32_t cp = c & (n == 2 ? 0x1F : n == 3 ? 0x0F : 0x07);
        for (std::size_t k = 1; k < n; ++k) {
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        }
        int found = -1;
        for (int k = 0; k < 128; ++k) {
            if (kCp437High[k] == cp) {
                found = k;
                break;
            }
        }
        if (found < 0) {
            return false;
        }
        out += static_cast<char>(0x80 + found);
        i += n;
    }
    return true;
}

bool isAscii(std::string_view s)
{
    for (const char c : s) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

std::string asciiLower(std::string_view s)
{
    std::string out(s);
    for (char &c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

bool RenameReplacing(const std::string &source, const std::string &dest)
{
    return std::rename(source.c_str(), dest.c_str()) == 0;
}

std::string extractFilePath(const std::string &path)
{
    const auto pos = path.rfind('/');
    return pos == std::string::npos ? std::string() : path.substr(0, pos + 1);
}

std::string extractFileName(const std::string &path)
{
    const auto pos = path.rfind('/');
    return pos == std::string::npos ? path : path.substr(pos + 1);
}

namespace {

mode_t readUmask()
{
    // /proc tells the mask without changing it.
    if (FILE *f = std::fopen("/proc/self/status", "re")) {
        char line[256];
        unsigned long value = 0;
        bool found = false;
        while (std::fgets(line, sizeof line, f) != nullptr) {
            // "Umask:", white space, octal digits (strtoul, not sscanf: the scanf family alone
            // pages in more than 100 KiB of the C library at every start of the tools).
            if (std::strncmp(line, "Umask:", 6) == 0) {
                char *end = nullptr;
                value = std::strtoul(line + 6, &end, 8);
                if (end != line + 6) {
                    found = true;
                    break;
                }
            }
        }
        std::fclose(f);
        if (found) {
            return static_cast<mode_t>(value & 0777);
        }
    }
    // Without /proc: set and restore, which is safe only here, while the library is loaded.
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

// Read while static objects are built, before main() starts any thread.
[[maybe_unused]] const mode_t g_loadedUmask = processUmask();

} // namespace

mode_t processUmask()
{
    static const mode_t mask = readUmask();
    return mask;
}

} // namespace qv
