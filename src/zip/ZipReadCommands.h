// The reading commands of the qv-zip developer tool: list, test and extract an archive.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace qv {

// Each command takes the arguments after its name and returns the process exit code:
// 0 all good, 1 some entries failed, 2 bad usage or an archive that cannot be read.
int zipCommandList(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);
int zipCommandTest(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);
int zipCommandExtract(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);

// The name of a compression method as listings show it.
std::string zipMethodName(int method);

} // namespace qv
