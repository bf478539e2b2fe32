// TranslateForm: applies the loaded language file to a window's texts when it is created.
//
// The window's section is named after its object name. Keys are Form + ".Caption" (the window
// title), and for each named child Comp: Form.Comp.Caption (a group box's or menu's title, a tab
// page's tab text, an action's or a button's or label's text), Form.Comp.Hint (the tool tip),
// Form.Comp.lines[n] (line n of a plain-text edit), Form.Comp.items[n] (combo item n) and
// Form.Comp.Columns[n].Caption (header section n of a tree or table view). Empty or missing
// values change nothing, except that a memo line or combo item present with an empty value is
// emptied. Lines, items and columns are never added or removed.
#pragma once

#include <QList>

class QObject;
class QWidget;

namespace qv {

class LanguageTable;

// Translates each window with the loaded language file; nothing without one.
void TranslateForm(const QList<QWidget *> &forms);
void TranslateForm(QWidget *form);
// The same with an explicit table (tests, and a preview in the options dialog).
void TranslateFormWith(const LanguageTable &table, QWidget *form);

} // namespace qv
