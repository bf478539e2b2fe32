// File filters: ordering, each kind's match, masks, dates, sizes and captions.
#include "core/task/Filters.h"

#include <QTimeZone>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace {

using namespace qv;

DirEntry file(const std::string &name, std::uint64_t size = 100, std::uint32_t attributes = 0)
{
    DirEntry e;
    e.name = name;
    e.size = size;
    e.attributes = attributes;
    return e;
}

DirEntry folder(const std::string &name)
{
    DirEntry e;
    e.name = name;
    e.attributes = kAttrDirectory;
    return e;
}

TTaskFilterItem wildcard(TFilterType type, const std::string &masks)
{
    TTaskFilterItem item;
    item.FilterType = type;
    item.FilterKind = fikFileName;
    item.fnKind = fnkWildcard;
    item.fnWildcard = masks;
    return item;
}

TTaskFiltersList listOf(std::initializer_list<TTaskFilterItem> items)
{
    TTaskFiltersList list;
    for (const auto &i : items) {
        list.Add(i);
    }
    return list;
}

TEST(FilterOrder, FirstItemHasTheFinalWord)
{
    const TTaskFiltersList empty;
    const TTaskFiltersList includeAllFirst =
        listOf({wildcard(fitInclude, "*.*"), wildcard(fitExclude, "*.tmp")});
    const TTaskFiltersList excludeTmpFirst =
        listOf({wildcard(fitExclude, "*.tmp"), wildcard(fitInclude, "*.*")});
    TTaskFilterItem disabled = wildcard(fitExclude, "*");
    disabled.Enabled = false;
    const TTaskFiltersList withDisabled = listOf({disabled, wildcard(fitInclude, "*.txt")});

    struct Case
    {
        const char *what;
        const TTaskFiltersList *list;
        DirEntry entry;
        bool taken;
    };
    const Case cases[] = {
        {"empty list, file", &empty, file("a.txt"), false},
        {"empty list, folder", &empty, folder("sub"), true},
        {"include all first, tmp", &includeAllFirst, file("x.tmp"), true},
        {"include all first, txt", &includeAllFirst, file("x.txt"), true},
        {"exclude tmp first, tmp", &excludeTmpFirst, file("x.tmp"), false},
        {"exclude tmp first, txt", &excludeTmpFirst, file("x.txt"), true},
        {"exclude tmp first, no extension", &excludeTmpFirst, file("README"), true},
        {"disabled item changes nothing, txt", &withDisabled, file("b.txt"), true},
        {"disabled item changes nothing, doc", &withDisabled, file("b.doc"), false},
        {"file-name items leave folders alone", &excludeTmpFirst, folder("dir.tmp"), true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.list->Match("/src/", c.entry), c.taken);
        EXPECT_EQ(CompiledFilterList(*c.list).match("/src", c.entry), c.taken);
    }
}

TEST(FilterOrder, ApplyReturnsCurrentWhenTheItemDoesNotMatch)
{
    const TTaskFilterItem inc = wildcard(fitInclude, "*.txt");
    const TTaskFilterItem exc = wildcard(fitExclude, "*.txt");
    for (bool current : {false, true}) {
        EXPECT_TRUE(inc.Apply(current, "/x/", file("a.txt")));
        EXPECT_FALSE(exc.Apply(current, "/x/", file("a.txt")));
        EXPECT_EQ(inc.Apply(current, "/x/", file("a.doc")), current);
        EXPECT_EQ(exc.Apply(current, "/x/", file("a.doc")), current);
    }
}

struct MaskCase
{
    const char *masks;
    const char *name;
    bool matches;
};

