// Identifier texts of the task model's enumerations.
#include "core/task/TaskTypes.h"

#include <array>

namespace qv {
namespace {

constexpr std::string_view kTaskType[] = {"ttSimpleCopy", "ttExactCopy", "ttMove", "ttSynchronize"};
constexpr std::string_view kDeleteKind[] = {"adkNormal", "adkRecycle", "adkArchive"};
constexpr std::string_view kBandwidth[] = {"bmkKBits", "bmkMBits"};
constexpr std::string_view kFilterType[] = {"fitInclude", "fitExclude"};
constexpr std::string_view kFilterKind[] = {"fikFileName", "fikFolderName", "fikDateTime", "fikAttributes",
                                            "fikSize"};
constexpr std::string_view kFileNameKind[] = {"fnkWildcard", "fnkSingleFile"};
constexpr std::string_view kFolderRuleKind[] = {"frkContains", "frkEmpty"};
constexpr std::string_view kDateTimeKind[] = {"fidtkModified", "fidtkCreated", "fidtkLastAccessed"};
constexpr std::string_view kDateTimeSelector[] = {"fidtsMonths",  "fidtsDays",        "fidtsHours",
                                                  "fidtsMinutes", "fidtsDateBetween", "fidtsTimeBetween"};
constexpr std::string_view kSizeKind[] = {"fiskLessThan", "fiskEqual", "fiskGreaterThan"};
constexpr std::string_view kSizeMeasure[] = {"szmBytes", "szmKilobytes", "szmMegabytes"};
constexpr std::string_view kScheduleKind[] = {"skMinutelly",        "skHourly",           "skDaily",
                                              "skWeekly",           "skMonthly",          "skAtSystemStartup",
                                              "skAtProgramStartup", "skAtSystemShutdown", "skOnce"};
constexpr std::string_view kMonthlyKind[] = {"mkEveryDay", "mkWhichDay"};
constexpr std::string_view kWhichWeek[] = {"wwFirst", "wwSecond", "wwThird", "wwFourth", "wwLast"};
constexpr std::string_view kWeekDay[] = {"wdMonday", "wdTuesday",  "wdWednesday", "wdThursday",
                                         "wdFriday", "wdSaturday", "wdSunday"};

// "1st", "2nd", "3rd", then "th" for every other number: the stored ordinals say "21th".
template <int N> struct OrdinalTable
{
    std::array<std::array<char, 8>, N> text{};
    std::array<std::string_view, N> views{};

    constexpr explicit OrdinalTable(char a, char b)
    {
        for (int i = 0; i < N; ++i) {
            int n = i + 1;
            auto &t = text[static_cast<std::size_t>(i)];
            std::size_t len = 0;
            t[len++] = a;
            t[len++] = b;
            if (n >= 10) {
                t[len++] = static_cast<char>('0' + n / 10);
            }
            t[len++] = static_cast<char>('0' + n % 10);
            const char *suffix = n == 1 ? "st" : n == 2 ? "nd" : n == 3 ? "rd" : "th";
            t[len++] = suffix[0];
            t[len++] = suffix[1];
            views[static_cast<std::size_t>(i)] = std::string_view(t.data(), len);
        }
    }
};

const OrdinalTable<kDailyEveryNumDaysCount> &dailyTable()
{
    static const OrdinalTable<kDailyEveryNumDaysCount> table('e', 'd');
    return table;
}

const OrdinalTable<kWeeklyEveryNumWeekCount> &weeklyTable()
{
    static const OrdinalTable<kWeeklyEveryNumWeekCount> table('e', 'w');
    return table;
}

const OrdinalTable<kMonthlyEveryNumDayCount> &monthlyTable()
{
    static const OrdinalTable<kMonthlyEveryNumDayCount> table('n', 'd');
    return table;
}

} // namespace

IdentifierList taskTypeIdentifiers()
{
    return kTaskType;
}
IdentifierList archiveDeleteKindIdentifiers()
{
    return kDeleteKind;
}
IdentifierList bandwidthMeasureIdentifiers()
{
    return kBandwidth;
}
IdentifierList filterTypeIdentifiers()
{
    return kFilterType;
}
IdentifierList filterKindIdentifiers()
{
    return kFilterKind;
}
IdentifierList fileNameKindIdentifiers()
{
    return kFileNameKind;
}
IdentifierList folderRuleKindIdentifiers()
{
    return kFolderRuleKind;
}
IdentifierList filterDateTimeKindIdentifiers()
{
    return kDateTimeKind;
}
IdentifierList filterDateTimeSelectorIdentifiers()
{
    return kDateTimeSelector;
}
IdentifierList filterSizeKindIdentifiers()
{
    return kSizeKind;
}
IdentifierList sizeMeasureIdentifiers()
{
    return kSizeMeasure;
}
IdentifierList scheduleKindIdentifiers()
{
    return kScheduleKind;
}
IdentifierList dailyEveryNumDaysIdentifiers()
{
    return dailyTable().views;
}
IdentifierList weeklyEveryNumWeekIdentifiers()
{
    return weeklyTable().views;
}
IdentifierList monthlyEveryNumDayIdentifiers()
{
    return monthlyTable().views;
}
IdentifierList monthlyKindIdentifiers()
{
    return kMonthlyKind;
}
IdentifierList whichWeekIdentifiers()
{
    return kWhichWeek;
}
IdentifierList weekDayIdentifiers()
{
    return kWeekDay;
}

int identifierIndex(IdentifierList ids, std::string_view text)
{
    for (std::size_t i = 0; i < ids.size(); ++i) {
        if (ids[i] == text) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int identifierIndexOrLast(IdentifierList ids, std::string_view text)
{
    int i = identifierIndex(ids, text);
    return i >= 0 ? i : static_cast<int>(ids.size()) - 1;
}

} // namespace qv
