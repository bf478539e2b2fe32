// The real program with three tasks on a desktop with a window manager (openbox), driven from
// outside with real clicks and keys: each task selected by a click or by the arrow keys is the one
// Return, the tool bar's Start, Alt+Return and Del act on (read from the tasks' log files, the
// dialogs' titles and the stored tasks); the last task goes with its log shown and the program
// carries on.
// qv-test-labels: x11 gui slow
// qv-test-run: xvfb
// qv-test-timeout: 480
#include "DesktopProgramFixture.h"

#include <QImage>
#include <QProcess>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <map>
#include <sstream>

namespace {

const std::string kRoot = "HKEY_CURRENT_USER\\Software\\Tavimundrelo\\Quorvellant";
const char *const kNames[] = {"Alpha", "Bravo", "Charlie"};

class TaskSelectionX11 : public DesktopProgramFixture
{
protected:
    void click(QPoint p)
    {
        // Away first: a move to where the pointer already is would wait for a motion that never comes.
        xdo({"mousemove", "--window", m_main, "0", "0"});
        xdo({"mousemove", "--window", m_main, "--sync", std::to_string(p.x()), std::to_string(p.y())});
        xdo({"click", "1"});
        std::this_thread::sleep_for(200ms);
    }
    QImage grab()
    {
        const std::string file = home + "/grab.png";
        qvtest::runCommand({"import", "-window", m_main, file});
        return QImage(QString::fromStdString(file)).convertToFormat(QImage::Format_ARGB32);
    }
    // Where `icon` is drawn in `shot` (its opaque pixels, within a small difference), top to bottom.
    static std::vector<QPoint> find(const QImage &shot, const QString &iconFile)
    {
        const QImage icon = QImage(iconFile).convertToFormat(QImage::Format_ARGB32);
        std::vector<QPoint> opaque;
        for (int y = 0; y < icon.height(); ++y) {
            for (int x = 0; x < icon.width(); ++x) {
                if (qAlpha(icon.pixel(x, y)) == 255) {
                    opaque.emplace_back(x, y);
                }
            }
        }
        std::vector<QPoint> found;
        for (int y = 0; y + icon.height() <= shot.height(); ++y) {
            for (int x = 0; x + icon.width() <= shot.width(); ++x) {
                bool same = !opaque.empty();
                for (const QPoint &p : opaque) {
                    const QRgb a = icon.pixel(p), b = shot.pixel(x + p.x(), y + p.y());
                    if (std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b)) > 24) {
                        same = false;
                        break;
                    }
                }
                const QPoint centre(x + icon.width() / 2, y + icon.height() / 2);
                // A match a pixel or two off the one found is the same drawing.
                if (same && std::none_of(found.begin(), found.end(), [&](QPoint f) {
                        return (f - centre).manhattanLength() < icon.width() / 2;
                    })) {
                    found.push_back(centre);
                }
            }
        }
        return found;
    }
    // The task's ID: 21 characters, as the program makes them.
    static std::string idOf(const std::string &name) { return "SELECTIONTASK0000000" + name.substr(0, 1); }
    std::string logOf(const std::string &name) { return home + "/logs/" + name + ".log"; }
    std::map<std::string, std::size_t> logSizes()
    {
        std::map<std::string, std::size_t> sizes;
        for (const char *name : kNames) {
            sizes[name] = qvtest::readFile(logOf(name)).size();
        }
        return sizes;
    }
    // The tasks whose log grew after `before`: waits for `expected` to grow, then a while for others.
    std::string ranSince(const std::map<std::string, std::size_t> &before, const std::string &expected)
    {
        (void)QTest::qWaitFor([&] { return logSizes()[expected] > before.at(expected); }, 30000);
        std::this_thread::sleep_for(1500ms);
        std::string ran;
        for (const auto &[name, size] : logSizes()) {
            if (size > before.at(name)) {
                ran += (ran.empty() ? "" : ",") + name;
            }
        }
        return ran;
    }
    std::string storedTasks()
    {
        std::vector<std::string> cmd = {"env"};
        cmd.insert(cmd.end(), env.begin(), env.end());
        cmd.insert(cmd.end(), {qvtest::binPath("qv-regtool"), "list", kRoot + "\\Tasks"});
        std::string names;
        std::istringstream keys(qvtest::runCommand(cmd).output);
        for (std::string line; std::getline(keys, line);) {
            names += line;
        }
        return names;
    }
    void importTasks()
    {
        std::ostringstream reg;
        reg << "REGEDIT4\r\n\r\n"
            << "[" << kRoot << "\\Main]\r\n\"FirstStart\"=dword:00000000\r\n\r\n"
            << "[" << kRoot << "\\Startup and Shutdown]\r\n\"StartupShowSplash\"=dword:00000000\r\n"
            << "\"StartupRunMinimized\"=dword:00000000\r\n\r\n";
        for (const char *name : kNames) {
            const std::string id = idOf(name);
            const std::string key = kRoot + "\\Tasks\\" + id;
            const std::string src = home + "/" + name + " source";
            qvtest::writeFile(src + "/" + name + ".txt", name);
            reg << "[" << key << "]\r\n\"Name\"=\"" << name << "\"\r\n\"ID\"=\"" << id
                << "\"\r\n\"TaskType\"=\"ttSimpleCopy\"\r\n\r\n"
                << "[" << key << "\\Source]\r\n\"Source\"=\"" << src << "\"\r\n\r\n"
                << "[" << key << "\\Destination]\r\n\"DestLocal\"=\"" << home << "/" << name << " copy\"\r\n\r\n"
                << "[" << key << "\\Log]\r\n\"UseDefault\"=dword:00000000\r\n\"Enabled\"=dword:00000001\r\n"
                << "\"FileName\"=\"" << logOf(name) << "\"\r\n\"IncludeSummary\"=dword:00000001\r\n"
                << "\"IncludeFiles\"=dword:00000001\r\n\"IncludeErrors\"=dword:00000001\r\n\r\n"
                << "[" << key << "\\Filters\\1]\r\n\"Enabled\"=dword:00000001\r\n"
                << "\"FilterType\"=\"fitInclude\"\r\n\"FilterKind\"=\"fikFileName\"\r\n\"fnKind\"=\"fnkWildcard\"\r\n"
                << "\"fnWildcard\"=\"*.*\"\r\n\r\n";
        }
        qvtest::writeFile(home + "/tasks.reg", reg.str());
        qvtest::writeFile(home + "/logs/.keep", "");
        std::vector<std::string> cmd = {"env"};
        cmd.insert(cmd.end(), env.begin(), env.end());
        cmd.insert(cmd.end(), {qvtest::binPath("qv-regtool"), "import", home + "/tasks.reg"});
        const auto r = qvtest::runCommand(cmd);
        ASSERT_EQ(r.exitCode, 0) << r.output;
    }

    std::string m_main;
};

