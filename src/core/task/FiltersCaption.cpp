// The one-line descriptions of filter items shown in the dialogs.
#include "core/task/Filters.h"

#include "core/text/Language.h"
#include "core/text/TextFormat.h"

#include <QLocale>

namespace qv {
namespace {

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
        what = GetLangString("if file modified", "strTaskTypesFilterDateTimeModified");
        break;
    case fidtkCreated:
        what = GetLangString("if file created", "strTaskTypesFilterDateTimeCreated");
        break;
    case fidtkLastAccessed:
        what = GetLangString("if file last accessed", "strTaskTypesFilterDateTimeAccessed");
        break;
    }
    std::string detail;
    switch (f.dtSelector) {
    case fidtsMonths:
        detail = formatLangString("%s in the last %d months", "strTaskTypesFilterDateTimeLastMonths",
                                  {what, f.dtMonths});
        break;
    case fidtsDays:
        detail = formatLangString("%s in the last %d days", "strTaskTypesFilterDateTimeLastDays",
                                  {what, f.dtDays});
        break;
    case fidtsHours:
        detail = formatLangString("%s in the last %d hours", "strTaskTypesFilterDateTimeLastHours",
                                  {what, f.dtHours});
        break;
    case fidtsMinutes:
        detail = formatLangString("%s in the last %d minutes", "strTaskTypesFilterDateTimeLastMinutes",
                                  {what, f.dtMinutes});
        break;
    case fidtsDateBetween:
        detail = formatLangString("%s between %s and %s", "strTaskTypesFilterDateTimeBetween",
                                  {what, dateText(f.dtDateBetweenStart), dateText(f.dtDateBetweenEnd)});
        break;
    case fidtsTimeBetween:
        detail = formatLangString("%s between %s and %s", "strTaskTypesFilterDateTimeBetween",
                                  {what, timeText(f.dtTimeBetweenStart), timeText(f.dtTimeBetweenEnd)});
        break;
    }
    return formatText("%s %s.", {type, detail});
}

std::string attributesCaption(const TTaskFilterItem &f, const std::string &type)
{
    struct Name
    {
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
    const std::string joiner = " " + GetLangString("or", "strOr") + " ";
    std::string list;
    for (const Name &n : names) {
        if (n.ticked) {
            if (!list.empty()) {
                list += joiner;
            }
            list += GetLangString(n.english, n.key);
        }
    }
    if (list.empty()) {
        return formatLangString("%s if no file attributes set.", "strTaskTypesFilterAttributesNoSet", {type});
    }
    return formatLangString("%s if file attribute(s) set: %s.", "strTaskTypesFilterAttributesSet",
                            {type, list});
}

std::string sizeCaption(const TTaskFilterItem &f, const std::string &type)
{
    std::string compare;
    switch (f.szKind) {
    case fiskLessThan:
        compare = GetLangString("file size <", "strTaskTypesFilterSizeLessThan");
        break;
    case fiskEqual:
        compare = GetLangString("file size =", "strTaskTypesFilterSizeEqual");
        break;
    case fiskGreaterThan:
        compare = GetLangString("file size >", "strTaskTypesFilterSizeGreaterThan");
        break;
    }
    std::string unit;
    switch (f.szMeasure) {
    case szmBytes:
        unit = GetLangString("Bytes", "strTaskTypesFilterSizeBytes");
        break;
    case szmKilobytes:
        unit = GetLangString("KBytes", "strTaskTypesFilterSizeKilobytes");
        break;
    case szmMegabytes:
        unit = GetLangString("MBytes", "strTaskTypesFilterSizeMegabytes");
        break;
    }
    return formatLangString("%s if %s %d %s.", "strTaskTypesFilterSize", {type, compare, f.szValue, unit});
}

} // namespace

std::string TTaskFilterItem::GetStrCaption() const
{
    const std::string type = FilterType == fitInclude ? GetLangString("Include", "strTaskTypesFilterInclude")
                                                      : GetLangString("Exclude", "strTaskTypesFilterExclude");
    switch (FilterKind) {
    case fikFileName:
        if (fnKind == fnkWildcard) {
            return formatLangString("%s files matching the wildcard: \"%s\".", "strTaskTypesFilterWildcard",
                                    {type, fnWildcard});
        }
        return formatLangString("%s file \"%s\".", "strTaskTypesFilterSingleFile", {type, fnSingleFile});
    case fikFolderName:
        if (frKind == frkContains) {
            return formatLangString("%s if folder name/path contains: \"%s\".",
                                    "strTaskTypesFilterFolderContains", {type, frContains});
        }
        return formatLangString("%s empty folders.", "strTaskTypesFilterFolderEmpty", {type});
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
