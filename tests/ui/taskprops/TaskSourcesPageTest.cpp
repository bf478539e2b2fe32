// The source page: single and multi-folder modes, the rows' flags, Synchronize against several folders.
// qv-test-labels: gui
#include "TaskPageTestSupport.h"

#include "ui/taskprops/TaskSourcesPage.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace qv;

namespace {

TaskSettings withSource(const std::string &source, bool sub = true)
{
    TaskSettings s;
    s.Source = source;
    s.SourceIncludeSubfolders = sub;
    return s;
}

} // namespace

TEST(TaskSourcesPage, LoadAndStoreRoundTrip)
{
    struct Case {
        std::string source;
        bool multi;
        std::string edit;
        std::string stored;
    };
    const Case cases[] = {
        {"/data", false, "/data", "/data"},
        {"!>/a,\"|/b c\"", true, "", "!>/a,\"|/b c\""},
        {"!>/only", false, "/only", "/only"},
        {"", false, "", ""},
    };
    for (const Case &c : cases) {
        TaskSourcesPage page;
        page.load(withSource(c.source));
        EXPECT_EQ(page.multiMode(), c.multi) << c.source;
        EXPECT_EQ(page.SourceFolderEdit->text().toStdString(), c.edit) << c.source;
        TaskSettings out;
        page.store(out);
        EXPECT_EQ(out.Source, c.stored) << c.source;
    }
}

TEST(TaskSourcesPage, RowsCarryTheirFlagAndTwoRowsBlockTheSwitch)
{
    TaskSourcesPage page;
    page.load(withSource("!>/a,|/b"));
    ASSERT_TRUE(page.multiMode());
    ASSERT_EQ(page.SourceMultiFoldersList->topLevelItemCount(), 2);
    EXPECT_EQ(page.SourceMultiFoldersList->topLevelItem(0)->text(1), "Yes");
    EXPECT_EQ(page.SourceMultiFoldersList->topLevelItem(1)->text(1), "No");
    EXPECT_FALSE(page.SourceMultiSwitchLabel->isEnabled()) << "two rows";
    page.switchMode();
    EXPECT_TRUE(page.multiMode()) << "the switch refuses with two rows";

    page.selectRow(0);
    page.removeRow();
    EXPECT_EQ(page.selectedRow(), 0) << "the first row stays selected when the first goes";
    EXPECT_TRUE(page.SourceMultiSwitchLabel->isEnabled());
    page.switchMode();
    EXPECT_FALSE(page.multiMode());
    EXPECT_EQ(page.SourceFolderEdit->text(), "/b");
    EXPECT_FALSE(page.SourceIncSubfoldersCheckBox->isChecked()) << "the row's flag comes along";
    TaskSettings out;
    page.store(out);
    EXPECT_EQ(out.Source, "/b");
    EXPECT_FALSE(out.SourceIncludeSubfolders);
}

TEST(TaskSourcesPage, AddEditAndSwitchBuildTheList)
{
    TaskSourcesPage page;
    page.load(withSource("/first", true));
    page.switchMode();
    ASSERT_TRUE(page.multiMode());
    EXPECT_TRUE(page.SourceFolderEdit->text().isEmpty()) << "the folder became the first row";
    EXPECT_FALSE(page.SourceMultiAddButton->isEnabled());
    page.SourceFolderEdit->setText("/second");
    page.SourceIncSubfoldersCheckBox->setChecked(false);
    EXPECT_TRUE(page.SourceMultiAddButton->isEnabled());
    page.addRow();
    EXPECT_EQ(page.rows(), (std::vector<SourceFolderItem>{{"/first", true}, {"/second", false}}));

    page.selectRow(0);
    EXPECT_TRUE(page.SourceMultiEditButton->isEnabled());
    page.editRow();
    EXPECT_EQ(page.SourceFolderEdit->text(), "/first");
    EXPECT_TRUE(page.SourceIncSubfoldersCheckBox->isChecked());
    EXPECT_EQ(page.rows().size(), 1u);
}

TEST(TaskSourcesPage, SynchronizeAndSeveralFoldersExcludeEachOther)
{
    QWidget dialog;
    auto *sync = new QRadioButton(QStringLiteral("Synchronize"), &dialog);
    sync->setObjectName(QStringLiteral("BackupTypeSynchronizeRadioButton"));
    auto *page = new TaskSourcesPage(&dialog);
    page->load(withSource("/one"));

    sync->setChecked(true);
    page->updateSourceButtons();
    EXPECT_FALSE(page->SourceMultiSwitchLabel->isEnabled());
    page->switchMode();
    EXPECT_FALSE(page->multiMode()) << "Synchronize blocks multi-folder mode";

    sync->setChecked(false);
    page->updateSourceButtons();
    page->switchMode();
    EXPECT_TRUE(page->multiMode());
    EXPECT_FALSE(sync->isEnabled()) << "several folders: Synchronize cannot be chosen";
    page->switchMode();
    EXPECT_TRUE(sync->isEnabled());
}
