// The program's entry and the command line's actions.
#include "ui/ProgramEntry.h"

#include "QvVersion.h"
#include "components/LangText.h"
#include "components/MessageBox.h"
#include "components/TrayIcon.h"
#include "core/runs/BackupData.h"
#include "core/settings/MessageCategory.h"
#include "core/text/Language.h"
#include "core/settings/Settings.h"
#include "core/runs/RunQueue.h"
#include "core/runs/TaskRunFlags.h"
#include "platform/NmcliDialer.h"
#include "platform/RegistryStore.h"
#include "platform/SingleInstance.h"
#include "platform/gui/DesktopLayers.h"
#include "platform/gui/TrayService.h"
#include "core/runs/AlertDispatcher.h"
#include "ui/Alerter.h"
#include "ui/DamagedStore.h"
#include "ui/Help.h"
#include "ui/HelpTopics.h"
#include "ui/MainForm.h"
#include "ui/MainFormDialogs.h"
#include "ui/SmallDialogs.h"
#include "ui/maintenance/MaintenanceForm.h"
#include "ui/taskprops/ProjectPropertiesForm.h"
#include "ui/SplashForm.h"
#include "ui/SystemTimerForm.h"
#include "ui/options/PrefsForm.h"
#include "core/schedule/TaskSchedulerControl.h"

#include <QApplication>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace qv {

std::string usageText()
{
    return "Usage: quorvellant [OPTION]...\n"
           "Backs up and synchronises folders. Options are not case-sensitive; \"--NAME\" is \"/NAME\".\n\n"
           "  /RUNPROJECT=NAME       start every idle task with that name\n"
           "  /RUNPROJECTBYID=ID     start the task with that ID\n"
           "  /RUNGROUP=GROUP        start every idle task of the group (\"All Tasks\": every task)\n"
           "  /RUNALL                start every idle task that belongs to no group\n"
           "  /SYSTEMSTARTUP         start the tasks scheduled at system start-up\n"
           "  /SUSPEND=ON|OFF        suspend or resume the running tasks\n"
           "  /SILENT=ON|OFF         use the silent-mode alerts\n"
           "  /ICON=ON|OFF           show or hide the tray icon\n"
           "  /EXITWHENIDLE          end about 30 seconds after the last task finished\n"
           "  /EXIT                  close the main window\n"
           "  /EXITNOW               stop the tasks, save and end the program\n"
           "  /SHOW                  show the main window\n"
           "  /SHOWABOUTBOX          show the about box\n"
           "  /HELP, /?              open the help on these options\n"
           "  --help                 print this text and exit\n"
           "  --version              print the version and exit\n\n"
           "A second start hands its options to the running program and ends once the program has\n"
           "taken them (what they open, such as the about box, shows after that).\n\n"
           "Exit status: 0 when every task run the program carried out did all it was asked;\n"
           "1 when a run was aborted, or a group, task name or ID names nothing (a start that was\n"
           "only asked to run such names ends at once); 2 for an unknown option; 3 when a run\n"
           "finished but something it was asked for was not done (a file not copied, replaced,\n"
           "moved or deleted; the task's log says what). A second start exits 0, or 1 when a name\n"
           "it handed over names nothing.\n";
}

void ProgramCommandSink::startProgramStartupTasks()
{
    m_data.StartAtProgramStartup();
}

void ProgramCommandSink::setTrayIconHidden(std::optional<bool> hidden)
{
    if (hidden) {
        StartupHideTrayIcon = *hidden;
    }
    m_form.trayIcon()->setIconVisible(!StartupHideTrayIcon);
}

namespace {

// A group is known by the group list, by "All Tasks", or by a task that still carries its name
// after the group itself was deleted.
bool groupKnown(TBackupData &data, const std::string &group)
{
    return group == TBackupData::AllTasksGroupName() ||
           std::find(data.Groups.begin(), data.Groups.end(), group) != data.Groups.end() ||
           data.GetGroupTaskCount(group) > 0;
}

bool taskNameKnown(TBackupData &data, const std::string &name)
{
    for (int i = 0; i < data.Tasks.Count(); ++i) {
        if (data.Tasks[i]->Name == name) {
            return true;
        }
    }
    return false;
}

// Answers which names of a handed-over line name nothing, and does nothing else: the start that
// handed the line over has its answer at once, and the running copy acts on the line afterwards,
// so that a dialog the line opens (the about box, a task's start alert) keeps nobody waiting.
class NameLookup : public CommandLineSink
{
public:
    explicit NameLookup(TBackupData &data) : m_data(data) {}
    void startProgramStartupTasks() override {}
    void setTrayIconHidden(std::optional<bool>) override {}
    bool runGroup(const std::string &group) override { return groupKnown(m_data, group); }
    bool runTaskByName(const std::string &name) override { return taskNameKnown(m_data, name); }
    bool runTaskById(const std::string &id) override { return m_data.FindTaskByID(id) != nullptr; }
    void setSuspend(std::optional<bool>) override {}
    void setSilent(bool) override {}
    void showHelp() override {}
    void closeWindow() override {}
    void exitNow() override {}
    void setExitWhenIdle() override {}
    void showAbout() override {}
    void runAll() override {}
    void systemStartup() override {}

private:
    TBackupData &m_data;
};

} // namespace

