// The program's entry: one instance per user, the hand-over of a second start, the start-up
// sequence and the command line.
#pragma once

#include "ui/CommandLine.h"

#include <string>

namespace qv {

class TBackupData;
class TMainForm;

// Runs the program; returns its exit code. `argv` is read before Qt removes its own options.
int runProgram(int argc, char **argv);

// The command line acting on the task data and the main window.
class ProgramCommandSink : public CommandLineSink
{
public:
    ProgramCommandSink(TBackupData &data, TMainForm &form, bool headless)
        : m_data(data), m_form(form), m_headless(headless)
    {
    }
    void startProgramStartupTasks() override;
    void setTrayIconHidden(std::optional<bool> hidden) override;
    bool runGroup(const std::string &group) override;
    bool runTaskByName(const std::string &name) override;
    bool runTaskById(const std::string &id) override;
    void setSuspend(std::optional<bool> suspend) override;
    void setSilent(bool silent) override;
    void showHelp() override;
    void closeWindow() override;
    void exitNow() override;
    void setExitWhenIdle() override;
    void showAbout() override;
    void runAll() override;
    void systemStartup() override;

private:
    TBackupData &m_data;
    TMainForm &m_form;
    bool m_headless;
};

// The usage text of "--help".
std::string usageText();

} // namespace qv
