// Running a command line as the user typed it: directly when it needs no shell, else with "sh -c".
//
// A line such as "/usr/bin/rsync -a /src /dst" means the same with or without a shell, and without
// one a missing program is reported by the spawn itself. Anything the shell would interpret makes
// the whole line go to the shell, so that what works in a terminal works here too.
#include "platform/Processes.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace qv {
namespace {

// Characters that quote, expand, redirect, pipe, list, glob, group or comment in a POSIX shell
// (and "!" and braces, which some shells give a meaning too).
constexpr std::string_view kShellCharacters = "'\"\\$`|&;<>()*?[]{}~#!\n\r";

// Words a shell treats as its own: keywords and the built-ins that have no program of their own
// or act on the shell itself. Programs that also exist as built-ins may go either way.
constexpr std::array<std::string_view, 31> kShellWords = {
    ".",     ":",     "alias",    "bg",     "break",  "cd",     "command", "continue",
    "eval",  "exec",  "exit",     "export", "fg",     "getopts", "hash",   "jobs",
    "local", "read",  "readonly", "return", "set",    "shift",  "source",  "times",
    "trap",  "type",  "ulimit",   "umask",  "unalias", "unset", "wait"};

constexpr std::array<std::string_view, 14> kShellKeywords = {
    "if", "then", "else", "elif", "fi", "case", "esac", "for", "while", "until", "do", "done", "function",
    "select"};

bool isShellWord(std::string_view word)
{
    auto has = [&](const auto &list) { return std::find(list.begin(), list.end(), word) != list.end(); };
    return has(kShellWords) || has(kShellKeywords);
}

} // namespace

std::vector<std::string> Processes::plainWords(const std::string &commandLine)
{
    if (commandLine.find_first_of(kShellCharacters) != std::string::npos) {
        return {};
    }
    std::vector<std::string> words;
    std::string::size_type pos = 0;
    while (pos < commandLine.size()) {
        const auto start = commandLine.find_first_not_of(" \t", pos);
        if (start == std::string::npos) {
            break;
        }
        const auto end = std::min(commandLine.find_first_of(" \t", start), commandLine.size());
        words.push_back(commandLine.substr(start, end - start));
        pos = end;
    }
    // "NAME=value program" sets a variable for the program: shell syntax.
    if (words.empty() || words[0].find('=') != std::string::npos || isShellWord(words[0])) {
        return {};
    }
    return words;
}

Processes::Result Processes::run(const std::string &commandLine, bool wait, const std::atomic<bool> *stop)
{
    Command c;
    c.argv = plainWords(commandLine);
    const bool shell = c.argv.empty();
    if (shell) {
        c.argv = {"/bin/sh", "-c", commandLine};
    }
    c.captureOutput = false;
    c.wait = wait;
    c.stop = stop;
    c.stopEndsWaitOnly = true;
    const Outcome o = execute(c);

    Result r;
    r.started = o.end != End::NotStarted;
    r.error = o.error;
    r.finished = o.end == End::Exited || o.end == End::Signalled;
    r.exitCode = o.exitCode;
    r.signal = o.signal;
    if (shell && o.end == End::Exited && (o.exitCode == 127 || o.exitCode == 126)) {
        r.started = false;
        r.error = o.exitCode == 127 ? "the shell found no such program" : "the shell could not execute it";
    }
    return r;
}

} // namespace qv
