// The archive directory: a sorted list of entries with the sort orders the entry view offers.
#pragma once

#include "zip/ZipContainers.h"
#include "zip/ZipRecords.h"

namespace qv {

enum TZipSortMode : int {
    ByName = 0,
    ByFileName,
    ByDirectoryName,
    ByDate,
    ByCompressedSize,
    ByUnCompressedSize,
    ByRate,
    ByNone,
};

class TSortedZip : public TSortedObjectList<TZipHeaderInfo>
{
public:
    explicit TSortedZip(TDuplicates duplicates, bool ownsObjects = true)
        : TSortedObjectList<TZipHeaderInfo>(duplicates, ownsObjects)
    {
    }

    TZipSortMode SortMode = ByNone;

    // Negative when key1 sorts first. Names compare case-insensitively (ASCII letters); dates,
    // sizes and rates sort largest first; ByNone keeps the physical order of the archive.
    int Compare(const TZipHeaderInfo *key1, const TZipHeaderInfo *key2) const override;

    // A strict order that agrees with Compare except that ties keep their given order; used to
    // sort many entries at once.
    bool SortsBefore(const TZipHeaderInfo *a, const TZipHeaderInfo *b) const;
    // Replaces the contents with `items` sorted by the sort mode (stable), in linear-logarithmic
    // time.
    void Load(std::vector<TZipHeaderInfo *> items);
};

} // namespace qv
