// Screenshots of the options dialog on X11: every page and every panel of the task defaults.
#include "core/settings/Settings.h"
#include "ui/options/PrefsDefaultsPage.h"
#include "ui/options/PrefsForm.h"

#include "support/TestEnv.h"

#include <QDir>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

using namespace qv;

namespace {

void shoot(QWidget &form, const QString &name)
{
    QTest::qWait(50);
    const QString dir = QString::fromStdString(qvtest::binPath("../screenshots/options"));
    QDir().mkpath(dir);
    const QString file = dir + "/" + name + ".png";
    EXPECT_TRUE(form.grab().save(file)) << file.toStdString();
}

} // namespace

TEST(PrefsScreenshots, EveryPageAndPanel)
{
    ResetSettingsToDefaults();
    qvtest::writeFile(qgetenv("XDG_DATA_HOME").toStdString() + "/quorvellant/lang/german.lng", "[Misc]\n");
    qvtest::writeFile(qgetenv("XDG_DATA_HOME").toStdString() + "/quorvellant/lang/pt.br.lng", "[Misc]\n");
    Language = "german.lng";
    TPrefsForm form;
    form.fill(0);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const char *pages[] = {"0-startup", "1-performance", "2-logdisplay", "3-language"};
    for (int i = 0; i < 4; ++i) {
        form.MainPageControl->setCurrentIndex(i);
        shoot(form, QString::fromLatin1(pages[i]));
    }
    form.MainPageControl->setCurrentIndex(TPrefsForm::TaskDefaultsPage);
    for (int node = 0; node < PrefsDefaultsPage::NodeCount; ++node) {
        form.TaskDefaultsTabSheet->selectNode(node);
        shoot(form, QStringLiteral("4-defaults-%1").arg(node));
    }
    form.reject();
}
