// Path variables: %Name% tokens in a task's folders and archive names, replaced at the moment of use.
//
// A task's stored paths may say "%Destination%File Versions Archive" or "/backup/%Date%/": the
// folder getters of the task expand them every time they are asked. The folder variables read the
// task's folder getters again, so a path that names itself (or two paths that name each other) would
// recurse without end; the expansion cuts such a loop at once and puts kVariableError in its place,
// which then fails the folder's validation instead of hanging or blowing up the program.
#pragma once

#include <string>
#include <vector>

namespace qv {

// What a failed expansion leaves in the text: no folder can be named like it, so a path holding it
// fails validation.
inline constexpr const char *kVariableError = "\\\\\\ERROR!\\\\\\";

// How deep a chain of folder variables may nest before it yields kVariableError.
inline constexpr int kVariableNestingLimit = 15;

// Ids of the variables, in the order in which ExpandVariables tries them (14..19 unused).
enum VariableId : int {
    vidSource = 0,
    vidSourceTop = 1,
    vidSourceExcludeRoot = 2,
    vidSourceRoot = 3,
    vidDestination = 4,
    vidDestinationTop = 5,
    vidDestinationExcludeRoot = 6,
    vidDestinationRoot = 7,
    vidDeletedArchive = 8,
    vidVersionsArchive = 9,
    vidComputerName = 10,
    vidUserName = 11,
    vidProjectName = 12,
    vidProjectId = 13,
    vidDateTime = 20,
    vidDate = 21,
    vidYear = 22,
    vidMonth = 23,
    vidDay = 24,
    vidTime = 25,
    vidHour = 26,
    vidMin = 27,
    vidSec = 28,
    vidMonthOfYearStr = 29,
    vidMonthOfYearString = 30,
    vidWeekOfYear = 31,
    vidWeekOfMonth = 32,
    vidWeekDayStr = 33,
    vidWeekDayString = 34,
    vidWeekDayNum = 35,
    vidDayOfYear = 36,
    vidDayOfWeek = 37,
    vidHourOfYear = 38,
    vidHourOfWeek = 39,
    vidHourOfMonth = 40,
    vidMinuteOfYear = 41,
    vidMinuteOfMonth = 42,
    vidMinuteOfWeek = 43,
    vidMinuteOfDay = 44,
    vidSecondOfYear = 45,
    vidSecondOfMonth = 46,
    vidSecondOfWeek = 47,
    vidSecondOfDay = 48,
};

struct VariableName {
    const char *name;
    int id;
};

// The 43 task, date and time variables in table order.
const std::vector<VariableName> &taskVariableNames();

// The 30 shell folders by name and their Windows folder number (CSIDL).
const std::vector<VariableName> &shellFolderNames();

// What the variables need to know of a task. The folder getters return their folder with its own
// variables already expanded (they call ExpandVariables again) and ending in "/"; an unknown or
// empty folder is empty text.
class VariableContext
{
public:
    virtual ~VariableContext() = default;
    virtual int sourceCount() const = 0;
    virtual std::string sourceFolder(int index) const = 0;
    virtual std::string destinationFolder() const = 0; // without a source index
    virtual std::string archiveFolder() const = 0;      // deleted-files archive
    virtual std::string versionsFolder() const = 0;
    virtual std::string name() const = 0;
    virtual std::string id() const = 0;
    // What makes two contexts the same task: a view made afresh for every call of a task's getter
    // must still be recognised when the getter's expansion comes back to the same folder.
    virtual const void *identity() const { return this; }
};

// `text` with every known %Name% token replaced for the task at the moment of the call. Names
// compare without regard to letter case; only the first occurrence of each token is replaced, and
// a name that matches nothing stays as written.
std::string ExpandVariables(const VariableContext &task, const std::string &text);

// The value of variable `id` (task, date or time; see VariableId) for source folder `sourceIndex`
// (0-based). kVariableError for an unknown id, past the nesting limit, or when the value would
// need itself.
std::string GetVariableValue(const VariableContext &task, int id, int sourceIndex);

// The same for a task: core/task/TaskDefinition.h.

// The folder behind a shell-folder number, mapped to the XDG locations of the user (no trailing
// "/"); empty text for a folder that has no Linux counterpart.
std::string GetSpecialFolderPath(int csidl);

// The process's environment, one "NAME=value" line per variable, in the order of the environment.
std::vector<std::string> GetEnvironmentNames();

// The root, last name and the rest of a folder path as the variables give them: the root of an
// absolute path is "/", the rest is the path without its leading "/".
std::string folderTop(const std::string &folder);
std::string folderRoot(const std::string &folder);
std::string folderExcludeRoot(const std::string &folder);

} // namespace qv
