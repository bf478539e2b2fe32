// Screenshots of the folder dialog on X11: the system's language, German (Austria) and Polish.
// qv-test-labels: gui x11
// qv-test-run: xvfb
#include "components/FolderBrowseRules.h"
#include "components/TFolderBrowseDialog.h"

#include "support/TestEnv.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdio>

using namespace qv;

namespace {

// Opens the dialog on a deep folder, saves a picture of it and cancels; returns what the title line
// and the button said.
std::pair<QString, QString> shoot(TFolderBrowseDialog &dialog, const QString &file)
{
    const QString base = QString::fromStdString(qvtest::makeTempDir("shots"));
    const QString deep = base + "/Data/Projects/2004/Reports/Monthly/January/Summaries";
    EXPECT_TRUE(QDir().mkpath(deep + "/Week 1"));
    EXPECT_TRUE(QDir().mkpath(deep + "/Week 2"));
    dialog.setFolder(deep);
    std::pair<QString, QString> texts;
    dialog.OnInitialized = [&](TFolderBrowseDialog &, QWidget *w) {
        QTimer::singleShot(300, w, [&, w] {
            texts = {w->findChild<QLabel *>("TitleLabel")->text() + " " +
                         w->findChild<QLabel *>("StatusLabel")->text(),
                     w->findChild<QPushButton *>("NewFolderButton")->text()};
            const QString dir = QString::fromStdString(qvtest::binPath("../screenshots"));
            QDir().mkpath(dir);
            EXPECT_TRUE(w->grab().save(dir + "/" + file)) << file.toStdString();
            static_cast<QDialog *>(w)->reject();
        });
    };
    EXPECT_FALSE(dialog.Execute());
    return texts;
}

TEST(FolderDialogScreenshots, GermanAndPolish)
{
    const std::tuple<const char *, const char *, const char *, const char *> cases[] = {
        {"de_AT", "FolderBrowseDialog-de_AT.png", "Ausgewählter Ordner:", "Neuer Ordner"},
        {"pl_PL", "FolderBrowseDialog-pl_PL.png", "Bieżący folder", "Nowy folder"},
    };
    for (const auto &[locale, file, title, button] : cases) {
        QLocale::setDefault(QLocale(QString::fromLatin1(locale)));
        TFolderBrowseDialog dialog;
        dialog.setLanguageKey(languageKeyFor(QLocale(QString::fromLatin1(locale))));
        const auto [shownTitle, shownButton] = shoot(dialog, QString::fromLatin1(file));
        EXPECT_TRUE(shownTitle.startsWith(QString::fromUtf8(title))) << shownTitle.toStdString();
        EXPECT_TRUE(shownTitle.endsWith("/.../2004/Reports/Monthly/January/Summaries") ||
                    shownTitle.contains("/..."))
            << shownTitle.toStdString();
        EXPECT_EQ(shownButton, QString::fromUtf8(button));
    }
    QLocale::setDefault(QLocale::c());
}

// The captions of the system's own language (run with LC_ALL=de_AT.UTF-8 or pl_PL.UTF-8 to see them).
TEST(FolderDialogScreenshots, SystemLanguage)
{
    TFolderBrowseDialog dialog;
    EXPECT_EQ(dialog.languageKey(), languageKeyFor(QLocale::system()));
    const auto [title, button] = shoot(dialog, QStringLiteral("FolderBrowseDialog-system.png"));
    std::printf("system locale %s, key %s: \"%s\" / \"%s\"\n", QLocale::system().name().toUtf8().constData(),
                dialog.languageKey().toUtf8().constData(), title.toUtf8().constData(),
                button.toUtf8().constData());
    EXPECT_EQ(button, dialog.newFolderCaption());
}

} // namespace
