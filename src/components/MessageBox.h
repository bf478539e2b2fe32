// Message boxes of the program, with a seam for tests and for runs without a display.
//
// Callers use the Windows-style flags the program's texts were written for (buttons in the low
// nibble, icon in the next, the default button above); the answer is IDOK, IDYES, IDNO or
// IDCANCEL. Tests queue preset answers and read back what was shown; a headless program answers
// every box with its default button (the first, or the second with MB_DEFBUTTON2) without showing
// anything.
#pragma once

#include <QString>

#include <deque>
#include <functional>
#include <vector>

class QWidget;

namespace qv {

enum MessageBoxFlags : unsigned {
    MB_OK = 0x00,
    MB_OKCANCEL = 0x01,
    MB_YESNOCANCEL = 0x03,
    MB_YESNO = 0x04,
    MB_ICONERROR = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONWARNING = 0x30,
    MB_ICONINFORMATION = 0x40,
    MB_DEFBUTTON2 = 0x100, // Enter answers with the second button (No, Cancel): the safe answer
};

enum MessageBoxResult : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

struct ShownMessageBox {
    QString text;
    QString title;
    unsigned flags = 0;
    int answer = 0;
};

// Shows a modal message box (or answers it through the seam) and returns the button pressed.
int ShowMessageBox(QWidget *parent, const QString &text, const QString &title, unsigned flags);

// A question about something that may end while it is shown (a run asked to stop): the box closes,
// answered IDCANCEL, as soon as `stillAsked` turns false. Through the seam it takes its preset or
// default answer, or IDCANCEL when `stillAsked` is already false.
int ShowMessageBoxWhile(QWidget *parent, const QString &text, const QString &title, unsigned flags,
                        const std::function<bool()> &stillAsked);
// The four kinds the program uses, titled by the localised "Error", "Confirmation", "Warning" and
// "Information".
void ShowError(QWidget *parent, const QString &text);
void ShowInformation(QWidget *parent, const QString &text);
bool AskQuestion(QWidget *parent, const QString &text);        // Yes/No, question icon
bool AskWarningQuestion(QWidget *parent, const QString &text); // Yes/No, exclamation icon

namespace MessageBoxSeam {
// Test mode: from the first call of presetAnswers or clear on, no box is shown. Each box consumes
// the next preset answer, or takes its default button when none is left.
void presetAnswers(std::deque<int> answers);
// Every box asked for since the last clear, with the answer it got.
const std::vector<ShownMessageBox> &shown();
void clear();
// With no display every box takes its default button without showing.
void setHeadless(bool headless);
bool headless();
} // namespace MessageBoxSeam

} // namespace qv
