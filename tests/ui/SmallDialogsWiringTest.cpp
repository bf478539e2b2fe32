// The small dialogs installed into the main window: the commands that need them become enabled and
// open the real dialogs.
// qv-test-labels: gui
#include "MainFormCommandFixture.h"

#include "ui/SmallDialogs.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace {

class SmallDialogsWiring : public qvtest::MainFormCommandFixture
{
protected:
    void makeFormWith(bool installed)
    {
        form.reset();
        TMainFormServices s;
        s.tray = std::make_unique<qv::FakeTrayService>();
        s.hotKeys = &hotKeys;
        s.sessionEvents = &session;
        s.exitDrainMs = 10000;
        s.hardExit = [] {};
        if (installed) {
            qv::installSmallDialogs(s.dialogs);
        }
        form = std::make_unique<qv::TMainForm>(data.get(), std::move(s));
    }
};

TEST_F(SmallDialogsWiring, InstalledEntriesEnableTheirCommands)
{
    const char *const actions[] = {
        "actTaskGroupNew", "actTaskGroupReorder",          "actToolsCreateShortcut",
        "actHelpAbout",    "actOtherTrayAboutQuorvellant", "actTaskDelete"};
    for (bool installed : {false, true}) {
        SCOPED_TRACE(installed ? "installed" : "not installed");
        makeFormWith(installed);
        ASSERT_TRUE(selectByName("Camera roll"));
        form->CheckState();
        for (const char *name : actions) {
            EXPECT_EQ(act(name)->isEnabled(), installed) << name;
        }
    }
}

TEST_F(SmallDialogsWiring, NewGroupOpensTheGroupNameDialog)
{
    makeFormWith(true);
    form->CheckState();
    bool opened = false;
    QTimer::singleShot(0, [&] {
        auto *d = QApplication::activeModalWidget();
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->objectName(), "GroupPropForm");
        opened = true;
        d->findChild<QLineEdit *>("NameEdit")->setText("Music");
        d->findChild<QPushButton *>("OKButton")->click();
    });
    act("actTaskGroupNew")->trigger();
    EXPECT_TRUE(opened);
    EXPECT_NE(std::find(data->Groups.begin(), data->Groups.end(), "Music"), data->Groups.end());
}

} // namespace
