// Activity log panel benchmark: 100,000 file lines logged while the panel shows the task.
//
// Offscreen, log file off. Lines arrive as a backup thread hands them over: in batches, each batch
// followed by a turn of the event loop (which coalesces the appends and paints the panel). Prints
// the main thread's time per 10,000 events, first and last block, and, as a control in the same
// run, Qt's item model with one row item set per event.
#include "core/log/TaskLogger.h"
#include "ui/ActivityLogView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QStandardItemModel>
#include <QTreeView>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct NoFileSettings : qv::LogSettingsSource {
    bool logEnabled() const override { return false; }
    std::string logFileName() const override { return {}; }
    int logMaxSize() const override { return 0; }
    bool logIncludeSummary() const override { return true; }
    bool logIncludeFiles() const override { return true; }
    bool logIncludeSkipping() const override { return true; }
    bool logIncludeWarnings() const override { return true; }
    bool logIncludeErrors() const override { return true; }
};

constexpr int kTotal = 100000;
constexpr int kBlock = 10000;
int kBatch = 200; // lines per hand-over of a busy copying thread (first argument)

std::string fileLine(int i)
{
    return "Copied /home/user/Documents/projects/report-" + std::to_string(i) + ".odt";
}

// Milliseconds of main-thread work per block of kBlock events.
std::vector<double> panelRun()
{
    NoFileSettings settings;
    qv::TTaskLogger logger(&settings);
    qv::ActivityLogView view;
    view.resize(800, 300);
    view.show();
    view.logModel()->setLogger(&logger);
    qv::setActivityLogNotifier([&view](const qv::TTaskLogger &l, qv::LogChange c) { view.loggerChanged(l, c); });
    std::vector<double> blocks;
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < kTotal; ++i) {
        logger.Add(qv::kLogFile, fileLine(i));
        if ((i + 1) % kBatch == 0) {
            QApplication::processEvents();
        }
        if ((i + 1) % kBlock == 0) {
            QApplication::processEvents();
            blocks.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
            t.restart();
        }
    }
    qv::setActivityLogNotifier(nullptr);
    return blocks;
}

std::vector<double> controlRun()
{
    QStandardItemModel model(0, 4);
    QTreeView view;
    view.setUniformRowHeights(true);
    view.setModel(&model);
    view.resize(800, 300);
    view.show();
    std::vector<double> blocks;
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < kTotal; ++i) {
        model.appendRow({new QStandardItem(QString::number(i + 1)), new QStandardItem(QStringLiteral("6/12/26")),
                         new QStandardItem(QStringLiteral("21:00:00")),
                         new QStandardItem(QString::fromStdString(fileLine(i)))});
        if ((i + 1) % kBatch == 0) {
            view.scrollToBottom();
            QApplication::processEvents();
        }
        if ((i + 1) % kBlock == 0) {
            QApplication::processEvents();
            blocks.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
            t.restart();
        }
    }
    return blocks;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Arguments: [batch size] [--panel-only] (the latter to profile the panel alone).
    bool panelOnly = false;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--panel-only") {
            panelOnly = true;
        } else {
            kBatch = std::max(1, std::atoi(argv[i]));
        }
    }
    const std::vector<double> panel = panelRun();
    if (panelOnly) {
        std::printf("panel ms per %d events: first %.1f, last %.1f\n", kBlock, panel.front(), panel.back());
        return 0;
    }
    const std::vector<double> control = controlRun();
    std::printf("activity log panel, %d file lines in batches of %d, log file off\n", kTotal, kBatch);
    std::printf("  panel   ms per %d events: first %.1f, last %.1f (last/first %.2f)\n", kBlock, panel.front(),
                panel.back(), panel.back() / panel.front());
    std::printf("  control ms per %d events: first %.1f, last %.1f (Qt item model, one item set per event)\n",
                kBlock, control.front(), control.back());
    double p = 0;
    double c = 0;
    for (std::size_t i = 0; i < panel.size(); ++i) {
        p += panel[i];
        c += control[i];
    }
    std::printf("  total: panel %.1f ms, control %.1f ms, panel/control %.2f\n", p, c, p / c);
    return 0;
}
