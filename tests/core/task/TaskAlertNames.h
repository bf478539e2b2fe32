// The 105 alert values of a task as stored, in their stored order: mode, event, item. Typed out
// here so that the tests do not take them from the table they check.
#pragma once

namespace alerttest {

inline constexpr const char *kAlertValueNames[] = {
    "ScheduledStartDialog", "ScheduledStartBalloon", "ScheduledStartSound", "ScheduledStartSoundFile",
    "ScheduledStartEmailUse", "ScheduledStartEmail",
    "ScheduledFileDialog", "ScheduledFileBalloon", "ScheduledFileSound", "ScheduledFileSoundFile",
    "ScheduledDiskSpanDialog", "ScheduledDiskSpanBalloon", "ScheduledDiskSpanSound", "ScheduledDiskSpanSoundFile",
    "ScheduledDiskSpanEmailUse", "ScheduledDiskSpanEmail",
    "ScheduledErrorDialog", "ScheduledErrorBalloon", "ScheduledErrorSound", "ScheduledErrorSoundFile",
    "ScheduledErrorEmailUse", "ScheduledErrorEmail",
    "ScheduledWarningDialog", "ScheduledWarningBalloon", "ScheduledWarningSound", "ScheduledWarningSoundFile",
    "ScheduledWarningEmailUse", "ScheduledWarningEmail",
    "ScheduledFinishDialog", "ScheduledFinishBalloon", "ScheduledFinishSound", "ScheduledFinishSoundFile",
    "ScheduledFinishEmailUse", "ScheduledFinishEmail", "ScheduledFinishEmailSendLog",
    "ManualStartDialog", "ManualStartBalloon", "ManualStartSound", "ManualStartSoundFile",
    "ManualStartEmailUse", "ManualStartEmail",
    "ManualFileDialog", "ManualFileBalloon", "ManualFileSound", "ManualFileSoundFile",
    "ManualDiskSpanDialog", "ManualDiskSpanBalloon", "ManualDiskSpanSound", "ManualDiskSpanSoundFile",
    "ManualDiskSpanEmailUse", "ManualDiskSpanEmail",
    "ManualErrorDialog", "ManualErrorBalloon", "ManualErrorSound", "ManualErrorSoundFile",
    "ManualErrorEmailUse", "ManualErrorEmail",
    "ManualWarningDialog", "ManualWarningBalloon", "ManualWarningSound", "ManualWarningSoundFile",
    "ManualWarningEmailUse", "ManualWarningEmail",
    "ManualFinishDialog", "ManualFinishBalloon", "ManualFinishSound", "ManualFinishSoundFile",
    "ManualFinishEmailUse", "ManualFinishEmail", "ManualFinishEmailSendLog",
    "SilentStartDialog", "SilentStartBalloon", "SilentStartSound", "SilentStartSoundFile",
    "SilentStartEmailUse", "SilentStartEmail",
    "SilentFileDialog", "SilentFileBalloon", "SilentFileSound", "SilentFileSoundFile",
    "SilentDiskSpanDialog", "SilentDiskSpanBalloon", "SilentDiskSpanSound", "SilentDiskSpanSoundFile",
    "SilentDiskSpanEmailUse", "SilentDiskSpanEmail",
    "SilentErrorDialog", "SilentErrorBalloon", "SilentErrorSound", "SilentErrorSoundFile",
    "SilentErrorEmailUse", "SilentErrorEmail",
    "SilentWarningDialog", "SilentWarningBalloon", "SilentWarningSound", "SilentWarningSoundFile",
    "SilentWarningEmailUse", "SilentWarningEmail",
    "SilentFinishDialog", "SilentFinishBalloon", "SilentFinishSound", "SilentFinishSoundFile",
    "SilentFinishEmailUse", "SilentFinishEmail", "SilentFinishEmailSendLog",
};

static_assert(sizeof(kAlertValueNames) / sizeof(kAlertValueNames[0]) == 105);

} // namespace alerttest
