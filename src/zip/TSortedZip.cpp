// Sort orders of the archive directory.
#include "zip/TSortedZip.h"

#include "zip/ZipLib.h"

#include <algorithm>

namespace qv {
namespace {

int compareText(const std::string &a, const std::string &b)
{
    const int c = asciiLower(a).compare(asciiLower(b));
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

} // namespace

int TSortedZip::Compare(const TZipHeaderInfo *k1, const TZipHeaderInfo *k2) const
{
    switch (SortMode) {
    case ByName:
        return compareText(k1->FullName(), k2->FullName());
    case ByFileName:
        return compareText(k1->FileName(), k2->FileName());
    case ByDirectoryName:
        return compareText(k1->Directory(), k2->Directory());
    case ByDate:
        return dosDateTimeToDayCount(k2->DateTime) > dosDateTimeToDayCount(k1->DateTime) ? 1 : -1;
    case ByCompressedSize:
        return k2->CompressedSize > k1->CompressedSize ? 1 : -1;
    case ByUnCompressedSize:
        return k2->UncompressedSize > k1->UncompressedSize ? 1 : -1;
    case ByRate:
        return zipRate(static_cast<std::int64_t>(k2->CompressedSize),
                       static_cast<std::int64_t>(k2->UncompressedSize)) -
               zipRate(static_cast<std::int64_t>(k1->CompressedSize),
                       static_cast<std::int64_t>(k1->UncompressedSize));
    case ByNone:
        if (k1->DiskNumberStart != k2->DiskNumberStart) {
            return k1->DiskNumberStart < k2->DiskNumberStart ? -1 : 1;
        }
        return k1->RelativeOffset > k2->RelativeOffset    ? 1
               : k1->RelativeOffset == k2->RelativeOffset ? 0
                                                          : -1;
    }
    return -1;
}

bool TSortedZip::SortsBefore(const TZipHeaderInfo *a, const TZipHeaderInfo *b) const
{
    switch (SortMode) {
    case ByName:
    case ByFileName:
    case ByDirectoryName:
        return Compare(a, b) < 0;
    case ByDate:
        return dosDateTimeToDayCount(a->DateTime) > dosDateTimeToDayCount(b->DateTime);
    case ByCompressedSize:
        return a->CompressedSize > b->CompressedSize;
    case ByUnCompressedSize:
        return a->UncompressedSize > b->UncompressedSize;
    case ByRate:
        return Compare(a, b) < 0;
    case ByNone:
        return Compare(a, b) < 0;
    }
    return false;
}

void TSortedZip::Load(std::vector<TZipHeaderInfo *> items)
{
    std::stable_sort(items.begin(), items.end(),
                     [this](const TZipHeaderInfo *a, const TZipHeaderInfo *b) { return SortsBefore(a, b); });
    FreeAll();
    SetCapacity(static_cast<int>(items.size()));
    for (TZipHeaderInfo *e : items) {
        AppendInOrder(e);
    }
}

} // namespace qv
