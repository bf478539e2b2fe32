// Every window and dialog of the program, opened and closed 100 times offscreen: with the leak
// checker's asan run (scripts/leak-check) a block kept by any of them shows as a leak.
#include "ui/HelpWindow.h"
#include "ui/SplashForm.h"
#include "support/TestEnv.h"

#include <QApplication>
#include <QWidget>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

struct DialogRow {
    const char *name;
    std::function<std::unique_ptr<QWidget>()> make;
};

// One row per window; a window added to the program gets its row here.
std::vector<DialogRow> dialogRows()
{
    static const std::string helpFolder = qvtest::makeTempDir("help");
    return {
        {"SplashForm", [] { return std::make_unique<qv::TSplashForm>(); }},
        {"HelpWindow", [] { return std::make_unique<qv::HelpWindow>(QString::fromStdString(helpFolder)); }},
    };
}

} // namespace

TEST(DialogCycle, EveryWindowOpensAndClosesAHundredTimes)
{
    for (const DialogRow &row : dialogRows()) {
        SCOPED_TRACE(row.name);
        for (int i = 0; i < 100; ++i) {
            std::unique_ptr<QWidget> w = row.make();
            ASSERT_TRUE(w);
            w->show();
            QApplication::processEvents();
            EXPECT_TRUE(w->isVisible());
            w->close();
            QApplication::processEvents();
        }
    }
}
