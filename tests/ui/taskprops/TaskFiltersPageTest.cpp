// The filter list page: order and selection, check boxes into the draft, the filter test of the draft.
// qv-test-labels: gui
#include "TaskPageTestSupport.h"

#include "components/MessageBox.h"
#include "components/TranslateForm.h"
#include "core/settings/Settings.h"
#include "core/text/Language.h"
#include "platform/fake/FakeDesktop.h"
#include "ui/taskprops/TaskFiltersPage.h"

#include "support/FakeFileDialogs.h"
#include "support/TestEnv.h"

#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace qv;
using taskpagetest::FakeTaskContext;
using taskpagetest::wildcardFilter;

namespace {

std::vector<std::string> masks(const TTaskFiltersList &list)
{
    std::vector<std::string> out;
    for (const TTaskFilterItem &f : list.Items) {
        out.push_back(f.fnWildcard);
    }
    return out;
}

std::vector<std::string> rowTexts(const TaskFiltersPage &page)
{
    std::vector<std::string> out;
    for (int i = 0; i < page.FilesFilterListView->topLevelItemCount(); ++i) {
        out.push_back(page.FilesFilterListView->topLevelItem(i)->text(0).toStdString());
    }
    return out;
}

struct PageWithTask {
    std::unique_ptr<TTask> task = std::make_unique<TTask>();
    std::unique_ptr<FakeTaskContext> context;
    TaskFiltersPage page;

    explicit PageWithTask(const std::vector<std::string> &filterMasks)
    {
        task->Name = "Photos";
        for (const std::string &m : filterMasks) {
            task->Filters.Add(wildcardFilter(m));
        }
        context = std::make_unique<FakeTaskContext>(task.get());
        page.setContext(context.get());
        page.load(context->draft());
    }
};

void writeFile(const std::string &path, const std::string &text)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << text;
}

struct BoxSeam {
    explicit BoxSeam(std::deque<int> answers = {}) { MessageBoxSeam::presetAnswers(std::move(answers)); }
    ~BoxSeam() { MessageBoxSeam::clear(); }
};

} // namespace

TEST(TaskFiltersPage, MoveKeepsTheSelectionOnTheMovedFilter)
{
    struct Case {
        int selected;
        int delta;
        std::vector<std::string> order;
        int selectedAfter;
    };
    const Case cases[] = {
        {1, -1, {"B", "A", "C"}, 0}, {1, +1, {"A", "C", "B"}, 2}, {0, -1, {"A", "B", "C"}, 0},
        {2, +1, {"A", "B", "C"}, 2}, {0, +1, {"B", "A", "C"}, 1},
    };
    for (const Case &c : cases) {
        PageWithTask p({"A", "B", "C"});
        p.page.selectRow(c.selected);
        p.page.moveFilter(c.delta);
        EXPECT_EQ(masks(p.page.filters()), c.order) << c.selected << " by " << c.delta;
        EXPECT_EQ(masks(p.context->draft().Filters), c.order) << "the draft follows at once";
        EXPECT_EQ(p.page.selectedRow(), c.selectedAfter);
        EXPECT_EQ(rowTexts(p.page).size(), 3u);
    }
}

TEST(TaskFiltersPage, MoveUpButtonOnTheMiddleRow)
{
    PageWithTask p({"A", "B", "C"});
    p.page.selectRow(1);
    ASSERT_TRUE(p.page.FilesFilterMoveUpButton->isEnabled());
    QTest::mouseClick(p.page.FilesFilterMoveUpButton, Qt::LeftButton);
    EXPECT_EQ(masks(p.page.filters()), (std::vector<std::string>{"B", "A", "C"}));
    EXPECT_EQ(p.page.selectedRow(), 0);
    EXPECT_FALSE(p.page.FilesFilterMoveUpButton->isEnabled()) << "now the first row";
    EXPECT_TRUE(p.page.FilesFilterMoveDownButton->isEnabled());
}

