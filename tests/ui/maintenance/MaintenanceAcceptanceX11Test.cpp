// The settings maintenance wizard in the real program on an X server, driven with xdotool as a new
// user would: tasks seeded with qv-regtool are backed up through Tools > Settings Maintenance under
// one home and restored under a fresh one; each task then gives the same result under both homes
// (qv-run into an emptied destination, archives compared by their contents) and exports the same.
// qv-test-labels: x11 gui slow
// qv-test-run: xvfb
// qv-test-timeout: 300
#include "../ProgramProcessFixture.h"

#include <QDir>

namespace {

const std::string kKey = "HKEY_CURRENT_USER\\Software\\Tavimundrelo\\Quorvellant";
const std::string kCopyId = "MAINTCOPY000000000001";
const std::string kZipId = "MAINTZIP0000000000002";

class MaintenanceAcceptanceX11 : public ProgramProcessFixture
{
protected:
    // The environment of `home`, with the display.
    std::vector<std::string> envOf(const std::string &h) const
    {
        std::vector<std::string> e = {"HOME=" + h,
                                      "XDG_CONFIG_HOME=" + h + "/config",
                                      "XDG_DATA_HOME=" + h + "/data",
                                      "XDG_CACHE_HOME=" + h + "/cache",
                                      "XDG_RUNTIME_DIR=" + h + "/run",
                                      "PATH=" + std::string(std::getenv("PATH"))};
        if (const char *display = std::getenv("DISPLAY")) {
            e.push_back("DISPLAY=" + std::string(display));
        }
        if (const char *auth = std::getenv("XAUTHORITY")) {
            e.push_back("XAUTHORITY=" + std::string(auth));
        }
        for (const std::string &option : qvtest::sanitizerEnvironment()) {
            e.push_back(option);
        }
        return e;
    }
    qvtest::CommandResult in(const std::string &h, std::vector<std::string> argv, int timeout = 60)
    {
        std::vector<std::string> cmd = {"env"};
        const auto e = envOf(h);
        cmd.insert(cmd.end(), e.begin(), e.end());
        cmd.insert(cmd.end(), argv.begin(), argv.end());
        return qvtest::runCommand(cmd, timeout);
    }
    std::string newHome(const std::string &hint)
    {
        const std::string h = qvtest::makeTempDir(hint);
        qvtest::runShell("mkdir -p '" + h + "/run' && chmod 700 '" + h + "/run'");
        return h;
    }
    // No help page and no splash at the first start, so the window is the only one to drive.
    void quietStart(const std::string &h)
    {
        std::string reg = "REGEDIT4\r\n\r\n[" + kKey + "\\Main]\r\n\"FirstStart\"=dword:00000000\r\n\r\n[" + kKey +
                          "\\Startup and Shutdown]\r\n\"StartupShowSplash\"=dword:00000000\r\n";
        qvtest::writeFile(h + "/quiet.reg", reg);
        ASSERT_EQ(in(h, {qvtest::binPath("qv-regtool"), "import", h + "/quiet.reg"}).exitCode, 0);
    }
    void seedTasks(const std::string &h)
    {
        std::string r = "REGEDIT4\r\n";
        auto task = [&](const std::string &id, const std::string &name, const std::string &dest) {
            const std::string k = kKey + "\\Tasks\\" + id;
            r += "\r\n[" + k + "]\r\n\"Name\"=\"" + name + "\"\r\n\"ID\"=\"" + id + "\"\r\n\"TaskType\"=\"ttSimpleCopy\"\r\n";
            r += "\r\n[" + k + "\\Source]\r\n\"Source\"=\"" + src + "\"\r\n\"SourceIncludeSubfolders\"=dword:00000001\r\n";
            r += "\r\n[" + k + "\\Destination]\r\n\"DestLocal\"=\"" + dest + "\"\r\n";
        };
        auto filter = [&](const std::string &id, int n, const char *type, const char *mask) {
            r += "\r\n[" + kKey + "\\Tasks\\" + id + "\\Filters\\" + std::to_string(n) +
                 "]\r\n\"Enabled\"=dword:00000001\r\n\"FilterType\"=\"" + type +
                 "\"\r\n\"FilterKind\"=\"fikFileName\"\r\n\"fnKind\"=\"fnkWildcard\"\r\n\"fnWildcard\"=\"" + mask +
                 "\"\r\n";
        };
        task(kCopyId, "Documents copy", copyDest);
        filter(kCopyId, 1, "fitInclude", "*.*");
        filter(kCopyId, 2, "fitExclude", "*.tmp;*.bak");
        task(kZipId, "Documents zip", zipDest);
        filter(kZipId, 1, "fitInclude", "*.txt");
        r += "\r\n[" + kKey + "\\Tasks\\" + kZipId +
             "\\Compress]\r\n\"CompressUse\"=dword:00000001\r\n\"CompressFilename\"=\"documents.zip\"\r\n"
             "\"CompressLevel\"=dword:00000006\r\n";
        qvtest::writeFile(h + "/tasks.reg", r);
        const auto done = in(h, {qvtest::binPath("qv-regtool"), "import", h + "/tasks.reg"});
        ASSERT_EQ(done.exitCode, 0) << done.output;
    }
    std::string xdo(const std::vector<std::string> &args, int timeout = 20)
    {
        std::vector<std::string> cmd = {"xdotool"};
        cmd.insert(cmd.end(), args.begin(), args.end());
        const auto r = qvtest::runCommand(cmd, timeout);
        return r.exitCode == 0 ? r.output : std::string();
    }
    // The id of the first visible window named exactly `title`, waiting for it.
    std::string window(const std::string &title)
    {
        std::string out = xdo({"search", "--sync", "--onlyvisible", "--name", "^" + title + "$"}, 30);
        return out.substr(0, out.find('\n'));
    }
    void keys(const std::string &win, const std::vector<std::string> &k)
    {
        // Keys go to the focused window: Qt ignores keys sent to a window without focus.
        xdo({"windowfocus", "--sync", win});
        std::vector<std::string> args = {"key", "--delay", "80"};
        args.insert(args.end(), k.begin(), k.end());
        xdo(args);
    }
    void typeInto(const std::string &win, const std::string &text)
    {
        keys(win, {"ctrl+a"});
        xdo({"type", "--delay", "20", text});
    }
    // Starts the program under `h`, runs the wizard through the keys, saves a screenshot, quits.
    void wizard(const std::string &h, bool restore, const std::string &file)
    {
        env = envOf(h);
        home = h;
        const pid_t p = spawn({"/SHOW"}, "program.log", envOf(h));
        const std::string main = window("Quorvellant");
        ASSERT_FALSE(main.empty()) << qvtest::readFile(h + "/program.log");
        keys(main, {"alt+l", "m"});
        const std::string w = window("Quorvellant Settings Maintenance Wizard");
        ASSERT_FALSE(w.empty()) << "the Tools command opened no wizard";
        keys(w, restore ? std::vector<std::string>{"Down", "space", "Return"} : std::vector<std::string>{"space", "Return"});
        typeInto(w, file);
        keys(w, {"Return"});
        std::this_thread::sleep_for(500ms);
        const std::string shots = qvtest::binPath("../screenshots");
        QDir().mkpath(QString::fromStdString(shots));
        qvtest::runCommand({"import", "-window", w, shots + (restore ? "/MaintenanceForm-X11-RestoreDone.png" : "/MaintenanceForm-X11-BackupDone.png")});
        keys(w, {"Escape"});
        std::this_thread::sleep_for(300ms);
        EXPECT_TRUE(xdo({"search", "--onlyvisible", "--name", "^Quorvellant Settings Maintenance Wizard$"}).empty())
            << "Escape closes the wizard";
        const auto quit = in(h, {program, "/EXITNOW"}, 30);
        EXPECT_EQ(quit.exitCode, 0) << quit.output;
        EXPECT_EQ(waitFor(p, 30), 0) << qvtest::readFile(h + "/program.log");
    }
    // Runs the task under `h` into its emptied destination and returns a copy of the result.
    std::string runInto(const std::string &h, const std::string &id, const std::string &dest, const std::string &keep)
    {
        qvtest::runShell("rm -rf '" + dest + "' && mkdir -p '" + dest + "'");
        const auto r = in(h, {qvtest::binPath("qv-run"), "--id", id, "--quiet"}, 120);
        EXPECT_EQ(r.exitCode, 0) << r.output;
        qvtest::runShell("rm -rf '" + keep + "' && cp -a '" + dest + "' '" + keep + "'");
        return keep;
    }
    std::string exportKey(const std::string &h, const std::string &id)
    {
        const std::string file = h + "/" + id + ".reg";
        const auto r = in(h, {qvtest::binPath("qv-regtool"), "export", file, kKey + "\\Tasks\\" + id});
        EXPECT_EQ(r.exitCode, 0) << r.output;
        return qvtest::readFile(file);
    }