TEST(FilterMasks, WildcardsSetsCaseAndTheAppendedDot)
{
    const MaskCase cases[] = {
        {"*.*", "README", true}, // tested as "README."
        {"*.", "README", true},
        {"*.txt", "notes.TXT", true}, // masks ignore case
        {"*.TXT", "notes.txt", true},
        {"*.txt", "notes.txt.bak", false},
        {"a?c.*", "abc.d", true},
        {"a?c.*", "ac.d", false},
        {"[a-c]x.*", "Bx.q", true},
        {"[!a-c]x.*", "bx.q", false},
        {"[!a-c]x.*", "dx.q", true},
        {"[z-a]", "a", false}, // a reversed range matches nothing
        {"[abc", "a", false},  // malformed: matches nothing
        {"*[0-9].txt", "123.txt", true},
        {"*[0-9].txt", "12a.txt", false},
        {"*.tmp;*.bak", "x.bak", true},
        {"*.tmp; *.bak", "x.bak", true}, // the blank only separates
        {"\"my file.txt\"", "My File.txt", true},
        {"*.tmp *.bak", "y.bak", true},
        {"   ", "x", false}, // a blank mask list never matches
        {"*", "", true},
        {"ÄB*.*", "äbc.txt", true},      // non-ASCII letters fold too
        {"*.txt", "\xff\xfe.txt", true}, // names that are not UTF-8 still match
        {"\xff*",
         "\xff"
         "abc",
         true},
        {"\xff*",
         "\xfe"
         "abc",
         false},
        {"*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.masks) + " vs " + c.name);
        const TTaskFiltersList list = listOf({wildcard(fitInclude, c.masks)});
        EXPECT_EQ(list.Match("/d/", file(c.name)), c.matches);
    }
}

TEST(FilterMasks, SplitsLikeTheMaskListRule)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(FilterMaskList::splitList("*.a;*.b"), (V{"*.a", "*.b"}));
    EXPECT_EQ(FilterMaskList::splitList("  *.a ; \"x y\";"), (V{"*.a", "x y", ""}));
    EXPECT_EQ(FilterMaskList::splitList(""), V{});
}

