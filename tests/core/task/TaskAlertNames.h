// The 105 alert values of a task as stored, in their stored order: mode, event, item. Typed out
// here so that the tests do not take them from the table they check. Each name is also the field
// of TEventAlertValues that holds it, so a test reaches every field by name, not through the table.
#pragma once

#define QV_TEST_ALERT_VALUES(X) \
    X(ScheduledStartDialog) X(ScheduledStartBalloon) X(ScheduledStartSound) X(ScheduledStartSoundFile) \
    X(ScheduledStartEmailUse) X(ScheduledStartEmail) X(ScheduledFileDialog) X(ScheduledFileBalloon) \
    X(ScheduledFileSound) X(ScheduledFileSoundFile) X(ScheduledDiskSpanDialog) X(ScheduledDiskSpanBalloon) \
    X(ScheduledDiskSpanSound) X(ScheduledDiskSpanSoundFile) X(ScheduledDiskSpanEmailUse) X(ScheduledDiskSpanEmail) \
    X(ScheduledErrorDialog) X(ScheduledErrorBalloon) X(ScheduledErrorSound) X(ScheduledErrorSoundFile) \
    X(ScheduledErrorEmailUse) X(ScheduledErrorEmail) X(ScheduledWarningDialog) X(ScheduledWarningBalloon) \
    X(ScheduledWarningSound) X(ScheduledWarningSoundFile) X(ScheduledWarningEmailUse) X(ScheduledWarningEmail) \
    X(ScheduledFinishDialog) X(ScheduledFinishBalloon) X(ScheduledFinishSound) X(ScheduledFinishSoundFile) \
    X(ScheduledFinishEmailUse) X(ScheduledFinishEmail) X(ScheduledFinishEmailSendLog) X(ManualStartDialog) \
    X(ManualStartBalloon) X(ManualStartSound) X(ManualStartSoundFile) X(ManualStartEmailUse) X(ManualStartEmail) \
    X(ManualFileDialog) X(ManualFileBalloon) X(ManualFileSound) X(ManualFileSoundFile) X(ManualDiskSpanDialog) \
    X(ManualDiskSpanBalloon) X(ManualDiskSpanSound) X(ManualDiskSpanSoundFile) X(ManualDiskSpanEmailUse) \
    X(ManualDiskSpanEmail) X(ManualErrorDialog) X(ManualErrorBalloon) X(ManualErrorSound) X(ManualErrorSoundFile) \
    X(ManualErrorEmailUse) X(ManualErrorEmail) X(ManualWarningDialog) X(ManualWarningBalloon) X(ManualWarningSound) \
    X(ManualWarningSoundFile) X(ManualWarningEmailUse) X(ManualWarningEmail) X(ManualFinishDialog) \
    X(ManualFinishBalloon) X(ManualFinishSound) X(ManualFinishSoundFile) X(ManualFinishEmailUse) X(ManualFinishEmail) \
    X(ManualFinishEmailSendLog) X(SilentStartDialog) X(SilentStartBalloon) X(SilentStartSound) \
    X(SilentStartSoundFile) X(SilentStartEmailUse) X(SilentStartEmail) X(SilentFileDialog) X(SilentFileBalloon) \
    X(SilentFileSound) X(SilentFileSoundFile) X(SilentDiskSpanDialog) X(SilentDiskSpanBalloon) X(SilentDiskSpanSound) \
    X(SilentDiskSpanSoundFile) X(SilentDiskSpanEmailUse) X(SilentDiskSpanEmail) X(SilentErrorDialog) \
    X(SilentErrorBalloon) X(SilentErrorSound) X(SilentErrorSoundFile) X(SilentErrorEmailUse) X(SilentErrorEmail) \
    X(SilentWarningDialog) X(SilentWarningBalloon) X(SilentWarningSound) X(SilentWarningSoundFile) \
    X(SilentWarningEmailUse) X(SilentWarningEmail) X(SilentFinishDialog) X(SilentFinishBalloon) X(SilentFinishSound) \
    X(SilentFinishSoundFile) X(SilentFinishEmailUse) X(SilentFinishEmail) X(SilentFinishEmailSendLog)

namespace alerttest {

#define QV_TEST_ALERT_NAME(n) #n,
inline constexpr const char *kAlertValueNames[] = {QV_TEST_ALERT_VALUES(QV_TEST_ALERT_NAME)};
#undef QV_TEST_ALERT_NAME

static_assert(sizeof(kAlertValueNames) / sizeof(kAlertValueNames[0]) == 105);

} // namespace alerttest
