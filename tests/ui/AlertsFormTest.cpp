// The alert dialog: buttons by letters, answers of Esc and close, the remembered position.
// qv-test-labels: gui
#include "ui/AlertsForm.h"

#include "core/engine/BackupTypes.h"
#include "support/TestEnv.h"
#include "ui/AlertsRules.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

using namespace qv;

// Runs `act` on the alert dialog once it is shown modally.
void whenShown(std::function<void(TAlertsForm *)> act)
{
    QTimer::singleShot(0, [act] {
        auto *form = qobject_cast<TAlertsForm *>(QApplication::activeModalWidget());
        if (form == nullptr) {
            whenShown(act);
            return;
        }
        act(form);
    });
}

TEST(AlertsRules, ButtonRowIsCentredWithAPitchOf87)
{
    struct Case {
        const char *buttons;
        std::vector<std::pair<char, int>> places; // letter, left
    };
    const Case cases[] = {
        {"CS", {{'C', 138}, {'S', 225}}},
        {"S", {{'S', 182}}},
        {"O", {{'O', 182}}},
        {"RS", {{'R', 138}, {'S', 225}}},
        {"CXS", {{'C', 95}, {'S', 269}}}, // the X place stays empty
        {"", {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.buttons);
        std::vector<std::pair<char, int>> got;
        for (const AlertButtonPlace &p : alertButtonPlaces(c.buttons, 450)) {
            got.emplace_back(p.letter, p.left);
        }
        EXPECT_EQ(got, c.places);
    }
}

TEST(AlertsRules, ResultsAndEscAnswers)
{
    const std::pair<char, int> results[] = {{'C', 6}, {'S', 3}, {'O', 6}, {'Y', 6}, {'I', 5},
                                            {'R', 4}, {'K', 7}, {'X', 0}, {'c', 0}};
    for (const auto &[letter, result] : results) {
        EXPECT_EQ(alertButtonResult(letter), result) << letter;
    }
    const std::pair<const char *, int> esc[] = {{"CS", 3}, {"S", 3}, {"O", 6}, {"RS", 3}, {"CXS", 3},
                                                {"OS", 3}, {"YI", 3}, {"", 3}};
    for (const auto &[buttons, result] : esc) {
        EXPECT_EQ(alertEscResult(buttons), result) << buttons;
    }
}

TEST(AlertsForm, ShowsTheButtonsAskedForWhereTheRulesPutThem)
{
    TAlertsForm form;
    EXPECT_EQ(form.objectName(), "AlertsForm");
    EXPECT_EQ(form.windowTitle(), "Quorvellant Alert");
    for (const char *buttons : {"CS", "S", "O", "RS", "CXS"}) {
        SCOPED_TRACE(buttons);
        form.setup("Nightly", akWarning, buttons, "Two sources share a destination.");
        const auto places = alertButtonPlaces(buttons, 450);
        int visible = 0;
        for (char letter : std::string("CSOYIRK")) {
            visible += form.button(letter)->isVisibleTo(&form) ? 1 : 0;
        }
        EXPECT_EQ(visible, static_cast<int>(places.size()));
        for (const AlertButtonPlace &p : places) {
            EXPECT_TRUE(form.button(p.letter)->isVisibleTo(&form));
            EXPECT_EQ(form.button(p.letter)->geometry(), QRect(p.left, 6, 81, 23));
        }
    }
    form.setup("Nightly", akFinish, "O", "done");
    for (int event = 0; event < 7; ++event) {
        EXPECT_EQ(form.picture(event)->isVisibleTo(&form), event == akFinish);
        EXPECT_FALSE(form.picture(event)->pixmap().isNull());
    }
    EXPECT_EQ(form.findChild<QLabel *>("TopProjectLabel")->text(), "Task: Nightly");
    EXPECT_EQ(form.findChild<QLabel *>("TopActionLabel")->text(), "Backup Finished");
}

TEST(AlertsForm, EscAndCloseGiveTheEscAnswerAndButtonsTheirOwn)
{
    struct Case {
        const char *buttons;
        std::function<void(TAlertsForm *)> act;
        int result;
    };
    auto esc = [](TAlertsForm *f) { QTest::keyClick(f, Qt::Key_Escape); };
    auto close = [](TAlertsForm *f) { f->close(); };
    auto click = [](char letter) { return [letter](TAlertsForm *f) { f->button(letter)->click(); }; };
    const Case cases[] = {
        {"CS", esc, 3},  {"CS", close, 3},  {"S", esc, 3},       {"S", close, 3},       {"O", esc, 6},
        {"O", close, 6}, {"RS", esc, 3},    {"RS", close, 3},    {"CXS", esc, 3},       {"CXS", close, 3},
        {"CS", click('C'), 6}, {"RS", click('R'), 4}, {"OK", click('K'), 7},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.buttons);
        TAlertsForm form;
        form.setup("T", akError, c.buttons, "m");
        whenShown(c.act);
        EXPECT_EQ(form.execAlert(), c.result);
    }
}

TEST(AlertsForm, TheSecondDialogOpensWhereTheFirstWasLeft)
{
    TAlertsForm::forgetPosition();
    {
        TAlertsForm first;
        first.setup("T", akStart, "CS", "Backup started.");
        whenShown([](TAlertsForm *f) {
            f->move(140, 90);
            f->button('C')->click();
        });
        EXPECT_EQ(first.execAlert(), aaContinue);
    }
    ASSERT_TRUE(TAlertsForm::rememberedPosition().has_value());
    EXPECT_EQ(*TAlertsForm::rememberedPosition(), QPoint(140, 90));
    TAlertsForm second;
    second.setup("T", akFinish, "O", "Backup finished.");
    QPoint shownAt;
    whenShown([&shownAt](TAlertsForm *f) {
        shownAt = f->pos();
        f->button('O')->click();
    });
    second.execAlert();
    EXPECT_EQ(shownAt, QPoint(140, 90));
    TAlertsForm::forgetPosition();
}

TEST(AlertsForm, ScreenshotOfAContinueOrStopAlert)
{
    TAlertsForm form;
    form.setup("Documents to USB stick", akStart, "CS", "Backup started.");
    form.show();
    QApplication::processEvents();
    const QString dir = QString::fromStdString(qvtest::binPath("../screenshots"));
    QDir().mkpath(dir);
    EXPECT_TRUE(form.grab().save(dir + "/alert-cs.png"));
}

} // namespace
