// The enumerations and small records of the task model, with their stored identifier texts.
//
// The store keeps every enumeration as its identifier text ("ttSimpleCopy"), so each enumeration
// has one table of identifiers in value order. Reading a text that matches no identifier gives the
// rule of the caller: the last identifier for filter and schedule items and most task values.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace qv {

enum TTaskType : std::uint8_t { ttSimpleCopy, ttExactCopy, ttMove, ttSynchronize };
enum TArchiveDeleteKind : std::uint8_t { adkNormal, adkRecycle, adkArchive };
enum TBandwidthMeasureKind : std::uint8_t { bmkKBits, bmkMBits };

// Destination kinds (TTask::DestType). Only the local one is carried out.
inline constexpr std::uint8_t kDestLocal = 0;
inline constexpr std::uint8_t kDestFtp = 1;
inline constexpr std::uint8_t kDestCdDvd = 2;

// Start modes of a run (TTask::StartMode).
inline constexpr std::uint8_t kStartAutomatic = 0;
inline constexpr std::uint8_t kStartByHand = 1;

// Filter items.
enum TFilterType : std::uint8_t { fitInclude, fitExclude };
enum TFilterKind : std::uint8_t { fikFileName, fikFolderName, fikDateTime, fikAttributes, fikSize };
enum TFileNameKind : std::uint8_t { fnkWildcard, fnkSingleFile };
enum TFolderRuleKind : std::uint8_t { frkContains, frkEmpty };
enum TFilterDateTimeKind : std::uint8_t { fidtkModified, fidtkCreated, fidtkLastAccessed };
enum TFilterDateTimeSelector : std::uint8_t {
    fidtsMonths,
    fidtsDays,
    fidtsHours,
    fidtsMinutes,
    fidtsDateBetween,
    fidtsTimeBetween
};
enum TFilterSizeKind : std::uint8_t { fiskLessThan, fiskEqual, fiskGreaterThan };
enum TSizeMeasure : std::uint8_t { szmBytes, szmKilobytes, szmMegabytes };

// Schedule entries. The "every N" values are plain bytes 0..13, 0..9 and 0..30 (N - 1).
enum TScheduleKind : std::uint8_t {
    skMinutelly,
    skHourly,
    skDaily,
    skWeekly,
    skMonthly,
    skAtSystemStartup,
    skAtProgramStartup,
    skAtSystemShutdown,
    skOnce
};
enum TMonthlyKind : std::uint8_t { mkEveryDay, mkWhichDay };
enum TWhichWeek : std::uint8_t { wwFirst, wwSecond, wwThird, wwFourth, wwLast };
enum TWeekDay : std::uint8_t { wdMonday, wdTuesday, wdWednesday, wdThursday, wdFriday, wdSaturday, wdSunday };
inline constexpr int kDailyEveryNumDaysCount = 14;  // ed1st .. ed14th
inline constexpr int kWeeklyEveryNumWeekCount = 10; // ew1st .. ew10th
inline constexpr int kMonthlyEveryNumDayCount = 31; // nd1st .. nd31th

// The identifier texts of each enumeration, in value order.
using IdentifierList = std::span<const std::string_view>;
IdentifierList taskTypeIdentifiers();
IdentifierList archiveDeleteKindIdentifiers();
IdentifierList bandwidthMeasureIdentifiers();
IdentifierList filterTypeIdentifiers();
IdentifierList filterKindIdentifiers();
IdentifierList fileNameKindIdentifiers();
IdentifierList folderRuleKindIdentifiers();
IdentifierList filterDateTimeKindIdentifiers();
IdentifierList filterDateTimeSelectorIdentifiers();
IdentifierList filterSizeKindIdentifiers();
IdentifierList sizeMeasureIdentifiers();
IdentifierList scheduleKindIdentifiers();
IdentifierList dailyEveryNumDaysIdentifiers();  // "ed1st", "ed2nd", "ed3rd", "ed4th" .. "ed14th"
IdentifierList weeklyEveryNumWeekIdentifiers(); // "ew1st" .. "ew10th"
IdentifierList monthlyEveryNumDayIdentifiers(); // "nd1st" .. "nd20th", "nd21th", "nd22th" .. "nd31th"
IdentifierList monthlyKindIdentifiers();
IdentifierList whichWeekIdentifiers();
IdentifierList weekDayIdentifiers();

// The index of `text` in `ids` (exact, case-sensitive), or -1.
int identifierIndex(IdentifierList ids, std::string_view text);
// The index of `text`, or the last index when nothing matches (the stored rule for items).
int identifierIndexOrLast(IdentifierList ids, std::string_view text);

// FTP destination settings: stored and edited, never used for a transfer.
struct TFtpServerConnection
{
    std::string Address;
    std::string Folder;
    std::int32_t Port = 21;
    std::string Login;
    std::string Password;
    bool PassiveMode = false;
    bool ProxyUse = false;
    std::string ProxyAddress;
    std::int32_t ProxyPort = 21;
    bool ProxyAuthUse = false;
    std::string ProxyAuthLogin;
    std::string ProxyAuthPassword;
    std::int32_t ReconnectRetries = 1000;
    std::int32_t PauseBeforeRetry = 60;
    std::int32_t TimeOut = 60;
    std::int32_t NumberOfErrorsBeforeStop = 10000;

    bool operator==(const TFtpServerConnection &) const = default;
};

} // namespace qv
