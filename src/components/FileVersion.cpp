// TFileVersion from the build's version constants.
#include "components/FileVersion.h"

#include "QvVersion.h"
#include "platform/FileStat.h"
#include "platform/LastOSError.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>
#include <vector>

namespace qv {

std::string GetModuleName()
{
    return runningProgramPath();
}

void TFileVersion::LoadFromFile(const std::string &fileName)
{
    struct stat self {};
    struct stat other {};
    if (::stat(fileName.c_str(), &other) != 0) {
        throw ELastOSError(errno, "TFileVersion.LoadFromFile: Could not read version info for file: " + fileName,
                           {});
    }
    bool same = ::stat("/proc/self/exe", &self) == 0 && self.st_dev == other.st_dev && self.st_ino == other.st_ino;
    if (!same) {
        throw ELastOSError(ENODATA,
                           "TFileVersion.LoadFromFile: Could not read version info for file: " + fileName, {});
    }
    Major = QV_VERSION_MAJOR;
    Minor = QV_VERSION_MINOR;
    Release = QV_VERSION_PATCH;
    Build = 0;
}

void TFileVersion::LoadFromModule()
{
    std::string name = GetModuleName();
    if (name.empty()) {
        throw std::runtime_error("TFileVersion could not load file version info from supplied module handle.");
    }
    LoadFromFile(name);
}

std::string TFileVersion::toString() const
{
    return std::to_string(Major) + "." + std::to_string(Minor) + "." + std::to_string(Release) + "." +
           std::to_string(Build);
}

} // namespace qv