    std::string src, copyDest, zipDest;
};

TEST_F(MaintenanceAcceptanceX11, BackupUnderOneHomeRestoreUnderAFreshOneSameResults)
{
    const char *display = std::getenv("DISPLAY");
    ASSERT_TRUE(display != nullptr && *display != '\0') << "runs under xvfb-run";
    for (const char *tool : {"xdotool", "unzip"}) {
        if (!qvtest::haveTool(tool)) {
            GTEST_SKIP() << tool << " is not installed";
        }
    }
    const std::string work = qvtest::makeTempDir("accept");
    src = work + "/src";
    copyDest = work + "/copy";
    zipDest = work + "/zip";
    qvtest::writeFile(src + "/a.txt", "alpha");
    qvtest::writeFile(src + "/notes.tmp", "scratch");
    qvtest::writeFile(src + "/sub/b.txt", "beta");
    qvtest::writeFile(src + "/sub/c.doc", "gamma");
    const std::string backupFile = work + "/settings backup.reg";

    const std::string a = newHome("home-a");
    quietStart(a);
    seedTasks(a);
    wizard(a, false, backupFile);
    const std::string backup = qvtest::readFile(backupFile);
    ASSERT_NE(backup.find("Documents copy"), std::string::npos) << "the backup holds the tasks";

    const std::string b = newHome("home-b");
    quietStart(b);
    wizard(b, true, backupFile);

    for (const auto &[id, dest] : {std::pair{kCopyId, copyDest}, std::pair{kZipId, zipDest}}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(exportKey(a, id), exportKey(b, id));
        const std::string ra = runInto(a, id, dest, work + "/result-a-" + id);
        const std::string rb = runInto(b, id, dest, work + "/result-b-" + id);
        if (id == kZipId) {
            for (const std::string &r : {ra, rb}) {
                ASSERT_EQ(qvtest::runCommand({"unzip", "-q", "-o", r + "/documents.zip", "-d", r + "/x"}).exitCode, 0);
                qvtest::runShell("rm -f '" + r + "/documents.zip'");
            }
            EXPECT_EQ(qvtest::readFile(ra + "/x/sub/b.txt"), "beta");
        } else {
            EXPECT_EQ(qvtest::readFile(ra + "/sub/c.doc"), "gamma");
        }
        const auto diff = qvtest::runCommand({"diff", "-r", ra, rb});
        EXPECT_EQ(diff.exitCode, 0) << diff.output;
    }
}

} // namespace
