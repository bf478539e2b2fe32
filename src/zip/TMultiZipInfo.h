// The volume settings of the zip writer, and the volume modes the reader reports.
#pragma once

namespace qv {

// mmNone: one archive file. mmBlocks: volumes of a fixed size beside each other (see ZipVolumes).
// mmSpan: volumes on removable media changed between disks; not written here (no drive A or B
// to relabel, no medium to change), reported when read.
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
