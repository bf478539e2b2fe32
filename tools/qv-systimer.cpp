// qv-systimer: creates, shows and removes a task's system timer entry without the windows.
//
// The same code as the task dialog's timer page, with the trigger list taken from the command
// line instead of the dialog. Exit status: 0 done, 1 the system refused (its message on standard
// error), 2 bad usage, a task ID no entry can be made for, or a calendar expression the system
// does not accept.
#include "beneath/ShownText.h"
#include "core/schedule/TaskSchedulerControl.h"
#include "core/util/Utils.h"
#include "platform/SystemScheduler.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char *const kUsage =
    "usage: qv-systimer [--program PATH] COMMAND\n"
    "  available                          says whether a systemd user manager answers\n"
    "  add --id ID --name NAME EXPR...    creates or updates the task's timer (calendar expressions)\n"
    "  show --id ID                       prints the entry's name and its triggers\n"
    "  remove --id ID                     removes the entry's units\n"
    "  --program PATH                     the program the entry starts (default: quorvellant beside\n"
    "                                     this tool)\n";

struct Options {
    std::string command;
    std::string id;
    std::string name;
    std::string program;
    std::vector<std::string> calendars;
};

bool parse(int argc, char **argv, Options &o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if ((a == "--id" || a == "--name" || a == "--program") && !hasValue) {
            return false;
        }
        if (a == "--id") {
            o.id = argv[++i];
        } else if (a == "--name") {
            o.name = argv[++i];
        } else if (a == "--program") {
            o.program = argv[++i];
        } else if (o.command.empty() && a.compare(0, 2, "--") != 0) {
            o.command = a;
        } else if (o.command == "add" && a.compare(0, 2, "--") != 0) {
            o.calendars.push_back(a);
        } else {
            return false;
        }
    }
    if (o.command == "available") {
        return o.id.empty();
    }
    if (o.command == "add") {
        return !o.id.empty() && !o.calendars.empty();
    }
    return (o.command == "show" || o.command == "remove") && !o.id.empty();
}

int add(qv::TTaskSchedulerControl &control, const std::vector<std::string> &calendars)
{
    for (const std::string &c : calendars) {
        const qv::SystemScheduler::CalendarCheck check = qv::systemScheduler().checkCalendar(c);
        if (!check.accepted) {
            std::fprintf(stderr, "qv-systimer: %s\n", check.message.c_str());
            return 2;
        }
        std::printf("%s: next start %s\n", check.normalized.c_str(), check.nextElapse.c_str());
    }
    qv::SetSystemTimerEditor([&calendars](const std::string &, std::vector<std::string> &list) {
        list = calendars;
        return true;
    });
    control.EditSchedule();
    std::printf("%s\n", control.WorkItemName.c_str());
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    Options o;
    if (!parse(argc, argv, o)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (o.command == "available") {
        const bool available = qv::MSSchedulerAvailable();
        std::puts(available ? "available" : "not available");
        return available ? 0 : 1;
    }
    // An ID no entry can be made for has none to show or remove either: said before anything else.
    const std::string problem = qv::SystemScheduler::idProblem(o.id);
    if (!problem.empty()) {
        std::fprintf(stderr, "qv-systimer: %s\n", problem.c_str());
        return 2;
    }
    try {
        qv::TTaskSchedulerControl control(o.name, o.id);
        control.ProgramPath = o.program.empty() ? qv::GetExeFolder() + "quorvellant" : o.program;
        if (o.command == "add") {
            return add(control, o.calendars);
        }
        if (o.command == "remove") {
            control.DeleteSchedule();
            return 0;
        }
        std::string text;
        control.GetTriggersText(text);
        std::printf("%s\n", control.WorkItemName.empty() ? "-" : qv::shownText(control.WorkItemName).c_str());
        // One trigger a line, each as it is shown everywhere (a timer file may have been edited).
        for (std::size_t pos = 0; pos <= text.size();) {
            const std::size_t end = std::min(text.find('\n', pos), text.size());
            std::printf("%s\n", qv::shownText(text.substr(pos, end - pos)).c_str());
            pos = end + 1;
        }
        return 0;
    } catch (const qv::SchedulerError &e) {
        std::fprintf(stderr, "qv-systimer: %s\n", e.what());
        return 1;
    }
}
