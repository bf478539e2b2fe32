// One entry of a task's own schedule, and the task's list of them.
//
// This file holds the entry's fields, their values in a new entry and their storage; when an entry
// is due, its next run and its caption belong to the scheduler.
#pragma once

#include "core/settings/DateTime.h"
#include "core/task/TaskTypes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qv {

class TTask;
class TaskDefinition;

class TTaskScheduleItem
{
public:
    // A new entry: every two hours, start times 09:00, every weekday and month chosen, a single
    // run one month from now.
    TTaskScheduleItem();

    bool Enabled = true;
    TScheduleKind Kind = skHourly;
    std::int32_t MinutellyValue = 30;
    std::int32_t HourlyValue = 2;
    std::uint8_t DailyEveryNumDays = 0; // every (value + 1) days, 0..13
    bool DailyUseStartTime = false;
    TDateTime DailyStartTime = 0.375;
    std::uint8_t WeeklyEveryNumWeek = 0; // every (value + 1) weeks, 0..9
    bool WeeklyMondays = true;
    bool WeeklyTuesdays = true;
    bool WeeklyWednesdays = true;
    bool WeeklyThursdays = true;
    bool WeeklyFridays = true;
    bool WeeklySaturdays = true;
    bool WeeklySundays = true;
    bool WeeklyUseStartTime = false;
    TDateTime WeeklyStartTime = 0.375;
    TMonthlyKind MonthlyKind = mkEveryDay;
    std::uint8_t MonthlyEveryNumDay = 0; // day of the month - 1, 0..30
    TWhichWeek MonthlyWhichDayType = wwFirst;
    TWeekDay MonthlyWhichDayWeek = wdMonday;
    bool MonthlyJanuary = true;
    bool MonthlyFebruary = true;
    bool MonthlyMarch = true;
    bool MonthlyApril = true;
    bool MonthlyMay = true;
    bool MonthlyJune = true;
    bool MonthlyJuly = true;
    bool MonthlyAugust = true;
    bool MonthlySeptember = true;
    bool MonthlyOctober = true;
    bool MonthlyNovember = true;
    bool MonthlyDecember = true;
    bool MonthlyUseStartTime = false;
    TDateTime MonthlyStartTime = 0.375;
    bool AtSystemStartupWait = true;
    std::int32_t AtSystemStartupWaitSecValue = 90;
    bool AtProgramStartupWait = true;
    std::int32_t AtProgramStartupWaitSecValue = 30;
    bool SystemShutdownLimitExecTime = false;
    std::int32_t SystemShutdownMaxSec = 180;
    TDateTime OnceRunDate = 0;
    bool OnceUseStartTime = false;
    TDateTime OnceStartTime = 0.375;

    bool operator==(const TTaskScheduleItem &) const = default;

    // The weekday flag of `day` (0 Monday .. 6 Sunday) and the month flag of `month` (0 January).
    bool &weekday(int day);
    bool weekday(int day) const;
    bool &month(int month);
    bool month(int month) const;

    // The scheduler (core/schedule: ScheduleNextRun.cpp, ScheduleCaption.cpp).
    // The next run after the task's LastRun; kNeverRun for a disabled entry, for an entry that
    // can never be due and for the start-up and shutdown kinds.
    TDateTime GetNextRun(const TaskDefinition &task) const;
    // Starts the task (an automatic start) when the entry is due now (core/runs: TaskAutoStart.cpp).
    void CheckDue(TTask &task) const;
    std::string GetStrCaption() const;

    // Storage under `key` of the store (TaskStorage.cpp).
    void SaveToRegistry(const std::string &key) const;
    void LoadFromRegistry(const std::string &key);
};

class TQuorvellantScheduleList
{
public:
    std::vector<TTaskScheduleItem> Items;

    int Count() const { return static_cast<int>(Items.size()); }
    TTaskScheduleItem &operator[](int i) { return Items[static_cast<std::size_t>(i)]; }
    const TTaskScheduleItem &operator[](int i) const { return Items[static_cast<std::size_t>(i)]; }
    void Add(TTaskScheduleItem item) { Items.push_back(std::move(item)); }
    void Clear() { Items.clear(); }
    bool operator==(const TQuorvellantScheduleList &) const = default;
};

} // namespace qv