TEST_F(TaskSelectionX11, CommandsActOnTheTaskSelectedByClickOrKeys)
{
    startDesktop(false, {"openbox", "xdotool", "xprop", "import"});
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    importTasks();
    const pid_t p = spawn({}, "program.log", env);
    m_main = window("^Quorvellant$");
    ASSERT_FALSE(m_main.empty()) << qvtest::readFile(home + "/program.log");
    xdo({"windowactivate", "--sync", m_main});
    std::this_thread::sleep_for(1s);

    // Nothing is selected yet: the three rows' icons, top to bottom (the list is sorted by name).
    std::vector<QPoint> rows = find(grab(), ":/icons/16/ICON_TasksImageList_0.png");
    ASSERT_EQ(rows.size(), 3u) << "the three tasks' rows";
    std::map<std::string, QPoint> at;
    for (int i = 0; i < 3; ++i) {
        at[kNames[i]] = rows[static_cast<std::size_t>(i)] + QPoint(40, 0); // on the name
    }
    click(at["Bravo"]);
    // Start is enabled by the click alone: its tool button shows its coloured icon.
    const std::vector<QPoint> start = find(grab(), ":/icons/32/ICON_MainImageList_3.png");
    ASSERT_EQ(start.size(), 1u) << "the tool bar's Start, enabled after a click";
    grab().save(QString::fromStdString(qvtest::binPath("../screenshots") + "/TaskSelectionX11-three-tasks.png"));

    std::string selected = "Bravo";
    auto select = [&](const std::string &name, bool byKeys) {
        if (!byKeys) {
            click(at[name]);
        } else {
            const auto index = [](const std::string &n) {
                return std::find_if(std::begin(kNames), std::end(kNames), [&](const char *k) { return n == k; }) -
                       std::begin(kNames);
            };
            const auto from = index(selected), to = index(name);
            std::vector<std::string> presses(static_cast<std::size_t>(std::abs(to - from)), to > from ? "Down" : "Up");
            keys(m_main, presses);
        }
        selected = name;
    };
    // Select a task (each differs from the one before), then act on it.
    struct Step {
        const char *task;
        bool byKeys;
        const char *command;
    };
    const Step steps[] = {
        {"Alpha", false, "Return"},   {"Charlie", false, "Return"}, {"Bravo", false, "toolbar"},
        {"Alpha", false, "toolbar"},  {"Charlie", false, "alt+Return"}, {"Bravo", false, "alt+Return"},
        {"Charlie", true, "Return"},  {"Alpha", true, "Return"},    {"Bravo", true, "toolbar"},
        {"Charlie", true, "toolbar"}, {"Alpha", true, "alt+Return"}, {"Bravo", true, "alt+Return"},
        {"Charlie", false, "KP_Enter"},
    };
    for (const Step &s : steps) {
        SCOPED_TRACE(std::string(s.command) + " after selecting " + s.task + (s.byKeys ? " by keys" : " by a click"));
        select(s.task, s.byKeys);
        const auto before = logSizes();
        const std::string command = s.command;
        if (command == "alt+Return") {
            keys(m_main, {"alt+Return"});
            const std::string dlg = window("^Quorvellant Task Properties - \\[", 20);
            ASSERT_FALSE(dlg.empty()) << "Alt+Return opened no dialog";
            EXPECT_EQ(title(dlg), "Quorvellant Task Properties - [" + std::string(s.task) + "]");
            keys(dlg, {"Escape"});
            ASSERT_TRUE(gone("^Quorvellant Task Properties"));
            continue;
        }
        if (command == "toolbar") {
            click(start[0]);
        } else {
            keys(m_main, {command});
        }
        EXPECT_EQ(ranSince(before, s.task), s.task);
    }

    // Del: the task deleted is the one selected (Yes is the answer); the last one goes with its log
    // in the panel, just after its run, and the program stays.
    const std::string allThree = storedTasks();
    for (const char *name : kNames) {
        ASSERT_NE(allThree.find(idOf(name)), std::string::npos) << allThree;
    }
    const std::pair<const char *, bool> deletes[] = {{"Bravo", false}, {"Charlie", true}, {"Alpha", false}};
    std::vector<std::string> left(std::begin(kNames), std::end(kNames));
    for (const auto &[name, byKeys] : deletes) {
        SCOPED_TRACE(std::string("Del after selecting ") + name);
        if (selected != name || !byKeys) {
            select(name, byKeys);
        }
        if (left.size() == 1) {
            const auto before = logSizes();
            keys(m_main, {"Return"});
            ASSERT_EQ(ranSince(before, name), name);
        }
        keys(m_main, {"Delete"});
        const std::string confirm = window("^Confirmation$", 20);
        ASSERT_FALSE(confirm.empty()) << "Del asks first";
        keys(confirm, {"Return"});
        ASSERT_TRUE(gone("^Confirmation$"));
        std::erase(left, std::string(name));
        ASSERT_TRUE(QTest::qWaitFor([&] { return storedTasks().find(idOf(name)) ==
                                                 std::string::npos; },
                                    10000))
            << storedTasks();
        for (const std::string &other : left) {
            EXPECT_NE(storedTasks().find(idOf(other)), std::string::npos) << other << " went too";
        }
        // Rows after the deleted one moved up; the next one selected is the one before.
        at.erase(name);
        int row = 0;
        for (const std::string &n : left) {
            at[n] = rows[static_cast<std::size_t>(row++)] + QPoint(40, 0);
        }
        selected = left.empty() ? std::string() : left.front();
        std::this_thread::sleep_for(500ms);
    }
    EXPECT_TRUE(alive(p)) << "the program ended after the last task went";
    EXPECT_EQ(runToEnd({"/EXITNOW"}, 60), 0);
    EXPECT_EQ(waitFor(p, 60), 0) << qvtest::readFile(home + "/program.log");
}

} // namespace
