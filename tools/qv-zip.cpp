// qv-zip: the developer's command line over the zip library (list, test, extract; the writer
// adds its own commands to the table below).
#include "platform/Processes.h"
#include "zip/ZipDiskPrompt.h"
#include "zip/ZipFileSystem.h"
#include "platform/Processors.h"
#include "zip/ZipReadCommands.h"
#include "zip/ZipWriterCommands.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

// What the zip library sees of the file system holding a path: its label (and a new one), the
// short and the long form of a path.
int fsCommand(const std::vector<std::string> &args, std::ostream &out, std::ostream &err)
{
    auto &fs = qv::ZipFileSystem::System();
    if (args.size() >= 2 && args[0] == "label") {
        // A path that is not there has no file system to ask: "(none)" would pass it for one
        // without a label.
        struct stat st {};
        if (::stat(args[1].c_str(), &st) != 0) {
            err << "qv-zip: " << args[1] << ": " << std::strerror(errno) << "\n";
            return 1;
        }
        std::string label;
        out << "label: " << (fs.VolumeLabel(args[1], label) ? label : std::string("(none)")) << "\n";
        out << "removable: " << (fs.IsRemovable(args[1]) ? "yes" : "no") << "\n";
        if (args.size() >= 3) {
            if (!fs.SetVolumeLabel(args[1], args[2])) {
                err << "qv-zip: cannot set the label: " << std::strerror(errno) << "\n";
                return 1;
            }
            out << "set: " << args[2] << "\n";
        }
        return 0;
    }
    if (args.size() == 2 && (args[0] == "short" || args[0] == "long")) {
        out << qv::ConvertPath(args[1], args[0] == "long", fs) << "\n";
        return 0;
    }
    err << "usage: qv-zip fs label PATH [NEW] | fs short PATH | fs long PATH\n";
    return 2;
}

struct Command
{
    const char *name;
    const char *usage;
    int (*run)(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);
};

const Command kCommands[] = {
    {"l", "l [-D COMMAND] ARCHIVE             list the entries", qv::zipCommandList},
    {"t", "t [-D COMMAND] [-P PASSWORD] ARCHIVE  test every entry", qv::zipCommandTest},
    {"x", "x [-o] [-D COMMAND] [-P PASSWORD] ARCHIVE DIR\n"
          "                                     extract (-o replaces existing files)",
     qv::zipCommandExtract},
    {"a",
     "a [-l LEVEL] [-P PASSWORD] [-u|-r|-f] [-R] [-v BYTES | -s [-D COMMAND]] ARCHIVE ROOTDIR FILES...\n"
     "                                     add or update FILES with names relative to ROOTDIR;\n"
     "                                     a FILE with * or ? is a mask below ROOTDIR (-R: recursive);\n"
     "                                     -v: volumes of at most BYTES beside the archive;\n"
     "                                     -s: across removable disks, each filled to its free space\n"
     "  -D COMMAND: run when another disk of a spanned archive is wanted (its number in QV_DISK;\n"
     "              exit status 0 once it is in); without it the terminal asks",
     qv::zipCommandAdd},
    {"d", "d ARCHIVE NAMES...                 delete entries (masks with * and ? allowed)",
     qv::zipCommandDelete},
    {"fs", "fs label PATH [NEW] | short PATH | long PATH\n"
           "                                     the label (and a new one) of the file system holding PATH,\n"
           "                                     the short (8.3) or long form of PATH",
     fsCommand},
};

int usage(std::ostream &os)
{
    os << "usage: qv-zip COMMAND ...\n";
    for (const auto &c : kCommands) {
        os << "  qv-zip " << c.usage << "\n";
    }
    return 2;
}

// The disk commands (-D) run through the program's process runner; their output is the user's.
int runDiskCommand(const std::vector<std::string> &argv, const std::vector<std::string> &environment)
{
    qv::Processes::Command command;
    command.argv = argv;
    command.environment = environment;
    command.captureOutput = false;
    const qv::Processes::Outcome outcome = qv::Processes::execute(command);
    switch (outcome.end) {
    case qv::Processes::End::Exited:
        return outcome.exitCode;
    case qv::Processes::End::NotStarted:
        std::cerr << "qv-zip: cannot run the disk command: " << outcome.error << "\n";
        return -1;
    case qv::Processes::End::Signalled:
        std::cerr << "qv-zip: the disk command was ended by signal " << outcome.signal << "\n";
        return -1;
    default:
        return -1;
    }
}

} // namespace

int main(int argc, char **argv)
{
    qv::zipSetProgramRunner(runDiskCommand);
    if (argc < 2) {
        return usage(std::cerr);
    }
    if (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0) {
        usage(std::cout);
        return 0;
    }
    qv::setZipCommandThreads(qv::usableCores());
    for (const auto &c : kCommands) {
        if (std::strcmp(argv[1], c.name) == 0) {
            return c.run(std::vector<std::string>(argv + 2, argv + argc), std::cout, std::cerr);
        }
    }
    std::cerr << "qv-zip: unknown command \"" << argv[1] << "\"\n";
    return usage(std::cerr);
}
