// Task properties dialog: time to construct the dialog and fill it from a task, against Qt's own
// file dialog built in the same run as the peer.
//
// Usage: QT_QPA_PLATFORM=offscreen taskprops_bench [ROUNDS=30]
#include "core/settings/Settings.h"
#include "core/runs/Task.h"
#include "ui/taskprops/ProjectPropertiesForm.h"

#include <QApplication>
#include <QFileDialog>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {

double medianMs(int rounds, const std::function<void()> &work)
{
    std::vector<double> ms;
    for (int i = 0; i < rounds; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        QApplication::processEvents();
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    qv::ResetSettingsToDefaults();
    qv::TTask task;
    task.Name = "Benchmark";
    task.Source = "/tmp";
    const double construct = medianMs(rounds, [&] { qv::TProjectPropertiesForm form(task); });
    const double constructAndFill = medianMs(rounds, [&] {
        qv::TProjectPropertiesForm form(task);
        form.loadDraft();
    });
    const double peer = medianMs(rounds, [] {
        QFileDialog dialog(nullptr, QStringLiteral("Peer"), QStringLiteral("/tmp"));
        dialog.setOption(QFileDialog::DontUseNativeDialog);
    });
    std::printf("task properties dialog: construct %.1f ms, construct+fill %.1f ms (median of %d)\n", construct,
                constructAndFill, rounds);
    std::printf("peer QFileDialog (non-native): %.1f ms; ratio construct+fill / peer = %.2f\n", peer,
                peer > 0 ? constructAndFill / peer : 0.0);
    return 0;
}
