// TEMPORARY SEAMS of the task model (see ModelSeams.h).
#include "core/ModelSeams.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace qv::seams {

std::string langString(const char *, const char *englishDefault) { return englishDefault; }

std::string formatText(std::string_view format, std::initializer_list<std::string_view> args)
{
    std::string out;
    auto next = args.begin();
    for (std::size_t i = 0; i < format.size(); ++i) {
        char c = format[i];
        if (c == '%' && i + 1 < format.size()) {
            char k = format[i + 1];
            if (k == '%') {
                out += '%';
                ++i;
                continue;
            }
            if (k == 's' || k == 'd') {
                if (next != args.end()) {
                    out += *next++;
                }
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

bool folderExists(const std::string &folder)
{
    struct stat st {};
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

ProgramTaskDefaults &programTaskDefaults()
{
    static ProgramTaskDefaults defaults;
    return defaults;
}

bool silentMode() { return false; }

} // namespace qv::seams
