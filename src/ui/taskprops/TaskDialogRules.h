// TaskDialogRules: which controls of the task properties dialog are enabled for the chosen backup
// type, destination and options, as a pure function over a small input.
//
// The rules run in a fixed order (a later one may read an earlier one's result: the compression
// fields follow whether the compression box itself is enabled). The settings groups' own rules
// live with their pages (TaskGroupPage::applyRule); the dialog applies both.
#pragma once

#include <string>
#include <vector>

class QWidget;

namespace qv {

struct TaskRulesInput {
    int type = -1;      // checked backup type 0..3 (simple, exact, move, synchronize); -1: none
    int destination = -1; // checked destination 0..3 (local, FTP, CD/DVD, e-mail); -1: none
    bool multiFolder = false;
    bool compressChecked = false;
    bool versionsChecked = false;
    bool obsoleteMoveChecked = false;
};

enum class EditPaint { Keep, Window, Face };

struct ControlState {
    std::string name;
    bool enabled = false;
    EditPaint paint = EditPaint::Keep;
    int rule = 0;
};

class TaskDialogRules
{
public:
    // Reads the controls of the dialog `form`.
    static TaskRulesInput read(const QWidget *form);
    // The state of every control the rules name, in rule order.
    static std::vector<ControlState> evaluate(const TaskRulesInput &in);
    // Writes the states into the dialog's controls.
    static void apply(QWidget *form, const std::vector<ControlState> &states);
    // Every control name the rules use.
    static std::vector<std::string> controlNames();
};

} // namespace qv