bool ProgramCommandSink::runGroup(const std::string &group)
{
    const bool known = groupKnown(m_data, group);
    m_data.RunGroup(group, kStartAutomatic);
    return known;
}

bool ProgramCommandSink::runTaskByName(const std::string &name)
{
    const bool known = taskNameKnown(m_data, name);
    m_data.RunTaskByName(name, kStartAutomatic);
    return known;
}

bool ProgramCommandSink::runTaskById(const std::string &id)
{
    const bool known = m_data.FindTaskByID(id) != nullptr;
    m_data.RunTaskByID(id, kStartAutomatic);
    return known;
}

void ProgramCommandSink::setSuspend(std::optional<bool> suspend)
{
    if (suspend) {
        Suspend = *suspend;
    }
    m_data.ApplyGlobalSuspend();
    m_form.CheckState();
}

void ProgramCommandSink::setSilent(bool silent)
{
    SilentMode = silent;
}

void ProgramCommandSink::showHelp()
{
    if (m_headless) {
        std::fprintf(stderr, "quorvellant: /HELP ignored: there is no display\n");
        return;
    }
    help::ShowHelpTopic(QString::fromLatin1(HelpTopics::kCommandLineOptions));
}

void ProgramCommandSink::closeWindow()
{
    QTimer::singleShot(0, &m_form, [form = &m_form] { form->close(); });
}

void ProgramCommandSink::exitNow()
{
    // After the hand-over has been answered: the way out may end the process.
    QTimer::singleShot(0, &m_form, [form = &m_form] { form->exitProgram(); });
}

void ProgramCommandSink::setExitWhenIdle()
{
    ExitWhenIdle = true;
}

void ProgramCommandSink::showAbout()
{
    if (m_headless) {
        std::fprintf(stderr, "quorvellant: /SHOWABOUTBOX ignored: there is no display\n");
        return;
    }
    if (programDialogs().hasAbout()) {
        programDialogs().about(&m_form);
    }
}

void ProgramCommandSink::runAll()
{
    m_data.RunGroup(std::string(), kStartAutomatic);
}

void ProgramCommandSink::systemStartup()
{
    m_data.StartAtSystemStartup();
}

namespace {

// QV_COMMAND_LOG=FILE: every processed argument list is appended to FILE, one line per list
// ("own" or "handed restore=0|1", then the arguments separated by the unit separator), so that
// the hand-over can be checked from outside the process.
void traceCommandLine(const char *origin, const std::vector<std::string> &args, bool restore)
{
    const char *path = std::getenv("QV_COMMAND_LOG");
    if (path == nullptr || *path == '\0') {
        return;
    }
    if (std::FILE *f = std::fopen(path, "a")) {
        std::fprintf(f, "%s restore=%d", origin, restore ? 1 : 0);
        for (const std::string &a : args) {
            std::fputc('\x1f', f);
            std::fputs(a.c_str(), f);
        }
        std::fputc('\n', f);
        std::fclose(f);
    }
}

void printProblems(const std::vector<std::string> &problems)
{
    for (const std::string &p : problems) {
        std::fprintf(stderr, "quorvellant: %s\n", p.c_str());
    }
}

// With a display the user who started the program (or a shortcut of a task deleted since) also
// sees them; the box waits until the command line's caller has had its answer.
QString problemsText(const std::vector<std::string> &problems)
{
    QString text = langText("The command line could not be carried out:", "strCommandLineProblems");
    for (const std::string &p : problems) {
        text += QLatin1Char('\n') + QString::fromStdString(p);
    }
    return text;
}

void showProblems(TMainForm *form, const std::vector<std::string> &problems, bool headless)
{
    if (problems.empty() || headless) {
        return;
    }
    QTimer::singleShot(0, form, [form, text = problemsText(problems)] { ShowError(form, text); });
}

} // namespace