TEST(TaskFiltersPage, RemoveAsksAndSelectsTheRowAbove)
{
    struct Case {
        int removed;
        int answer;
        std::vector<std::string> left;
        int selectedAfter;
    };
    const Case cases[] = {
        {0, IDYES, {"B", "C"}, -1},
        {2, IDYES, {"A", "B"}, 1},
        {1, IDYES, {"A", "C"}, 0},
        {1, IDNO, {"A", "B", "C"}, 1},
    };
    for (const Case &c : cases) {
        BoxSeam seam({c.answer});
        PageWithTask p({"A", "B", "C"});
        p.page.selectRow(c.removed);
        const std::string caption = p.page.filters()[c.removed].GetStrCaption();
        QTest::mouseClick(p.page.FilesFilterRemoveButton, Qt::LeftButton);
        ASSERT_EQ(MessageBoxSeam::shown().size(), 1u);
        EXPECT_EQ(MessageBoxSeam::shown()[0].text.toStdString(), "Remove this filter (" + caption + ") from the list?");
        EXPECT_EQ(MessageBoxSeam::shown()[0].flags, unsigned(MB_YESNO | MB_ICONQUESTION));
        EXPECT_EQ(masks(p.page.filters()), c.left) << "row " << c.removed;
        EXPECT_EQ(masks(p.context->draft().Filters), c.left);
        EXPECT_EQ(p.page.selectedRow(), c.selectedAfter) << "row " << c.removed;
    }
}

TEST(TaskFiltersPage, AddPutsTheNewFilterOnTopAndCancelChangesNothing)
{
    PageWithTask p({"A", "B"});
    p.page.setFilterEditor([](TTaskFilterItem &item) {
        item.FilterType = fitExclude;
        item.fnWildcard = "*.tmp";
        return true;
    });
    QTest::mouseClick(p.page.FilesFilterAddButton, Qt::LeftButton);
    EXPECT_EQ(masks(p.page.filters()), (std::vector<std::string>{"*.tmp", "A", "B"}));
    EXPECT_EQ(p.page.selectedRow(), 0);
    EXPECT_EQ(p.context->draft().Filters.Count(), 3);

    p.page.setFilterEditor([](TTaskFilterItem &item) {
        item.fnWildcard = "changed";
        return false;
    });
    QTest::mouseClick(p.page.FilesFilterAddButton, Qt::LeftButton);
    p.page.selectRow(1);
    QTest::mouseClick(p.page.FilesFilterModifyButton, Qt::LeftButton);
    EXPECT_EQ(masks(p.page.filters()), (std::vector<std::string>{"*.tmp", "A", "B"}));
}

TEST(TaskFiltersPage, KeyboardToggleReachesTheDraftAtOnceAndCancelRestores)
{
    PageWithTask p({"A", "B", "C"});
    p.page.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&p.page));
    p.page.selectRow(1);
    p.page.FilesFilterListView->setFocus();
    QTest::keyClick(p.page.FilesFilterListView, Qt::Key_Space);
    EXPECT_FALSE(p.context->draft().Filters[1].Enabled) << "no mouse press needed";
    EXPECT_FALSE(p.page.filters()[1].Enabled);
    EXPECT_TRUE(p.context->draft().Filters[0].Enabled);
    // Cancel drops the draft: the stored task never saw the change.
    EXPECT_TRUE(p.task->Filters[1].Enabled);
    TaskSettings stored;
    p.page.store(stored);
    EXPECT_FALSE(stored.Filters[1].Enabled) << "OK would store it";
}

TEST(TaskFiltersPage, TwelveFiltersReorderedThenCancelLeaveTheStoredOrder)
{
    std::vector<std::string> twelve;
    for (int i = 0; i < 12; ++i) {
        twelve.push_back("*.e" + std::to_string(i));
    }
    PageWithTask p(twelve);
    for (int i = 11; i > 0; --i) {
        p.page.selectRow(i);
        p.page.moveFilter(-1);
    }
    EXPECT_EQ(p.page.filters()[0].fnWildcard, "*.e11");
    EXPECT_EQ(masks(p.task->Filters), twelve);
    // Cancel: a new dialog over the same task shows the stored order.
    FakeTaskContext again(p.task.get());
    TaskFiltersPage page;
    page.setContext(&again);
    page.load(again.draft());
    EXPECT_EQ(masks(page.filters()), twelve);
}

TEST(TaskFiltersPage, ButtonsFollowTheSelection)
{
    PageWithTask p({"A", "B", "C"});
    struct Case {
        int selected;
        bool modify, up, down;
    };
    for (const Case &c : {Case{-1, false, false, false}, Case{0, true, false, true}, Case{1, true, true, true},
                          Case{2, true, true, false}}) {
        p.page.selectRow(c.selected);
        EXPECT_EQ(p.page.FilesFilterModifyButton->isEnabled(), c.modify) << c.selected;
        EXPECT_EQ(p.page.FilesFilterRemoveButton->isEnabled(), c.modify) << c.selected;
        EXPECT_EQ(p.page.FilesFilterMoveUpButton->isEnabled(), c.up) << c.selected;
        EXPECT_EQ(p.page.FilesFilterMoveDownButton->isEnabled(), c.down) << c.selected;
    }
}