TEST(FilterKinds, SingleFileFolderContainsAttributesAndSize)
{
    TTaskFilterItem single;
    single.FilterType = fitInclude;
    single.fnKind = fnkSingleFile;
    single.fnSingleFile = "/home/u/Notes.txt";

    TTaskFilterItem contains;
    contains.FilterType = fitInclude;
    contains.FilterKind = fikFolderName;
    contains.frContains = "/CACHE/";

    TTaskFilterItem emptyContains = contains;
    emptyContains.frContains.clear();

    TTaskFilterItem noAttrs;
    noAttrs.FilterType = fitInclude;
    noAttrs.FilterKind = fikAttributes;

    TTaskFilterItem hiddenOrReadOnly = noAttrs;
    hiddenOrReadOnly.atHidden = true;
    hiddenOrReadOnly.atReadOnly = true;

    TTaskFilterItem bigger4Mb;
    bigger4Mb.FilterType = fitInclude;
    bigger4Mb.FilterKind = fikSize;
    bigger4Mb.szKind = fiskGreaterThan;
    bigger4Mb.szValue = 4;
    bigger4Mb.szMeasure = szmMegabytes;

    TTaskFilterItem equal1k = bigger4Mb;
    equal1k.szKind = fiskEqual;
    equal1k.szValue = 1;
    equal1k.szMeasure = szmKilobytes;

    TTaskFilterItem less10 = bigger4Mb;
    less10.szKind = fiskLessThan;
    less10.szValue = 10;
    less10.szMeasure = szmBytes;

    struct Case
    {
        const char *what;
        const TTaskFilterItem *item;
        const char *path;
        DirEntry entry;
        bool taken;
    };
    const std::uint64_t fiveGb = 5ULL << 30;
    const Case cases[] = {
        {"single file, same", &single, "/home/u", file("Notes.txt"), true},
        {"single file, slash given", &single, "/home/u/", file("Notes.txt"), true},
        {"single file, other case", &single, "/home/u/", file("notes.txt"), false},
        {"single file, other folder", &single, "/home/v/", file("Notes.txt"), false},
        {"contains, any case", &contains, "/home/u/Cache", file("x"), true},
        {"contains, folder too", &contains, "/home/u/cAche/deeper", folder("y"), true},
        {"contains, trailing slash added", &contains, "/a/cache", file("x"), true},
        {"contains, not there", &contains, "/home/u/cached", file("x"), false},
        {"contains nothing never matches", &emptyContains, "/a/", file("x"), false},
        {"no attributes, plain file", &noAttrs, "/a/", file("x"), true},
        {"no attributes, archive file", &noAttrs, "/a/", file("x", 1, kAttrArchive), false},
        {"no attributes, encrypted file", &noAttrs, "/a/", file("x", 1, kAttrEncrypted), false},
        {"no attributes never takes a folder away", &noAttrs, "/a/", folder("x"), true},
        {"hidden or read-only, hidden", &hiddenOrReadOnly, "/a/", file(".x", 1, kAttrHidden), true},
        {"hidden or read-only, read-only", &hiddenOrReadOnly, "/a/", file("x", 1, kAttrReadOnly), true},
        {"hidden or read-only, archive only", &hiddenOrReadOnly, "/a/", file("x", 1, kAttrArchive), false},
        {"bigger than 4 MB, 5 GB", &bigger4Mb, "/a/", file("x", fiveGb), true},
        {"bigger than 4 MB, exactly 4 MB", &bigger4Mb, "/a/", file("x", 4ULL << 20), false},
        {"equal 1 KB", &equal1k, "/a/", file("x", 1024), true},
        {"equal 1 KB, 4 GiB + 1024", &equal1k, "/a/", file("x", (4ULL << 30) + 1024), false},
        {"less than 10 bytes", &less10, "/a/", file("x", 9), true},
        {"less than 10 bytes, 10", &less10, "/a/", file("x", 10), false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const TTaskFiltersList list = listOf({*c.item});
        EXPECT_EQ(list.Match(c.path, c.entry), c.taken);
    }
}

TEST(FilterKinds, EmptyFoldersFollowTheOrderingRule)
{
    TTaskFilterItem incEmpty;
    incEmpty.FilterType = fitInclude;
    incEmpty.FilterKind = fikFolderName;
    incEmpty.frKind = frkEmpty;
    TTaskFilterItem excEmpty = incEmpty;
    excEmpty.FilterType = fitExclude;
    TTaskFilterItem disabledInc = incEmpty;
    disabledInc.Enabled = false;

    EXPECT_FALSE(TTaskFiltersList().IncludesEmptyFolders());
    EXPECT_TRUE(listOf({incEmpty}).IncludesEmptyFolders());
    EXPECT_TRUE(listOf({incEmpty, excEmpty}).IncludesEmptyFolders());
    EXPECT_FALSE(listOf({excEmpty, incEmpty}).IncludesEmptyFolders());
    EXPECT_FALSE(listOf({disabledInc}).IncludesEmptyFolders());
    EXPECT_TRUE(CompiledFilterList(listOf({wildcard(fitInclude, "*"), incEmpty})).includesEmptyFolders());
    // The empty-folder rule takes no entry away or in by itself.
    EXPECT_FALSE(listOf({incEmpty}).Match("/a/", file("x")));
}

class FilterDates : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const char *old = std::getenv("TZ");
        m_oldTz = old ? old : "";
        m_hadTz = old != nullptr;
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }
    void TearDown() override
    {
        if (m_hadTz) {
            ::setenv("TZ", m_oldTz.c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }
    static std::int64_t unixOf(int y, int m, int d, int hh = 0, int mm = 0, int ss = 0)
    {
        return QDateTime(QDate(y, m, d), QTime(hh, mm, ss), Qt::UTC).toSecsSinceEpoch();
    }
    static DirEntry modifiedAt(std::int64_t secs, std::int32_t ns = 0)
    {
        DirEntry e = file("f.txt");
        e.lastWriteTime = {secs, ns};
        e.creationTime = {secs - 86400 * 400, 0};
        e.lastAccessTime = {secs + 3600, 0};
        return e;
    }

private:
    std::string m_oldTz;
    bool m_hadTz = false;
};

TEST_F(FilterDates, FileTimesConvertToLocalDayCounts)
{
    // Inside the DOS range the odd second is dropped, outside it the real time stays.
    EXPECT_DOUBLE_EQ(FileTimeToLocalDateTime({unixOf(2020, 5, 6, 7, 8, 9), 500000000}),
                     encodeDayCount(QDate(2020, 5, 6), QTime(7, 8, 8)));
    EXPECT_DOUBLE_EQ(FileTimeToLocalDateTime({unixOf(1975, 1, 2, 3, 4, 5), 250000000}),
                     encodeDayCount(QDate(1975, 1, 2), QTime(3, 4, 5, 250)));
    EXPECT_DOUBLE_EQ(FileTimeToLocalDateTime({unixOf(2110, 12, 31, 23, 59, 59), 0}),
                     encodeDayCount(QDate(2110, 12, 31), QTime(23, 59, 59)));
    EXPECT_DOUBLE_EQ(FileTimeToLocalDateTime({unixOf(1890, 1, 1, 6, 0, 0), 0}),
                     encodeDayCount(QDate(1890, 1, 1), QTime(6, 0)));
}

TEST_F(FilterDates, RelativeRulesIgnoreDirectionAndTruncate)
{
    const std::int64_t now = unixOf(2026, 6, 15, 12, 0, 0);
    const TDateTime nowDays = FileTimeToLocalDateTime({now, 0});
    TTaskFilterItem last7Days;
    last7Days.FilterType = fitInclude;
    last7Days.FilterKind = fikDateTime;
    last7Days.dtSelector = fidtsDays;
    last7Days.dtDays = 7;
    TTaskFilterItem last2Hours = last7Days;
    last2Hours.dtSelector = fidtsHours;
    last2Hours.dtHours = 2;
    TTaskFilterItem last90Minutes = last7Days;
    last90Minutes.dtSelector = fidtsMinutes;
    last90Minutes.dtMinutes = 90;
    TTaskFilterItem last3Months = last7Days;
    last3Months.dtSelector = fidtsMonths;
    last3Months.dtMonths = 3;
    TTaskFilterItem created1Year = last3Months;
    created1Year.dtKind = fidtkCreated;
    created1Year.dtMonths = 12;

    struct Case
    {
        const char *what;
        const TTaskFilterItem *item;
        std::int64_t modified;
        bool taken;
    };
    const Case cases[] = {
        {"6 days 23 hours ago", &last7Days, now - (6 * 24 + 23) * 3600, true},
        {"7 days 23 hours ago", &last7Days, now - (7 * 24 + 23) * 3600, true},
        {"8 days ago", &last7Days, now - 8 * 24 * 3600, false},
        {"3 days in the future", &last7Days, now + 3 * 24 * 3600, true},
        {"2h59 ago", &last2Hours, now - (2 * 60 + 59) * 60, true},
        {"3h ago", &last2Hours, now - 3 * 3600, false},
        {"90 minutes ago", &last90Minutes, now - 90 * 60, true},
        {"92 minutes ago", &last90Minutes, now - 92 * 60, false},
        {"3 months ago", &last3Months, unixOf(2026, 3, 15, 12), true},
        {"4 months ago", &last3Months, unixOf(2026, 2, 10, 12), false},
        {"in 1975", &last3Months, unixOf(1975, 6, 1), false},
        {"created 400 days before the change", &created1Year, now, false},
        {"created 400 days before a change 100 days ago", &created1Year, now + 300 * 86400, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(CompiledFilterList(listOf({*c.item}), nowDays).match("/a/", modifiedAt(c.modified)),
                  c.taken);
    }
}

TEST_F(FilterDates, BetweenRulesUseDatesOrTimesOnly)
{
    TTaskFilterItem dates;
    dates.FilterType = fitInclude;
    dates.FilterKind = fikDateTime;
    dates.dtSelector = fidtsDateBetween;
    dates.dtDateBetweenStart = encodeDayCount(QDate(1970, 1, 1), QTime(18, 0));
    dates.dtDateBetweenEnd = encodeDayCount(QDate(1979, 12, 31), QTime(1, 0));
    TTaskFilterItem future = dates;
    future.dtDateBetweenStart = encodeDayCount(QDate(2108, 1, 1), QTime(0, 0));
    future.dtDateBetweenEnd = encodeDayCount(QDate(2200, 1, 1), QTime(0, 0));
    TTaskFilterItem times = dates;
    times.dtSelector = fidtsTimeBetween;
    times.dtTimeBetweenStart = encodeDayCount(QDate(2000, 1, 1), QTime(9, 0));
    times.dtTimeBetweenEnd = encodeDayCount(QDate(1990, 1, 1), QTime(17, 0));

    struct Case
    {
        const char *what;
        const TTaskFilterItem *item;
        std::int64_t modified;
        bool taken;
    };
    const Case cases[] = {
        {"1975 inside the 1970s", &dates, unixOf(1975, 3, 3, 3), true},
        {"first day, early", &dates, unixOf(1970, 1, 1, 1), true},
        {"last day, late", &dates, unixOf(1979, 12, 31, 23), true},
        {"1980", &dates, unixOf(1980, 1, 1, 0, 0, 2), false},
        {"2110 in the far range", &future, unixOf(2110, 7, 7, 7), true},
        {"2107 before it", &future, unixOf(2107, 12, 31, 23), false},
        {"noon inside office hours", &times, unixOf(2024, 2, 2, 12), true},
        {"09:00 exactly", &times, unixOf(2024, 2, 2, 9), true},
        {"17:00 exactly", &times, unixOf(2024, 2, 2, 17), true},
        {"17:00:02", &times, unixOf(2024, 2, 2, 17, 0, 2), false},
        {"08:59:58", &times, unixOf(2024, 2, 2, 8, 59, 58), false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(listOf({*c.item}).Match("/a/", modifiedAt(c.modified)), c.taken);
    }
}

TEST(FilterCaptions, EveryKindDescribesItself)
{
    TTaskFilterItem w = wildcard(fitExclude, "*.tmp;*.bak");
    TTaskFilterItem s = w;
    s.FilterType = fitInclude;
    s.fnKind = fnkSingleFile;
    s.fnSingleFile = "/a/b.txt";
    TTaskFilterItem c = w;
    c.FilterKind = fikFolderName;
    c.frContains = "cache";
    TTaskFilterItem e = c;
    e.frKind = frkEmpty;
    e.FilterType = fitInclude;
    TTaskFilterItem d = w;
    d.FilterKind = fikDateTime;
    d.dtKind = fidtkCreated;
    d.dtSelector = fidtsDays;
    d.dtDays = 7;
    TTaskFilterItem m = d;
    m.dtKind = fidtkModified;
    m.dtSelector = fidtsMonths;
    m.dtMonths = 3;
    TTaskFilterItem h = d;
    h.dtKind = fidtkLastAccessed;
    h.dtSelector = fidtsHours;
    h.dtHours = 5;
    TTaskFilterItem mi = d;
    mi.dtSelector = fidtsMinutes;
    mi.dtMinutes = 15;
    TTaskFilterItem a = w;
    a.FilterKind = fikAttributes;
    TTaskFilterItem a2 = a;
    a2.atReadOnly = a2.atHidden = a2.atEncrypted = true;
    TTaskFilterItem z = w;
    z.FilterKind = fikSize;
    z.szKind = fiskGreaterThan;
    z.szValue = 4;
    z.szMeasure = szmMegabytes;
    TTaskFilterItem z2 = z;
    z2.szKind = fiskLessThan;
    z2.szMeasure = szmKilobytes;
    TTaskFilterItem z3 = z;
    z3.szKind = fiskEqual;
    z3.szMeasure = szmBytes;

    const std::pair<const TTaskFilterItem *, const char *> cases[] = {
        {&w, "Exclude files matching the wildcard: \"*.tmp;*.bak\"."},
        {&s, "Include file \"/a/b.txt\"."},
        {&c, "Exclude if folder name/path contains: \"cache\"."},
        {&e, "Include empty folders."},
        {&d, "Exclude if file created in the last 7 days."},
        {&m, "Exclude if file modified in the last 3 months."},
        {&h, "Exclude if file last accessed in the last 5 hours."},
        {&mi, "Exclude if file created in the last 15 minutes."},
        {&a, "Exclude if no file attributes set."},
        {&a2, "Exclude if file attribute(s) set: Read Only or Hidden or Encrypted."},
        {&z, "Exclude if file size > 4 MBytes."},
        {&z2, "Exclude if file size < 4 KBytes."},
        {&z3, "Exclude if file size = 4 Bytes."},
    };
    for (const auto &[item, text] : cases) {
        EXPECT_EQ(item->GetStrCaption(), text);
    }
    TTaskFilterItem between = d;
    between.dtSelector = fidtsDateBetween;
    const std::string caption = between.GetStrCaption();
    EXPECT_EQ(caption.rfind("Exclude if file created between ", 0), 0u) << caption;
    EXPECT_NE(caption.find(" and "), std::string::npos);
    EXPECT_EQ(caption.back(), '.');
}

TEST(FilterItems, NewItemDefaults)
{
    FixedClock fixed(QDateTime(QDate(2026, 6, 15), QTime(12, 0)));
    setClock(&fixed);
    TTaskFilterItem item;
    setClock(nullptr);
    EXPECT_TRUE(item.Enabled);
    EXPECT_EQ(item.FilterType, fitExclude);
    EXPECT_EQ(item.FilterKind, fikFileName);
    EXPECT_EQ(item.fnKind, fnkWildcard);
    EXPECT_EQ(item.dtMonths, 1);
    EXPECT_EQ(item.szKind, fiskLessThan);
    EXPECT_EQ(item.szMeasure, szmBytes);
    EXPECT_EQ(dateOfDayCount(item.dtDateBetweenStart), QDate(2025, 6, 15));
    EXPECT_EQ(dateOfDayCount(item.dtDateBetweenEnd), QDate(2026, 6, 15));
    EXPECT_EQ(timeOfDayCount(item.dtTimeBetweenStart), QTime(0, 0));
    EXPECT_EQ(timeOfDayCount(item.dtTimeBetweenEnd), QTime(12, 0));
}

} // namespace