int runProgram(int argc, char **argv)
{
    // The toolkit reads its own options (-style, -display, -reverse, ...) from argv itself. The
    // display asked for is also the one the start checks and the programs it starts use.
    const std::vector<std::string> args =
        withoutToolkitOptions(std::vector<std::string>(argv + 1, argv + argc));
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "-display") == 0) {
            qputenv("DISPLAY", argv[i + 1]);
        }
    }
    for (const std::string &a : args) {
        if (a == "--help") {
            std::fputs(usageText().c_str(), stdout);
            return 0;
        }
        if (a == "--version") {
            std::printf("Quorvellant %s\n", QV_VERSION_STRING);
            return 0;
        }
    }
    // A mistake in the options ends the start before anything is handed over or started.
    if (const std::vector<std::string> mistakes = commandLineMistakes(args); !mistakes.empty()) {
        printProblems(mistakes);
        return 2;
    }
    // The hand-over comes first: a second start never opens a display or touches the store.
    const bool headless = !displayReachable();
    SingleInstance instance;
    std::string error;
    switch (instance.start(args, wantsRestore(args), headless, error)) {
    case SingleInstance::Role::HandedOver:
        printProblems(instance.reportedProblems());
        return instance.reportedProblems().empty() ? 0 : 1;
    case SingleInstance::Role::Failed:
        std::fprintf(stderr, "quorvellant: %s\n", error.c_str());
        return 1;
    case SingleInstance::Role::Primary:
        break;
    }
    if (headless) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        keepOutputToOwnMessages(); // the offscreen platform's warnings are no news to the user
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvellant"));
    QApplication::setApplicationVersion(QStringLiteral(QV_VERSION_STRING));
    QApplication::setQuitOnLastWindowClosed(false);
    MessageBoxSeam::setHeadless(headless);
    SetSystemTimerEditor(&SystemTimerForm::edit);

    // Dial-up entries of tasks are NetworkManager profiles, brought up and down through nmcli.
    NmcliDialer networkManager;
    setDialer(&networkManager);
    // A damaged store never passes for an empty one: the user chooses before anything is read.
    if (!acceptSettingsStore(nullptr, RegistryStore::storePath(), headless)) {
        setDialer(nullptr);
        return 1;
    }
    LoadSettings();
    if (!Language.empty()) {
        if (auto table = LoadLanguageFile(Language)) {
            SetLanguageFile(table);
        }
    }
    installSmallDialogs(programDialogs());
    installMaintenanceWizard(programDialogs());
    installPreferencesDialog(programDialogs());
    installTaskPropertiesDialog(programDialogs());
    auto data = std::make_unique<TBackupData>();
    BackupData = data.get();
    const std::vector<std::string> problems = data->LoadFromRegistry();

    std::unique_ptr<TSplashForm> splash;
    if (StartupShowSplash && !headless) {
        splash = std::make_unique<TSplashForm>();
        splash->show();
        QApplication::processEvents();
    }
    TMainForm::Services services;
    services.dialogs = programDialogs();
    if (headless) {
        services.tray = createNoTrayService();
    }
    auto form = std::make_unique<TMainForm>(data.get(), std::move(services));
    if (splash) {
        splash->closeWhenShown(form.get());
    }
    for (const std::string &p : problems) {
        std::fprintf(stderr, "quorvellant: %s\n", p.c_str());
    }
    if (!problems.empty() && !headless) {
        std::string text;
        for (const std::string &p : problems) {
            text += p + "\n";
        }
        ShowError(form.get(), QString::fromStdString(text));
    }
    // Alerts of real runs reach the user from here on; without a display no dialog and no balloon.
    TAlerter alerts({[&form] { return form ? form->trayIcon() : nullptr; }, headless, {}});
    setAlerter(&alerts);
    ProgramCommandSink sink(*data, *form, headless);
    traceCommandLine("own", args, false);
    if (hasShowSwitch(args)) {
        form->showAtStart();
    }
    const std::vector<std::string> ownProblems = ProcessCommandLine(args, sink, false);
    printProblems(ownProblems);
    // A start only asked to run tasks, none of which exists (a timer or shortcut of a task deleted
    // since), has nothing to do: it ends at once, once a user with a display has read why.
    const bool nothingToDo = onlyRunsOfNothing(args, ownProblems.size()) && data->RunningCount() == 0;
    if (nothingToDo && !headless) {
        ShowError(form.get(), problemsText(ownProblems));
    } else if (!nothingToDo) {
        showProblems(form.get(), ownProblems, headless);
    }
    // Hand-overs waited in the socket's queue until the program's own line was processed. The
    // answer goes back once the line is taken; the line is carried out right after.
    NameLookup lookup(*data);
    instance.setReady([&sink, &form, &lookup, headless](const HandOver &h) {
        traceCommandLine("handed", h.args, h.restore);
        std::vector<std::string> problems = ProcessCommandLine(h.args, lookup, true);
        QTimer::singleShot(0, form.get(), [&sink, &form, headless, h] {
            if (h.restore) {
                form->ShowAndRaise();
            }
            showProblems(form.get(), ProcessCommandLine(h.args, sink, true), headless);
        });
        return problems;
    });
    int rc = nothingToDo ? 1 : QApplication::exec();
    if (rc == 0 && !ownProblems.empty()) {
        rc = 1; // started with a name or ID that named nothing
    }
    if (rc == 0) {
        rc = exitStatusOf(RunQueue::instance().worstBackupEnd());
    }
    setAlerter(nullptr);
    setDialer(nullptr);
    form.reset();
    splash.reset();
    BackupData = nullptr;
    data.reset();
    return rc;
}

} // namespace qv
