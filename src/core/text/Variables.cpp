// Path variables: the expansion passes and the guard against paths that name themselves.
//
// The folder variables call back into the task's folder getters, which expand their own stored
// text again. Each thread keeps the state of its current expansion: the folder values being
// computed (a value that needs itself is a loop and gives kVariableError at once), the values
// already computed (so that paths naming each other many times cost each value once, never an
// exponential walk), the nesting depth, and the moment "now" that every date variable of one
// expansion shares, so that %Date% and %Time% never straddle midnight.
#include "core/text/Variables.h"

#include "core/settings/DateTime.h"
#include "core/text/VariablesDate.h"
#include "core/text/VariablesSystem.h"
#include "platform/PathText.h"

#include <QLocale>

#include <algorithm>
#include <map>
#include <optional>
#include <string_view>
#include <tuple>

extern char **environ;

namespace qv {

namespace {

using Key = std::tuple<const void *, int, int>;

struct ExpansionState {
    int frames = 0; // ExpandVariables and GetVariableValue calls on this thread's stack
    int depth = 0;  // nested GetVariableValue calls
    std::vector<Key> active;
    std::map<Key, std::string> done;
    std::optional<QDateTime> now; // read from the clock when the first date variable asks
};

thread_local ExpansionState t_state;

// Opens one frame of the thread's expansion; the outermost one starts a fresh state.
class Frame
{
public:
    Frame()
    {
        ++t_state.frames;
    }
    ~Frame()
    {
        if (--t_state.frames == 0) {
            t_state = ExpansionState();
        }
    }
    Frame(const Frame &) = delete;
    Frame &operator=(const Frame &) = delete;
};

char upperAscii(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Position of the first "%" + name + "%" in `text`, letters compared without case (ASCII only,
// so that the bytes of file names that are not UTF-8 never change the offsets). Looks only at the
// percent signs of the text, which a path holds few of.
std::string::size_type findToken(const std::string &text, std::string_view name)
{
    if (name.empty()) {
        return std::string::npos;
    }
    const std::size_t need = name.size() + 2;
    for (auto p = text.find('%'); p != std::string::npos && text.size() - p >= need; p = text.find('%', p + 1)) {
        if (text[p + need - 1] != '%') {
            continue;
        }
        bool same = true;
        for (std::size_t i = 0; i < name.size() && same; ++i) {
            same = upperAscii(text[p + 1 + i]) == upperAscii(name[i]);
        }
        if (same) {
            return p;
        }
    }
    return std::string::npos;
}


std::string_view trimmed(std::string_view s)
{
    const char *blanks = " \t\r\n\v\f";
    const auto first = s.find_first_not_of(blanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return s.substr(first, s.find_last_not_of(blanks) - first + 1);
}

bool isFolderVariable(int id)
{
    return id >= vidSource && id <= vidVersionsArchive;
}

std::string folderValue(const VariableContext &task, int id, int sourceIndex)
{
    switch (id) {
    case vidSource:
        return task.sourceFolder(sourceIndex);
    case vidSourceTop:
        return folderTop(task.sourceFolder(sourceIndex));
    case vidSourceExcludeRoot:
        return folderExcludeRoot(task.sourceFolder(sourceIndex));
    case vidSourceRoot:
        return folderRoot(task.sourceFolder(sourceIndex));
    case vidDestination:
        return task.destinationFolder();
    case vidDestinationTop:
        return folderTop(task.destinationFolder());
    case vidDestinationExcludeRoot:
        return folderExcludeRoot(task.destinationFolder());
    case vidDestinationRoot:
        return folderRoot(task.destinationFolder());
    case vidDeletedArchive:
        return task.archiveFolder();
    case vidVersionsArchive:
        return task.versionsFolder();
    default:
        return kVariableError;
    }
}

std::string plainValue(const VariableContext &task, int id)
{
    switch (id) {
    case vidComputerName:
        return computerNameText();
    case vidUserName:
        return userNameText();
    case vidProjectName:
        return task.name();
    case vidProjectId:
        return task.id();
    default:
        break;
    }
    if (!t_state.now) {
        t_state.now = nowDateTime();
    }
    if (auto v = dateVariableValue(id, *t_state.now, QLocale())) {
        return *v;
    }
    return kVariableError;
}

// Replaces the first occurrence of "%" + name + "%" by what `value` gives; `value` runs only when
// the token is there.
template <typename ValueFn>
void replaceFirst(std::string &text, std::string_view name, ValueFn value)
{
    const auto pos = findToken(text, name);
    if (pos != std::string::npos) {
        text.replace(pos, name.size() + 2, value());
    }
}

// A token needs two percent signs; once fewer are left, no later name can match.
bool mayHoldToken(const std::string &text)
{
    const auto first = text.find('%');
    return first != std::string::npos && text.find('%', first + 1) != std::string::npos;
}

} // namespace

const std::vector<VariableName> &taskVariableNames()
{
    static const std::vector<VariableName> names = {
        {"Source", vidSource},
        {"SourceTop", vidSourceTop},
        {"SourceExcludeRoot", vidSourceExcludeRoot},
        {"SourceRoot", vidSourceRoot},
        {"Destination", vidDestination},
        {"DestinationTop", vidDestinationTop},
        {"DestinationExcludeRoot", vidDestinationExcludeRoot},
        {"DestinationRoot", vidDestinationRoot},
        {"DeletedArchive", vidDeletedArchive},
        {"VersionsArchive", vidVersionsArchive},
        {"ComputerName", vidComputerName},
        {"UserName", vidUserName},
        {"ProjectName", vidProjectName},
        {"ProjectId", vidProjectId},
        {"DateTime", vidDateTime},
        {"Date", vidDate},
        {"Year", vidYear},
        {"Month", vidMonth},
        {"Day", vidDay},
        {"Time", vidTime},
        {"Hour", vidHour},
        {"Min", vidMin},
        {"Sec", vidSec},
        {"MonthOfYearStr", vidMonthOfYearStr},
        {"MonthOfYearString", vidMonthOfYearString},
        {"WeekOfYear", vidWeekOfYear},
        {"WeekOfMonth", vidWeekOfMonth},
        {"WeekDayStr", vidWeekDayStr},
        {"WeekDayString", vidWeekDayString},
        {"WeekDayNum", vidWeekDayNum},
        {"DayOfYear", vidDayOfYear},
        {"DayOfWeek", vidDayOfWeek},
        {"HourOfYear", vidHourOfYear},
        {"HourOfWeek", vidHourOfWeek},
        {"HourOfMonth", vidHourOfMonth},
        {"MinuteOfYear", vidMinuteOfYear},
        {"MinuteOfMonth", vidMinuteOfMonth},
        {"MinuteOfWeek", vidMinuteOfWeek},
        {"MinuteOfDay", vidMinuteOfDay},
        {"SecondOfYear", vidSecondOfYear},
        {"SecondOfMonth", vidSecondOfMonth},
        {"SecondOfWeek", vidSecondOfWeek},
        {"SecondOfDay", vidSecondOfDay},
    };
    return names;
}

std::string folderTop(const std::string &folder)
{
    std::string path = folder;
    while (!path.empty() && path.back() == '/') {
        path.pop_back();
    }
    const auto slash = path.rfind('/');
    return withSlash(slash == std::string::npos ? path : path.substr(slash + 1));
}

std::string folderRoot(const std::string &folder)
{
    return (!folder.empty() && folder.front() == '/') ? "/" : "";
}

std::string folderExcludeRoot(const std::string &folder)
{
    return withSlash(withoutRoot(folder));
}

std::string GetVariableValue(const VariableContext &task, int id, int sourceIndex)
{
    Frame frame;
    ExpansionState &st = t_state;
    if (st.depth >= kVariableNestingLimit) {
        return kVariableError;
    }
    if (!isFolderVariable(id)) {
        ++st.depth;
        std::string value = plainValue(task, id);
        --st.depth;
        return value;
    }
    const Key key{task.identity(), id, sourceIndex};
    if (auto it = st.done.find(key); it != st.done.end()) {
        return it->second;
    }
    if (std::find(st.active.begin(), st.active.end(), key) != st.active.end()) {
        return kVariableError; // the value needs itself
    }
    st.active.push_back(key);
    ++st.depth;
    std::string value;
    try {
        value = folderValue(task, id, sourceIndex);
    } catch (...) {
        --st.depth;
        st.active.pop_back();
        throw;
    }
    --st.depth;
    st.active.pop_back();
    st.done.emplace(key, value);
    return value;
}

std::string ExpandVariables(const VariableContext &task, const std::string &text)
{
    if (text.find('%') == std::string::npos) {
        return text;
    }
    Frame frame;
    std::string out = text;
    for (const auto &v : taskVariableNames()) {
        replaceFirst(out, v.name, [&] { return GetVariableValue(task, v.id, 0); });
    }
    const int sources = mayHoldToken(out) ? task.sourceCount() : 0;
    for (int n = 1; n <= sources; ++n) {
        const std::string suffix = std::to_string(n);
        for (const auto &v : taskVariableNames()) {
            if (v.id > vidSourceRoot) {
                break;
            }
            replaceFirst(out, v.name + suffix, [&] { return GetVariableValue(task, v.id, n - 1); });
        }
    }
    for (char **e = environ; e != nullptr && *e != nullptr && mayHoldToken(out); ++e) {
        const std::string_view entry(*e);
        const auto eq = entry.find('=');
        const std::string_view name = trimmed(entry.substr(0, eq));
        if (name.empty() || eq == std::string_view::npos) {
            continue;
        }
        replaceFirst(out, name, [&] { return std::string(entry.substr(eq + 1)); });
    }
    for (const auto &f : shellFolderNames()) {
        if (!mayHoldToken(out)) {
            break;
        }
        replaceFirst(out, f.name, [&] {
            std::string path = GetSpecialFolderPath(f.id);
            return path.empty() ? std::string(kVariableError) : path;
        });
    }
    return out;
}

} // namespace qv
