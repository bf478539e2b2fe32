// Message boxes through QMessageBox, or through the test and headless seam.
#include "components/MessageBox.h"

#include "components/LangText.h"
#include "core/text/Language.h"

#include <QMessageBox>
#include <QTimer>

#include <utility>

namespace qv {
namespace {

std::deque<int> g_preset;
std::vector<ShownMessageBox> g_shown;
bool g_headless = false;
bool g_recording = false;

// The answer Enter gives: the first button, or the second with MB_DEFBUTTON2.
int defaultAnswer(unsigned flags)
{
    const bool second = (flags & MB_DEFBUTTON2) != 0;
    switch (flags & 0x0f) {
    case MB_YESNO:
    case MB_YESNOCANCEL:
        return second ? IDNO : IDYES;
    case MB_OKCANCEL:
        return second ? IDCANCEL : IDOK;
    default:
        return IDOK;
    }
}

QMessageBox::StandardButton buttonOf(int answer)
{
    switch (answer) {
    case IDYES:
        return QMessageBox::Yes;
    case IDNO:
        return QMessageBox::No;
    case IDCANCEL:
        return QMessageBox::Cancel;
    default:
        return QMessageBox::Ok;
    }
}

int runDialog(QWidget *parent, const QString &text, const QString &title, unsigned flags,
              const std::function<bool()> &stillAsked = {})
{
    QMessageBox box(parent);
    QTimer watch;
    if (stillAsked) {
        QObject::connect(&watch, &QTimer::timeout, &box, [&box, &stillAsked] {
            if (!stillAsked()) {
                box.done(QMessageBox::Cancel);
            }
        });
        watch.start(100);
    }
    box.setWindowTitle(title);
    box.setText(text);
    switch (flags & 0xf0) {
    case MB_ICONERROR:
        box.setIcon(QMessageBox::Critical);
        break;
    case MB_ICONQUESTION:
        box.setIcon(QMessageBox::Question);
        break;
    case MB_ICONWARNING:
        box.setIcon(QMessageBox::Warning);
        break;
    case MB_ICONINFORMATION:
        box.setIcon(QMessageBox::Information);
        break;
    default:
        break;
    }
    switch (flags & 0x0f) {
    case MB_OKCANCEL:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case MB_YESNOCANCEL:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    case MB_YESNO:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    default:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    }
    box.setDefaultButton(buttonOf(defaultAnswer(flags)));
    switch (box.exec()) {
    case QMessageBox::Ok:
        return IDOK;
    case QMessageBox::Yes:
        return IDYES;
    case QMessageBox::No:
        return IDNO;
    default:
        return IDCANCEL;
    }
}

} // namespace

int ShowMessageBox(QWidget *parent, const QString &text, const QString &title, unsigned flags)
{
    int answer = 0;
    if (!g_preset.empty()) {
        answer = g_preset.front();
        g_preset.pop_front();
    } else if (g_headless || g_recording) {
        answer = defaultAnswer(flags);
    } else {
        answer = runDialog(parent, text, title, flags);
    }
    if (g_recording || g_headless) {
        g_shown.push_back({text, title, flags, answer});
    }
    return answer;
}

int ShowMessageBoxWhile(QWidget *parent, const QString &text, const QString &title, unsigned flags,
                        const std::function<bool()> &stillAsked)
{
    if (!g_preset.empty() || g_headless || g_recording) {
        if (!stillAsked()) {
            if (g_recording || g_headless) {
                g_shown.push_back({text, title, flags, IDCANCEL});
            }
            return IDCANCEL;
        }
        return ShowMessageBox(parent, text, title, flags);
    }
    return runDialog(parent, text, title, flags, stillAsked);
}

void ShowError(QWidget *parent, const QString &text)
{
    ShowMessageBox(parent, text, langText("Error", "strError"), MB_OK | MB_ICONERROR);
}

void ShowInformation(QWidget *parent, const QString &text)
{
    ShowMessageBox(parent, text, langText("Information", "strInformation"), MB_OK | MB_ICONINFORMATION);
}

bool AskQuestion(QWidget *parent, const QString &text)
{
    return ShowMessageBox(parent, text, langText("Confirmation", "strConfirmation"), MB_YESNO | MB_ICONQUESTION) == IDYES;
}

bool AskWarningQuestion(QWidget *parent, const QString &text)
{
    return ShowMessageBox(parent, text, langText("Warning", "strWarning"), MB_YESNO | MB_ICONWARNING) == IDYES;
}

namespace MessageBoxSeam {

void presetAnswers(std::deque<int> answers)
{
    g_preset = std::move(answers);
    g_recording = true;
}

const std::vector<ShownMessageBox> &shown()
{
    return g_shown;
}

void clear()
{
    g_shown.clear();
    g_preset.clear();
    g_recording = true;
}

void setHeadless(bool headless)
{
    g_headless = headless;
}

bool headless()
{
    return g_headless;
}

} // namespace MessageBoxSeam
} // namespace qv
