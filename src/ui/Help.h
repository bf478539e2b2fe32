// Help: the program's HTML topics, shown in the in-program help window.
//
// The help "file" is the folder of HTML topics (installed as share/quorvellant/help). A request
// names the folder and a topic path separated by "::", as "<folder>::/files/task.source.html".
// The Help buttons send F1, and F1 opens the topic of the focused control (its "helpKeyword"
// property, else its window's).
#pragma once

#include <QString>

#include <functional>

class QUrl;
class QWidget;

namespace qv::help {

enum HelpCommand { HH_DISPLAY_TOPIC = 0, HH_DISPLAY_TOC = 1, HH_DISPLAY_INDEX = 2, HH_HELP_CONTEXT = 15, HH_CLOSE_ALL = 18 };

// The application's help folder. Found beside the program (../share/quorvellant/help), in the
// installation's data folder or in the source tree, unless set.
QString applicationHelpFile();
void setApplicationHelpFile(const QString &folder);

// Runs one help command. Returns 1 when the topic, contents or index was shown, 0 when the help
// folder or the page is missing (the callers then show ShowHelpFileError).
int HtmlHelp(QWidget *owner, const QString &fileAndTopic, int command, int data = 0);

// Opens a topic of the application's help; a missing page shows "Can't open help file (%s).".
bool ShowHelpTopic(const QString &topic);
void ShowHelpFileError();
// Contents and index of the main window's Help menu (with the error box on failure).
bool ShowHelpContents();
bool ShowHelpIndex();

// F1: the topic for a keyword; a missing page does nothing.
bool ShowHelpKeyword(const QString &keyword);
// The keyword of a widget: its own "helpKeyword" property, else the nearest parent's.
QString helpKeywordOf(const QWidget *widget);
// Installs the application-wide F1 handler once.
void installHelpKeyHandler();
// Simulates the F1 press of a Help button: the focused control's topic.
void sendHelpKey(QWidget *from);

// The local path of a topic ("" when the page does not exist).
QString topicPath(const QString &helpFolder, const QString &topic);

// Opens a page in the desktop's browser (ShellOpen: a failure is reported like any other).
bool openInBrowser(const QUrl &url);

} // namespace qv::help
