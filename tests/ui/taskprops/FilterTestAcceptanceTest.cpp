// The filter test of the task properties dialog over a generated tree of 10,000 files, against find:
// include "*.txt" and exclude folders containing "tmp", set on the page and never saved.
// qv-test-labels: gui
// qv-test-timeout: 300
#include "TaskPageTestSupport.h"

#include "components/MessageBox.h"
#include "core/settings/Settings.h"
#include "platform/fake/FakeDesktop.h"
#include "ui/taskprops/TaskFiltersPage.h"

#include "support/FakeFileDialogs.h"
#include "support/TestEnv.h"

#include <QProcess>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>

using namespace qv;
using taskpagetest::FakeTaskContext;
using taskpagetest::wildcardFilter;

namespace {

namespace fs = std::filesystem;

// A folder whose path holds no "tmp" in any case, so that only the generated "tmp" folders match.
std::string freshRoot(const std::string &name)
{
    for (const std::string &parent : {qvtest::binPath("../filter-acceptance"), std::string("/dev/shm")}) {
        std::string lower = parent;
        for (char &c : lower) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        if (lower.find("tmp") != std::string::npos) {
            continue;
        }
        const std::string root = parent + "/" + name + "-" + std::to_string(::getpid());
        fs::remove_all(root);
        std::error_code ec;
        if (fs::create_directories(root, ec)) {
            return root;
        }
    }
    return {};
}

// 10,000 files in 200 folders; every eighth folder's path holds "tmp"; a third of the files are .txt.
void generateTree(const std::string &src)
{
    const char *exts[] = {".txt", ".log", ".dat"};
    int n = 0;
    for (int d = 0; d < 20; ++d) {
        for (int e = 0; e < 10; ++e) {
            const int folder = d * 10 + e;
            std::string dir = src + "/d" + std::to_string(d) + "/" +
                              (folder % 8 == 0 ? "build_tmp_" + std::to_string(e) : "e" + std::to_string(e));
            fs::create_directories(dir);
            for (int f = 0; f < 50; ++f, ++n) {
                std::ofstream(dir + "/f" + std::to_string(n) + exts[n % 3]) << n;
            }
        }
    }
}

std::set<std::string> findTxt(const std::string &src)
{
    QProcess find;
    find.start(QStringLiteral("find"), {QString::fromStdString(src), QStringLiteral("-name"), QStringLiteral("*.txt"),
                                        QStringLiteral("-not"), QStringLiteral("-path"), QStringLiteral("*tmp*")});
    EXPECT_TRUE(find.waitForFinished(60000));
    std::set<std::string> out;
    for (const QByteArray &line : find.readAllStandardOutput().split('\n')) {
        if (!line.isEmpty()) {
            out.insert(line.toStdString());
        }
    }
    return out;
}

std::set<std::string> reportFiles(const std::string &report, const std::string &src)
{
    std::ifstream in(report);
    std::set<std::string> out;
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t sep = line.find(" - ");
        // File lines only: folder lines end in "/".
        if (line.rfind(src + "/", 0) == 0 && sep != std::string::npos && line[sep - 1] != '/') {
            out.insert(line.substr(0, sep));
        }
    }
    return out;
}

struct Dialog {
    std::unique_ptr<TTask> task = std::make_unique<TTask>();
    std::unique_ptr<FakeTaskContext> context;
    std::unique_ptr<TaskFiltersPage> page = std::make_unique<TaskFiltersPage>();

    Dialog(const std::string &src, const std::string &dest)
    {
        task->Name = "Acceptance";
        task->Source = src;
        task->DestLocal = dest;
        task->Filters.Add(wildcardFilter("*")); // the stored filter: everything
        context = std::make_unique<FakeTaskContext>(task.get());
        page->setContext(context.get());
        page->load(context->draft());
        // Set in the dialog: include "*.txt", then exclude folders containing "tmp" above it.
        TTaskFilterItem exclude;
        exclude.FilterType = fitExclude;
        exclude.FilterKind = fikFolderName;
        exclude.frKind = frkContains;
        exclude.frContains = "tmp";
        for (const TTaskFilterItem &item : {wildcardFilter("*.txt"), exclude}) {
            page->setFilterEditor([item](TTaskFilterItem &edited) {
                edited = item;
                return true;
            });
            QTest::mouseClick(page->FilesFilterAddButton, Qt::LeftButton);
        }
        // Remove the stored "*", now at the bottom.
        page->selectRow(2);
        MessageBoxSeam::presetAnswers({IDYES});
        QTest::mouseClick(page->FilesFilterRemoveButton, Qt::LeftButton);
        MessageBoxSeam::clear();
    }
};

} // namespace

TEST(FilterTestAcceptance, ReportEqualsFindOverTenThousandFiles)
{
    ResetSettingsToDefaults();
    const std::string root = freshRoot("report");
    ASSERT_FALSE(root.empty()) << "no folder without \"tmp\" in its path could be made";
    const std::string src = root + "/SRC";
    generateTree(src);
    const std::set<std::string> expected = findTxt(src);
    ASSERT_GT(expected.size(), 2500u);

    Dialog dialog(src, root + "/dest");
    ASSERT_EQ(dialog.page->filters().Count(), 2);
    FakeDesktop desktop;
    qvtest::FakeFileDialogs files;
    const std::string report = root + "/report.txt";
    files.answers = {QString::fromStdString(report)};
    QTest::mouseClick(dialog.page->FilesFilterTestButton, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog.task->TestRunning(); }, 120000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !desktop.opened.empty(); }, 10000));
    EXPECT_EQ(reportFiles(report, src), expected);
    EXPECT_EQ(desktop.opened, std::vector<std::string>{report});
    EXPECT_EQ(dialog.task->Filters.Count(), 1) << "nothing was saved";
    fs::remove_all(root);
}

TEST(FilterTestAcceptance, DeletingEveryFilterAndCancelDuringTheTestChangeNothingOfIt)
{
    ResetSettingsToDefaults();
    const std::string root = freshRoot("cancel");
    ASSERT_FALSE(root.empty()) << "no folder without \"tmp\" in its path could be made";
    const std::string src = root + "/SRC";
    generateTree(src);
    const std::set<std::string> expected = findTxt(src);

    auto dialog = std::make_unique<Dialog>(src, root + "/dest");
    FakeDesktop desktop;
    qvtest::FakeFileDialogs files;
    const std::string report = root + "/report.txt";
    files.answers = {QString::fromStdString(report)};
    QTest::mouseClick(dialog->page->FilesFilterTestButton, Qt::LeftButton);
    ASSERT_TRUE(dialog->task->TestRunning());
    // While the test scans: every filter deleted, then Cancel (the page and its draft go).
    MessageBoxSeam::presetAnswers({IDYES, IDYES});
    while (dialog->page->filters().Count() > 0) {
        dialog->page->selectRow(0);
        QTest::mouseClick(dialog->page->FilesFilterRemoveButton, Qt::LeftButton);
    }
    MessageBoxSeam::clear();
    dialog->page.reset();
    dialog->context.reset();
    TTask *task = dialog->task.get();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !task->TestRunning(); }, 120000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !desktop.opened.empty(); }, 10000));
    EXPECT_EQ(reportFiles(report, src), expected) << "the test ran on the filters of the click";
    EXPECT_EQ(task->Filters.Count(), 1);
    fs::remove_all(root);
}
