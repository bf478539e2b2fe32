// The program tips as first shown (language files may replace any line): help topic, blank, text.
#pragma once

namespace qv {

inline constexpr const char *kProgramTips[] = {
    "/files/quickstart.html Press Ctrl+N to create a new task: choose the folders to back up, where the copies go and when the task runs.",
    "/files/tasklist.html Double-click a task, or select it and press Enter, to run it now.",
    "/files/tasklist.html Alt+Enter opens the properties of the selected task; Del removes it from the list after asking.",
    "/files/tasklist.html Right-click a task for its commands, among them opening its source or destination folder in the file manager.",
    "/files/tasklist.html Click a column header to sort the tasks by it; a second click reverses the order.",
    "/files/tasklist.html The View menu switches the task list between large icons, small icons, a list and details.",
    "/files/tasklist.html Duplicate copies a task with all its settings; give the copy a new name and change only what differs.",
    "/files/taskgroups.html Task groups keep the list tidy: drag a task onto a group in the tree to move it there.",
    "/files/taskgroups.html Double-click a group to run every task in it that is not already running.",
    "/files/taskgroups.html Deleting a group keeps its tasks: they are still listed under All Tasks.",
    "/files/taskgroups.html Reorder... in the group menu changes the order of the groups in the tree.",
    "/files/task.backuptype.html A simple copy only adds and updates files; an exact copy also removes destination files whose source is gone or that its filters now leave out.",
    "/files/task.backuptype.html Synchronisation copies newer files both ways, so two folders end up with the same contents.",
    "/files/task.backuptype.html A move copies the files and then removes them from the source folder.",
    "/files/task.source.html A task can back up several source folders; each one decides on its own whether its subfolders go too.",
    "/files/task.source.html Folder paths may hold variables such as %Date%, which are replaced each time the task runs.",
    "/files/task.destination.html A compressing task writes one zip archive instead of single files, with an optional password.",
    "/files/task.filefilter.html Filters are tested from the top down: put the exclude filters that matter most first.",
    "/files/filefilter.html A filter can select files by name mask, folder, date, size or attributes.",
    "/files/task.schedule.html A task can have several schedule entries, for instance every workday evening and once a month.",
    "/files/task.schedule.html A task can also start when files in its source folders change, after a delay you choose.",
    "/files/scheduleprop.html Schedule entries can run a task when the program starts or when you log out.",
    "/files/task.additionaloptions.html A task password stops others from changing or deleting the task.",
    "/files/task.additionaloptions.html Keep versions of overwritten files and copies of deleted ones in archive folders at the destination.",
    "/files/task.additionaloptions.html Each task keeps a log file; the log panel below the list shows the selected task's events.",
    "/files/task.additionaloptions.html A task can run a program before and after its backup, for instance to stop and restart a database.",
    "/files/task.name.html A global hot key can start a task even while the main window is hidden.",
    "/files/preferences.html Task's Defaults in the Options menu sets what every task uses unless it has its own values.",
    "/files/preferences.startup.html Closing the main window keeps Quorvellant running in the notification area, so scheduled tasks still run.",
    "/files/preferences.startup.html Quorvellant can start with your desktop session, hidden in the notification area.",
    "/files/preferences.protection.html Global Suspend pauses every running task at once; Disable Scheduler keeps scheduled tasks from starting.",
    "/files/preferences.language.html The interface language can be changed in the options; language files translate every window.",
    "/files/shortcut.html Create Task Shortcut puts a launcher for one task on your desktop or in the applications menu.",
    "/files/commandlineoptions.html Scripts can run tasks with command-line options, for instance by task name or group.",
    "/files/contents.html Press F1 in any window for help on what it shows.",
    "/files/quickstart.html Settings Maintenance in the Tools menu saves all tasks and options to a file and restores them later.",
};

} // namespace qv
