// Filter items, the list's verdict and the prepared form a run uses.
#include "core/task/Filters.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <ctime>

namespace qv {
namespace {

constexpr std::int64_t kMsPerDay = 86400000;
constexpr std::uint32_t kAllAttributes =
    kAttrReadOnly | kAttrArchive | kAttrHidden | kAttrSystem | kAttrCompressed | kAttrEncrypted;

// Days from 1970-01-01 of a proleptic Gregorian date.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

const std::int64_t kEpochDay = daysFromCivil(1899, 12, 30);

std::int64_t wholeDays(TDateTime value)
{
    return static_cast<std::int64_t>(std::trunc(value));
}

std::int64_t msOfDay(TDateTime value)
{
    double frac = std::fabs(value - std::trunc(value));
    auto ms = static_cast<std::int64_t>(std::llround(frac * static_cast<double>(kMsPerDay)));
    return ms >= kMsPerDay ? kMsPerDay - 1 : ms;
}

bool containsCodePoints(const std::uint32_t *hay, std::size_t hayLen,
                        const std::vector<std::uint32_t> &needle)
{
    const std::size_t n = needle.size();
    if (n == 0 || n > hayLen) {
        return false;
    }
    for (std::size_t i = 0; i + n <= hayLen; ++i) {
        std::size_t k = 0;
        while (k < n && hay[i + k] == needle[k]) {
            ++k;
        }
        if (k == n) {
            return true;
        }
    }
    return false;
}

bool isBlank(std::string_view s)
{
    for (char c : s) {
        if (static_cast<unsigned char>(c) > ' ') {
            return false;
        }
    }
    return true;
}

} // namespace

TDateTime FileTimeToLocalDateTime(const FileTime &time)
{
    std::time_t secs = static_cast<std::time_t>(time.seconds);
    std::tm tm{};
    if (::localtime_r(&secs, &tm) == nullptr) {
        return -1;
    }
    const std::int64_t year = static_cast<std::int64_t>(tm.tm_year) + 1900;
    std::int64_t msInDay = (tm.tm_hour * 3600LL + tm.tm_min * 60LL + tm.tm_sec) * 1000;
    if (year >= 1980 && year <= 2107) {
        msInDay -= (tm.tm_sec % 2) * 1000; // the DOS form keeps even seconds only
    } else {
        msInDay += time.nanoseconds / 1000000;
    }
    const std::int64_t day =
        daysFromCivil(year, static_cast<unsigned>(tm.tm_mon + 1), static_cast<unsigned>(tm.tm_mday)) -
        kEpochDay;
    const double frac = static_cast<double>(msInDay) / static_cast<double>(kMsPerDay);
    return day >= 0 ? static_cast<double>(day) + frac : static_cast<double>(day) - frac;
}

TTaskFilterItem::TTaskFilterItem()
{
    const QDateTime now = nowDateTime();
    dtDateBetweenStart = toDayCount(now.addMonths(-12));
    dtDateBetweenEnd = toDayCount(now);
    dtTimeBetweenStart = toDayCount(now.addSecs(-12 * 3600));
    dtTimeBetweenEnd = dtDateBetweenEnd;
}

std::int64_t TTaskFilterItem::sizeLimit() const
{
    static constexpr std::int64_t kUnits[] = {1, 1024, 1048576};
    return static_cast<std::int64_t>(szValue) * kUnits[szMeasure <= szmMegabytes ? szMeasure : szmBytes];
}

bool TTaskFilterItem::Apply(bool current, std::string_view path, const DirEntry &entry) const
{
    if (CompiledFilterList::itemMatches(*this, path, entry, Now())) {
        return FilterType == fitInclude;
    }
    return current;
}

bool TTaskFilterItem::ApplyEmptyFolders(bool current) const
{
    if (FilterKind == fikFolderName && frKind == frkEmpty) {
        return FilterType == fitInclude;
    }
    return current;
}

bool TTaskFiltersList::Match(std::string_view path, const DirEntry &entry) const
{
    return CompiledFilterList(*this).match(path, entry);
}

bool TTaskFiltersList::IncludesEmptyFolders() const
{
    bool result = false;
    for (auto it = Items.rbegin(); it != Items.rend(); ++it) {
        if (it->Enabled) {
            result = it->ApplyEmptyFolders(result);
        }
    }
    return result;
}

// The entry's name and folder, decoded and case-folded once, on first use, into fixed buffers.
class CompiledFilterList::EntryText
{
public:
    EntryText(std::string_view path, const DirEntry &entry)
        : m_path(path), m_pathHasSlash(!path.empty() && path.back() == '/'), m_entry(entry)
    {
    }
    std::string_view path() const { return m_path; }
    bool pathHasSlash() const { return m_pathHasSlash; }
    const DirEntry &entry() const { return m_entry; }