TEST(TaskFiltersPage, FilterTestRunsTheDraftsFiltersAndDestinationWithTheStoredSources)
{
    ResetSettingsToDefaults();
    const std::string base = qvtest::makeTempDir("filtertest");
    writeFile(base + "/src/keep.txt", "k");
    writeFile(base + "/src/skip.log", "s");
    writeFile(base + "/other/never.txt", "n");
    PageWithTask p({"*.log"});
    p.task->Source = base + "/src";
    p.task->DestLocal = base + "/stored-dest";
    p.context->draft().Source = base + "/other"; // unsaved: the test takes the stored sources
    p.context->draft().DestLocal = base + "/draft-dest";
    p.context->draft().Name = "Photos 2";
    p.page.setFilterEditor([](TTaskFilterItem &item) {
        item = wildcardFilter("*.txt");
        return true;
    });
    QTest::mouseClick(p.page.FilesFilterAddButton, Qt::LeftButton);
    p.page.selectRow(1);
    {
        BoxSeam yes({IDYES});
        QTest::mouseClick(p.page.FilesFilterRemoveButton, Qt::LeftButton);
    }
    ASSERT_EQ(masks(p.page.filters()), std::vector<std::string>{"*.txt"});

    FakeDesktop desktop;
    qvtest::FakeFileDialogs files;
    const std::string report = base + "/report.txt";
    files.answers = {QString::fromStdString(report)};
    QTest::mouseClick(p.page.FilesFilterTestButton, Qt::LeftButton);
    ASSERT_EQ(files.asked.size(), 1u);
    EXPECT_TRUE(files.asked[0].save);
    EXPECT_EQ(files.asked[0].request.fileName, "Photos 2 files list (filter test).txt");
    EXPECT_EQ(files.asked[0].request.folder, defaultDialogFolder());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !p.task->TestRunning(); }, 20000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !desktop.opened.empty(); }, 5000));

    std::ifstream in(report);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find(base + "/src/keep.txt - " + base + "/draft-dest/keep.txt"), std::string::npos) << text;
    EXPECT_EQ(text.find("skip.log"), std::string::npos) << text;
    EXPECT_EQ(text.find("never.txt"), std::string::npos) << text;
    QTest::qWait(50);
    EXPECT_EQ(desktop.opened, std::vector<std::string>{report}) << "opened once";
    EXPECT_EQ(masks(p.task->Filters), std::vector<std::string>{"*.log"}) << "the stored filters stay";
}

TEST(TaskFiltersPage, AReportInAFolderThatCannotTakeItIsRefusedBeforeTheScan)
{
    const std::string base = qvtest::makeTempDir("filterrefuse");
    writeFile(base + "/afile", "not a folder");
    PageWithTask p({"*"});
    p.task->Source = base;
    FakeDesktop desktop;
    qvtest::FakeFileDialogs files;
    files.answers = {QString::fromStdString(base + "/missing/r.txt"), QString::fromStdString(base + "/afile/r.txt"),
                     QString()};
    BoxSeam seam;
    QTest::mouseClick(p.page.FilesFilterTestButton, Qt::LeftButton);
    EXPECT_EQ(files.asked.size(), 3u) << "asked again after each refusal";
    ASSERT_EQ(MessageBoxSeam::shown().size(), 2u);
    EXPECT_TRUE(MessageBoxSeam::shown()[0].text.contains("missing/r.txt"));
    EXPECT_EQ(MessageBoxSeam::shown()[0].flags & 0xF0, unsigned(MB_ICONERROR));
    EXPECT_EQ(files.asked[1].request.folder.toStdString(), base + "/missing") << "asks again where it was";
    EXPECT_FALSE(p.task->TestRunning());
    EXPECT_TRUE(desktop.opened.empty());
}

TEST(TaskFiltersPage, ALanguageFileRenamesTheTestButton)
{
    SetLanguageFile(LanguageTable::parse("[ProjectPropertiesForm]\n"
                                         "ProjectPropertiesForm.FilesFilterTestButton.Caption=Filter testen...\n"
                                         "ProjectPropertiesForm.FilesFilterListView.Columns[0].Caption=Filterliste:\n"));
    QWidget form;
    form.setObjectName(QStringLiteral("ProjectPropertiesForm"));
    auto *page = new TaskFiltersPage(&form);
    TranslateForm(&form);
    EXPECT_EQ(page->FilesFilterTestButton->text(), "Filter testen...");
    EXPECT_EQ(page->FilesFilterListView->headerItem()->text(0), "Filterliste:");
    SetLanguageFile(nullptr);
}
