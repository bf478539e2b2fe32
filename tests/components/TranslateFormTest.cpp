// TranslateForm on an offscreen window built the way the program's forms are.
#include "components/TranslateForm.h"
#include "core/text/Language.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace qv;

namespace {

struct Form {
    QDialog dialog;
    QLabel *label;
    QPushButton *button;
    QGroupBox *group;
    QCheckBox *check;
    QLineEdit *edit;
    QPlainTextEdit *memo;
    QComboBox *combo;
    QTreeWidget *tree;
    QTableView *table;
    QStandardItemModel *model;
    QTabWidget *tabs;
    QWidget *page;
    QMenu *menu;
    QAction *action;

    Form()
    {
        dialog.setObjectName("TestForm");
        dialog.setWindowTitle("Test");
        auto *layout = new QVBoxLayout(&dialog);
        auto add = [&](auto *w, const char *name) {
            w->setObjectName(name);
            layout->addWidget(w);
            return w;
        };
        label = add(new QLabel("Label"), "NameLabel");
        button = add(new QPushButton("OK"), "OkButton");
        group = add(new QGroupBox("Group"), "OptionsGroupBox");
        check = new QCheckBox("Check", group);
        check->setObjectName("LogCheckBox");
        edit = add(new QLineEdit("typed text"), "NameEdit");
        memo = add(new QPlainTextEdit("line 0\nline 1\nline 2"), "InfoMemo");
        combo = add(new QComboBox, "KindComboBox");
        combo->addItems({"Simple", "Mirror", "Move"});
        tree = add(new QTreeWidget, "TaskListView");
        tree->setHeaderLabels({"Name", "Type", "Last run"});
        table = add(new QTableView, "LogView");
        model = new QStandardItemModel(0, 2, table);
        model->setHorizontalHeaderLabels({"Time", "Event"});
        table->setModel(model);
        tabs = add(new QTabWidget, "PageControl");
        page = new QWidget;
        page->setObjectName("GeneralTabSheet");
        tabs->addTab(page, "General");
        menu = new QMenu("File", &dialog);
        menu->setObjectName("FileMenu");
        action = new QAction("Exit", &dialog);
        action->setObjectName("ExitAction");
        menu->addAction(action);
    }
};

const char *const kFile = "[TestForm]\n"
                          "TestForm.Caption=Testfenster\n"
                          "TestForm.NameLabel.Caption=Name:\n"
                          "TestForm.NameLabel.Hint=Der Name\n"
                          "TestForm.OkButton.Caption=Weiter\n"
                          "TestForm.OptionsGroupBox.Caption=Optionen\n"
                          "TestForm.LogCheckBox.Caption=Protokoll\n"
                          "TestForm.NameEdit.Caption=must not replace typed text\n"
                          "TestForm.NameEdit.Hint=Eingabe\n"
                          "TestForm.InfoMemo.lines[0]=Zeile null\n"
                          "TestForm.InfoMemo.lines[2]=\n"
                          "TestForm.InfoMemo.lines[5]=no such line\n"
                          "TestForm.KindComboBox.items[1]=Spiegel\n"
                          "TestForm.KindComboBox.items[7]=no such item\n"
                          "TestForm.TaskListView.Columns[2].Caption=Letzter Lauf\n"
                          "TestForm.TaskListView.Columns[0].Caption=\n"
                          "TestForm.LogView.Columns[1].Caption=Ereignis\n"
                          "TestForm.GeneralTabSheet.Caption=Allgemein\n"
                          "TestForm.FileMenu.Caption=Datei\n"
                          "TestForm.ExitAction.Caption=Beenden\n"
                          "TestForm.ExitAction.Hint=Programm beenden\n"
                          "TestForm.OkButton.Hint=\n"
                          "testform.okbutton.caption=the first key counts\n"
                          "TestForm.okbutton.Caption=component names match as written\n";

} // namespace

class TranslateFormWidgets : public ::testing::Test
{
protected:
    void TearDown() override { SetLanguageFile(nullptr); }
};

TEST_F(TranslateFormWidgets, EveryKindOfComponentTakesItsText)
{
    Form f;
    f.button->setToolTip("keep me");
    SetLanguageFile(LanguageTable::parse(kFile, "de.lng"));
    TranslateForm(QList<QWidget *>{&f.dialog});
    struct Case {
        const char *what;
        QString got, want;
    };
    const std::vector<Case> cases = {
        {"window title", f.dialog.windowTitle(), "Testfenster"},
        {"label", f.label->text(), "Name:"},
        {"label hint", f.label->toolTip(), "Der Name"},
        {"button", f.button->text(), "Weiter"},
        {"empty hint keeps the old one", f.button->toolTip(), "keep me"},
        {"group box title", f.group->title(), "Optionen"},
        {"check box in a group", f.check->text(), "Protokoll"},
        {"edit box has no caption", f.edit->text(), "typed text"},
        {"edit box hint", f.edit->toolTip(), "Eingabe"},
        {"memo", f.memo->toPlainText(), "Zeile null\nline 1\n"},
        {"combo item 0 kept", f.combo->itemText(0), "Simple"},
        {"combo item 1", f.combo->itemText(1), "Spiegel"},
        {"tree column 0 kept (empty value)", f.tree->headerItem()->text(0), "Name"},
        {"tree column 2", f.tree->headerItem()->text(2), "Letzter Lauf"},
        {"table column 0 kept", f.model->headerData(0, Qt::Horizontal).toString(), "Time"},
        {"table column 1", f.model->headerData(1, Qt::Horizontal).toString(), "Ereignis"},
        {"tab text", f.tabs->tabText(0), "Allgemein"},
        {"menu title", f.menu->title(), "Datei"},
        {"action text", f.action->text(), "Beenden"},
        {"action hint", f.action->toolTip(), "Programm beenden"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(c.got.toStdString(), c.want.toStdString()) << c.what;
    }
    EXPECT_EQ(f.combo->count(), 3);
    EXPECT_EQ(f.memo->document()->blockCount(), 3);
    EXPECT_EQ(f.tree->columnCount(), 3);
}

TEST_F(TranslateFormWidgets, NothingChangesWithoutAFileOrForAnotherForm)
{
    Form f;
    TranslateForm(&f.dialog);
    EXPECT_EQ(f.dialog.windowTitle().toStdString(), "Test");
    EXPECT_EQ(f.button->text().toStdString(), "OK");
    SetLanguageFile(LanguageTable::parse("[OtherForm]\nOtherForm.Caption=x\nTestForm.Caption=wrong section\n"));
    TranslateForm(&f.dialog);
    EXPECT_EQ(f.dialog.windowTitle().toStdString(), "Test");
    EXPECT_EQ(f.memo->toPlainText().toStdString(), "line 0\nline 1\nline 2");
}
