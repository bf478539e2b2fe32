// The writing commands of the qv-zip tool:
//
//   a [-l LEVEL] [-P PASSWORD] [-u|-r|-f] ARCHIVE ROOTDIR FILES...
//       add or update FILES (files or folders, taken recursively) with names relative to ROOTDIR;
//       -u updates newer files (the default), -r replaces every listed entry, -f only freshens
//       entries that are already there
//   d ARCHIVE NAMES...
//       delete the entries with these stored names (masks with * and ? allowed)
//
// The tool's main calls runZipWriteCommand for "a" and "d". Exit codes: 0 success, 1 a file was
// left out, 2 bad usage, 3 the archive could not be written (it is then unchanged).
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace qv {

// `args` starts with the command word ("a" or "d").
int runZipWriteCommand(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);

// The two commands for the tool's table: `args` are the words after the command word.
int zipCommandAdd(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);
int zipCommandDelete(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);

// The threads the commands work with: "a" deflates, "t" and "x" decode with them (1 until set:
// the tool passes the processors it may use).
void setZipCommandThreads(int threads);
int zipCommandThreads();

// True for the command words handled here.
bool isZipWriteCommand(const std::string &command);

} // namespace qv