    // The name as the masks see it: with "." appended when it holds none.
    std::pair<const std::uint32_t *, std::size_t> name()
    {
        if (m_nameLength == kNotYet) {
            const bool hasDot = m_entry.name.find('.') != std::string::npos;
            const std::string_view suffix = hasDot ? std::string_view() : std::string_view(".");
            m_nameLength = foldedCodePoints(m_entry.name, suffix, m_name.data(), m_name.size());
            if (m_nameLength == SIZE_MAX) {
                m_largeName = foldedCodePoints(m_entry.name + std::string(suffix));
                m_nameLength = m_largeName.size();
            }
        }
        return {m_largeName.empty() ? m_name.data() : m_largeName.data(), m_nameLength};
    }

    // The folder with a trailing "/", as the folder-name rules see it.
    std::pair<const std::uint32_t *, std::size_t> folder()
    {
        if (m_pathLength == kNotYet) {
            const std::string_view suffix = m_pathHasSlash ? std::string_view() : std::string_view("/");
            m_pathLength = foldedCodePoints(m_path, suffix, m_folder.data(), m_folder.size());
            if (m_pathLength == SIZE_MAX) {
                m_largePath = foldedCodePoints(std::string(m_path) + std::string(suffix));
                m_pathLength = m_largePath.size();
            }
        }
        return {m_largePath.empty() ? m_folder.data() : m_largePath.data(), m_pathLength};
    }

private:
    static constexpr std::size_t kNotYet = SIZE_MAX - 1;
    std::string_view m_path;
    bool m_pathHasSlash;
    const DirEntry &m_entry;
    std::size_t m_nameLength = kNotYet;
    std::size_t m_pathLength = kNotYet;
    std::array<std::uint32_t, 1024> m_name;
    std::array<std::uint32_t, 4200> m_folder;
    std::vector<std::uint32_t> m_largeName; // only for names or folders beyond the buffers
    std::vector<std::uint32_t> m_largePath;
};

namespace {

bool needsNow(const TTaskFiltersList &list)
{
    return std::any_of(list.Items.begin(), list.Items.end(),
                       [](const TTaskFilterItem &i) { return i.Enabled && i.FilterKind == fikDateTime; });
}

} // namespace

CompiledFilterList::CompiledFilterList(const TTaskFiltersList &list)
    : CompiledFilterList(list, needsNow(list) ? Now() : 0.0)
{
}

CompiledFilterList::CompiledFilterList(const TTaskFiltersList &list, TDateTime now) : m_now(now)
{
    m_includesEmptyFolders = list.IncludesEmptyFolders();
    for (const TTaskFilterItem &src : list.Items) {
        if (!src.Enabled) {
            continue;
        }
        m_items.push_back(prepare(src));
    }
}

CompiledFilterList::Item CompiledFilterList::prepare(const TTaskFilterItem &src)
{
    Item item(src);
    if (src.FilterKind == fikFileName && src.fnKind == fnkWildcard && !isBlank(src.fnWildcard)) {
        item.masks = FilterMaskList(src.fnWildcard);
        item.hasMasks = true;
    }
    if (src.FilterKind == fikFolderName && src.frKind == frkContains) {
        item.foldedContains = foldedCodePoints(src.frContains);
    }
    item.limit = src.sizeLimit();
    item.startDay = wholeDays(src.dtDateBetweenStart);
    item.endDay = wholeDays(src.dtDateBetweenEnd);
    item.startMs = msOfDay(src.dtTimeBetweenStart);
    item.endMs = msOfDay(src.dtTimeBetweenEnd);
    return item;
}

bool CompiledFilterList::itemMatches(const TTaskFilterItem &item, std::string_view path,
                                     const DirEntry &entry, TDateTime now)
{
    EntryText text(path, entry);
    return itemMatches(prepare(item), text, now);
}

bool CompiledFilterList::match(std::string_view path, const DirEntry &entry) const
{
    // Applying the items from the last to the first, each match replacing the verdict, leaves the
    // verdict of the first matching item: so look from the first and stop there.
    EntryText text(path, entry);
    for (const Item &item : m_items) {
        if (itemMatches(item, text, m_now)) {
            return item.source.FilterType == fitInclude;
        }
    }
    return entry.isDirectory();
}

bool CompiledFilterList::itemMatches(const Item &item, EntryText &text, TDateTime now)
{
    const TTaskFilterItem &f = item.source;
    const DirEntry &entry = text.entry();
    const bool isDir = entry.isDirectory();
    switch (f.FilterKind) {
    case fikFileName:
        if (isDir) {
            return false;
        }
        if (f.fnKind == fnkWildcard) {
            if (!item.hasMasks) {
                return false;
            }
            const auto [chars, length] = text.name();
            return item.masks.matchesFolded(chars, length);
        } else {
            const std::string &want = f.fnSingleFile;
            const std::string_view path = text.path();
            const std::size_t sep = text.pathHasSlash() ? 0 : 1;
            return want.size() == path.size() + sep + entry.name.size() &&
                   want.compare(0, path.size(), path) == 0 && (sep == 0 || want[path.size()] == '/') &&
                   want.compare(path.size() + sep, std::string::npos, entry.name) == 0;
        }
    case fikFolderName: {
        if (f.frKind != frkContains || item.foldedContains.empty()) {
            return false;
        }
        const auto [chars, length] = text.folder();
        return containsCodePoints(chars, length, item.foldedContains);
    }
    case fikDateTime:
        return dateMatches(item, entry, now);
    case fikAttributes: {
        if (isDir) {
            return false;
        }
        std::uint32_t mask = (f.atReadOnly ? kAttrReadOnly : 0) | (f.atArchive ? kAttrArchive : 0) |
                             (f.atHidden ? kAttrHidden : 0) | (f.atSystem ? kAttrSystem : 0) |
                             (f.atCompressed ? kAttrCompressed : 0) | (f.atEncrypted ? kAttrEncrypted : 0);
        if (mask == 0) {
            return (entry.attributes & kAllAttributes) == 0;
        }
        return (entry.attributes & mask) != 0;
    }
    case fikSize: {
        if (isDir) {
            return false;
        }
        if (item.limit < 0) {
            return f.szKind == fiskGreaterThan;
        }
        const auto limit = static_cast<std::uint64_t>(item.limit);
        switch (f.szKind) {
        case fiskLessThan:
            return entry.size < limit;
        case fiskEqual:
            return entry.size == limit;
        case fiskGreaterThan:
            return entry.size > limit;
        }
        return false;
    }
    }
    return false;
}

bool CompiledFilterList::dateMatches(const Item &item, const DirEntry &entry, TDateTime now)
{
    const TTaskFilterItem &f = item.source;
    const FileTime &ft = f.dtKind == fidtkModified  ? entry.lastWriteTime
                         : f.dtKind == fidtkCreated ? entry.creationTime
                                                    : entry.lastAccessTime;
    const TDateTime t = FileTimeToLocalDateTime(ft);
    const double spanDays = std::fabs(now - t);
    const auto spanMs = static_cast<std::int64_t>(std::llround(spanDays * static_cast<double>(kMsPerDay)));
    switch (f.dtSelector) {
    case fidtsMonths:
        return static_cast<std::int64_t>(std::trunc(spanDays / 30.4375)) <= f.dtMonths;
    case fidtsDays:
        return spanMs / kMsPerDay <= f.dtDays;
    case fidtsHours:
        return spanMs / 3600000 <= f.dtHours;
    case fidtsMinutes:
        return spanMs / 60000 <= f.dtMinutes;
    case fidtsDateBetween: {
        const std::int64_t day = wholeDays(t);
        return day >= item.startDay && day <= item.endDay;
    }
    case fidtsTimeBetween: {
        const std::int64_t ms = msOfDay(t);
        return ms >= item.startMs && ms <= item.endMs;
    }
    }
    return false;
}

} // namespace qv
