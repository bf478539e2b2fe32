// A task's ordered include/exclude filters and the verdict they give on a directory entry.
//
// The list is applied from its last item to its first, each matching enabled item replacing the
// verdict, so the FIRST item of the list has the final word. With no item at all, folders are taken
// and files are not. TTaskFilterItem and TTaskFiltersList hold what the user edits; a run prepares
// them once into a CompiledFilterList (masks split, texts case-folded) whose match allocates nothing.
#pragma once

#include "core/settings/DateTime.h"
#include "core/task/DirEntry.h"
#include "core/util/FiltersMask.h"
#include "core/task/TaskTypes.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

class TSafeRegistry;

class TTaskFilterItem
{
public:
    // A new item: an enabled exclude filter on file names, dates set around now.
    TTaskFilterItem();

    bool Enabled = true;
    TFilterType FilterType = fitExclude;
    TFilterKind FilterKind = fikFileName;
    TFileNameKind fnKind = fnkWildcard;
    std::string fnWildcard;   // ";"-separated wildcard masks
    std::string fnSingleFile; // one full file path
    TFolderRuleKind frKind = frkContains;
    std::string frContains; // text the folder path must contain (any case)
    TFilterDateTimeKind dtKind = fidtkModified;
    TFilterDateTimeSelector dtSelector = fidtsMonths;
    std::int32_t dtMonths = 1;
    std::int32_t dtDays = 1;
    std::int32_t dtHours = 1;
    std::int32_t dtMinutes = 1;
    TDateTime dtDateBetweenStart = 0;
    TDateTime dtDateBetweenEnd = 0;
    TDateTime dtTimeBetweenStart = 0;
    TDateTime dtTimeBetweenEnd = 0;
    bool atReadOnly = false;
    bool atArchive = false;
    bool atHidden = false;
    bool atSystem = false;
    bool atCompressed = false;
    bool atEncrypted = false;
    TFilterSizeKind szKind = fiskLessThan;
    std::int32_t szValue = 0;
    TSizeMeasure szMeasure = szmBytes;

    bool operator==(const TTaskFilterItem &) const = default;

    // The one-line description shown in the task and filter dialogs.
    std::string GetStrCaption() const;

    // The item's verdict: true for a matching include, false for a matching exclude, else `current`.
    // Prepares the item on every call; a run uses CompiledFilterList instead.
    bool Apply(bool current, std::string_view path, const DirEntry &entry) const;
    // The verdict on empty folders.
    bool ApplyEmptyFolders(bool current) const;

    // The masks of fnWildcard that match nothing because they are malformed.
    std::vector<std::string> malformedMasks() const { return FilterMaskList::malformedMasks(fnWildcard); }

    // The size limit in bytes (szValue x unit).
    std::int64_t sizeLimit() const;

    // Storage under `key` of the store (TaskStorage.cpp).
    void SaveToRegistry(const std::string &key) const;
    void LoadFromRegistry(const std::string &key);
};

class TTaskFiltersList
{
public:
    std::vector<TTaskFilterItem> Items;

    int Count() const { return static_cast<int>(Items.size()); }
    TTaskFilterItem &operator[](int i) { return Items[static_cast<std::size_t>(i)]; }
    const TTaskFilterItem &operator[](int i) const { return Items[static_cast<std::size_t>(i)]; }
    void Add(TTaskFilterItem item) { Items.push_back(std::move(item)); }
    void Clear() { Items.clear(); }
    bool operator==(const TTaskFiltersList &) const = default;

    // True when the entry found in folder `path` takes part in the run.
    bool Match(std::string_view path, const DirEntry &entry) const;
    // Whether folders without files are created at the destination.
    bool IncludesEmptyFolders() const;
};

// A filter list prepared for a run. "Now" for the "in the last N units" rules is taken when the
// list is prepared (the run's start) unless given.
class CompiledFilterList
{
public:
    CompiledFilterList() = default;
    explicit CompiledFilterList(const TTaskFiltersList &list);
    CompiledFilterList(const TTaskFiltersList &list, TDateTime now);

    // `path` is the folder the entry was found in, with or without a trailing "/".
    bool match(std::string_view path, const DirEntry &entry) const;
    bool includesEmptyFolders() const { return m_includesEmptyFolders; }

    // Whether one item matches the entry, whatever its type and Enabled flag.
    static bool itemMatches(const TTaskFilterItem &item, std::string_view path, const DirEntry &entry,
                            TDateTime now);

private:
    struct Item
    {
        explicit Item(const TTaskFilterItem &src) : source(src) {}
        TTaskFilterItem source;
        FilterMaskList masks;
        bool hasMasks = false;                     // fnWildcard is not blank
        std::vector<std::uint32_t> foldedContains; // frContains, case-folded
        std::int64_t limit = 0;
        std::int64_t startDay = 0, endDay = 0; // date between, whole days
        std::int64_t startMs = 0, endMs = 0;   // time between, ms of the day
    };
    class EntryText;
    static Item prepare(const TTaskFilterItem &src);
    static bool itemMatches(const Item &item, EntryText &text, TDateTime now);
    static bool dateMatches(const Item &item, const DirEntry &entry, TDateTime now);

    std::vector<Item> m_items; // enabled items only, in list order
    bool m_includesEmptyFolders = false;
    TDateTime m_now = 0;
};

// The local date-time of a file time, with the 2-second steps of the DOS form between 1980 and 2107
// and the exact time outside it.
TDateTime FileTimeToLocalDateTime(const FileTime &time);

} // namespace qv
