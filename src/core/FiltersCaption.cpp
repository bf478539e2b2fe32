// The one-line descriptions of filter items shown in the dialogs.
#include "core/Filters.h"

#include "core/ModelSeams.h"

#include <QLocale>

namespace qv {
namespace {

using seams::formatText;
using seams::langString;

std::string dateText(TDateTime value)
{
    return QLocale::system().toString(dateOfDayCount(value), QLocale::ShortFormat).toStdString();
}

std::string timeText(TDateTime value)
{
    return QLocale::system().toString(timeOfDayCount(value), QLocale::LongFormat).toStdString();
}

std::string dateCaption(const TTaskFilterItem &f, const std::string &type)
{
    std::string what;
    switch (f.dtKind) {
    case fidtkModified:
        what = langString("strTaskTypesFilterDateTimeModified", "if file modified");
        break;
    case fidtkCreated:
        what = langString("strTaskTypesFilterDateTimeCreated", "if file created");
        break;
    case fidtkLastAccessed:
        what = langString("strTaskTypesFilterDateTimeAccessed", "if file last accessed");
        break;
    }
    std::string detail;
    switch (f.dtSelector) {
    case fidtsMonths:
        detail = formatText(langString("strTaskTypesFilterDateTimeLastMonths", "%s in the last %d months"),
                            {what, std::to_string(f.dtMonths)});
        break;
    case fidtsDays:
        detail = formatText(langString("strTaskTypesFilterDateTimeLastDays", "%s in the last %d days"),
                            {what, std::to_string(f.dtDays)});
        break;
    case fidtsHours:
        detail = formatText(langString("strTaskTypesFilterDateTimeLastHours", "%s in the last %d hours"),
                            {what, std::to_string(f.dtHours)});
        break;
    case fidtsMinutes:
        detail = formatText(langString("strTaskTypesFilterDateTimeLastMinutes", "%s in the last %d minutes"),
                            {what, std::to_string(f.dtMinutes)});
        break;
    case fidtsDateBetween:
        detail = formatText(langString("strTaskTypesFilterDateTimeBetween", "%s between %s and %s"),
                            {what, dateText(f.dtDateBetweenStart), dateText(f.dtDateBetweenEnd)});
        break;
    case fidtsTimeBetween:
        detail = formatText(langString("strTaskTypesFilterDateTimeBetween", "%s between %s and %s"),
                            {what, timeText(f.dtTimeBetweenStart), timeText(f.dtTimeBetweenEnd)});
        break;
    }
    return formatText("%s %s.", {type, detail});
}

std::string attributesCaption(const TTaskFilterItem &f, const std::string &type)
{
    struct Name {
        bool ticked;
        const char *key;
        const char *english;
    };
    const Name names[] = {
        {f.atReadOnly, "strTaskTypesFilterAttributesReadOnly", "Read Only"},
        {f.atArchive, "strTaskTypesFilterAttributesArchive", "Archive"},
        {f.atHidden, "strTaskTypesFilterAttributesHidden", "Hidden"},
        {f.atSystem, "strTaskTypesFilterAttributesSystem", "System"},
        {f.atCompressed, "strTaskTypesFilterAttributesCompressed", "Compressed"},
        {f.atEncrypted, "strTaskTypesFilterAttributesEncrypted", "Encrypted"},
    };
    const std::string joiner = " " + langString("strOr", "or") + " ";
    std::string list;
    for (const Name &n : names) {
        if (n.ticked) {
            if (!list.empty()) {
                list += joiner;
            }
            list += langString(n.key, n.english);
        }
    }
    if (list.empty()) {
        return formatText(langString("strTaskTypesFilterAttributesNoSet", "%s if no file attributes set."), {type});
    }
    return formatText(langString("strTaskTypesFilterAttributesSet", "%s if file attribute(s) set: %s."),
                      {type, list});
}

std::string sizeCaption(const TTaskFilterItem &f, const std::string &type)
{
    std::string compare;
    switch (f.szKind) {
    case fiskLessThan:
        compare = langString("strTaskTypesFilterSizeLessThan", "file size <");
        break;
    case fiskEqual:
        compare = langString("strTaskTypesFilterSizeEqual", "file size =");
        break;
    case fiskGreaterThan:
        compare = langString("strTaskTypesFilterSizeGreaterThan", "file size >");
        break;
    }
    std::string unit;
    switch (f.szMeasure) {
    case szmBytes:
        unit = langString("strTaskTypesFilterSizeBytes", "Bytes");
        break;
    case szmKilobytes:
        unit = langString("strTaskTypesFilterSizeKilobytes", "KBytes");
        break;
    case szmMegabytes:
        unit = langString("strTaskTypesFilterSizeMegabytes", "MBytes");
        break;
    }
    return formatText(langString("strTaskTypesFilterSize", "%s if %s %d %s."),
                      {type, compare, std::to_string(f.szValue), unit});
}

} // namespace

std::string TTaskFilterItem::GetStrCaption() const
{
    const std::string type = FilterType == fitInclude ? langString("strTaskTypesFilterInclude", "Include")
                                                      : langString("strTaskTypesFilterExclude", "Exclude");
    switch (FilterKind) {
    case fikFileName:
        if (fnKind == fnkWildcard) {
            return formatText(langString("strTaskTypesFilterWildcard", "%s files matching the wildcard: \"%s\"."),
                              {type, fnWildcard});
        }
        return formatText(langString("strTaskTypesFilterSingleFile", "%s file \"%s\"."), {type, fnSingleFile});
    case fikFolderName:
        if (frKind == frkContains) {
            return formatText(
                langString("strTaskTypesFilterFolderContains", "%s if folder name/path contains: \"%s\"."),
                {type, frContains});
        }
        return formatText(langString("strTaskTypesFilterFolderEmpty", "%s empty folders."), {type});
    case fikDateTime:
        return dateCaption(*this, type);
    case fikAttributes:
        return attributesCaption(*this, type);
    case fikSize:
        return sizeCaption(*this, type);
    }
    return {};
}

} // namespace qv
