// Language lookup and the bounded formatter of the backup texts.
#include "core/engine/BackupMessages.h"

#include "core/text/Language.h"

#include <mutex>

namespace qv {

namespace {
std::mutex g_lookupMutex;
BackupTextLookup g_lookup;
} // namespace

void setBackupTextLookup(BackupTextLookup lookup)
{
    std::lock_guard<std::mutex> lock(g_lookupMutex);
    g_lookup = std::move(lookup);
}

std::string messageText(const BackupMessage &m)
{
    if (m.key == nullptr) {
        return m.text;
    }
    BackupTextLookup lookup;
    {
        std::lock_guard<std::mutex> lock(g_lookupMutex);
        lookup = g_lookup;
    }
    if (lookup) {
        return lookup(m.key, m.text);
    }
    // Without a language file the English text stands, as GetLangString would answer.
    return LanguageFile() ? GetLangString(m.text, m.key) : std::string(m.text);
}

std::string formatText(const std::string &format, const std::vector<MessageArg> &args)
{
    std::string out;
    out.reserve(format.size() + 64);
    std::size_t next = 0;
    for (std::size_t i = 0; i < format.size(); ++i) {
        char c = format[i];
        if (c != '%' || i + 1 >= format.size()) {
            out += c;
            continue;
        }
        char spec = format[i + 1];
        if (spec == '%') {
            out += '%';
            ++i;
        } else if ((spec == 's' || spec == 'd' || spec == 'u') && next < args.size()) {
            out += args[next++].text;
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

std::string formatMessage(const BackupMessage &m, const std::vector<MessageArg> &args)
{
    return formatText(messageText(m), args);
}

} // namespace qv
