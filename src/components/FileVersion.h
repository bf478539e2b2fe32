// TFileVersion: the four version numbers of the program.
//
// Linux executables carry no version block, so the numbers come from the build's own version
// constants; asking for the version of any other file fails as a file without version
// information does.
#pragma once

#include <cstdint>
#include <string>

namespace qv {

class TFileVersion
{
public:
    std::uint16_t Major = 0;
    std::uint16_t Minor = 0;
    std::uint16_t Release = 0;
    std::uint16_t Build = 0;

    // The program's own file gives the build's version; any other file raises ELastOSError
    // "TFileVersion.LoadFromFile: Could not read version info for file: <name>".
    void LoadFromFile(const std::string &fileName);
    // The running program (the only module this program loads versions from).
    void LoadFromModule();

    std::string toString() const;
};

// Full path of the running program ("/proc/self/exe" resolved).
std::string GetModuleName();

} // namespace qv
