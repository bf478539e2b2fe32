// The localised text of a message key as a QString, for the windows.
#pragma once

#include "core/text/Language.h"

#include <QString>

namespace qv {

inline QString langText(const char *englishText, const char *key)
{
    return QString::fromStdString(GetLangString(englishText, key));
}

} // namespace qv
