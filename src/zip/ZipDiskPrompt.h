// How the qv-zip tool asks for the next disk of an archive spanning removable disks: a command
// of the user's (run with the disk number in QV_DISK; exit status 0 means the disk is in), or a
// question on the terminal answered with Enter (or "q" to stop).
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace qv {

// Runs a program (`argv`, with the "NAME=value" strings of `environment` added to ours) until it
// ends and returns its exit status; -1 when it could not be started or was ended by a signal.
using ZipProgramRunner =
    std::function<int(const std::vector<std::string> &argv, const std::vector<std::string> &environment)>;

// The library starts no program itself: the program that lets the user give a disk command sets
// the runner once at start. Without one a disk command is refused with a message, never run.
void zipSetProgramRunner(ZipProgramRunner runner);

// Asks for disk `disk` (counting from 1) with `text`; true once it is in, false to stop.
bool zipAskForDisk(int disk, const std::string &text, const std::string &command, std::istream &in,
                   std::ostream &err);

// The same for a reader's OnDiskPrompt, whose text names the disk ("Please insert disk 2 of ...").
std::function<bool(const std::string &text)> zipDiskPromptHook(const std::string &command, std::istream &in,
                                                               std::ostream &err);

} // namespace qv
