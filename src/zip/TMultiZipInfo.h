// The volume settings of the zip writer, and the volume modes the reader reports.
#pragma once

namespace qv {

// mmNone: one archive file. mmBlocks: volumes of a fixed size beside each other (see ZipVolumes).
// mmSpan: one volume per removable disk, each as large as the disk's free space allows (see
// ZipSpanOutput). WriteDiskLabels changes nothing: no file system is ever relabelled here, the
// "PKBACK# nnn" labels belong to floppy drives A and B; CheckDiskLabels makes a reader refuse a
// disk labelled as another disk of a set. SaveOnFirstDisk is the number of bytes left free on
// the first disk of a span. SaveZipInfoOnFirstDisk is kept and copied only.
enum TMultiMode : int { mmNone = 0, mmSpan, mmBlocks };

struct TMultiZipInfo
{
    int BlockSize = 1457600;
    int FirstBlockSize = 1457600;
    int SaveOnFirstDisk = 0;
    bool SaveZipInfoOnFirstDisk = false;
    TMultiMode MultiMode = mmNone;
    bool CheckDiskLabels = true;
    bool WriteDiskLabels = true;

    void Assign(const TMultiZipInfo &other) { *this = other; }
};

} // namespace qv
