// A damaged settings store as each program that opens it meets it at its start: it says so, naming
// the file, exits 1 and leaves the file as it was; the program offers to move it aside.
// qv-test-timeout: 180
#include "ProgramProcessFixture.h"

#include "components/MessageBox.h"
#include "platform/RegistryStore.h"
#include "ui/DamagedStore.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace {

const std::string kMain = "\\Software\\Tavimundrelo\\Quorvellant\\Main";

// The ways a store file is found damaged: its header overwritten, cut short, a page in the middle
// overwritten.
struct Damage
{
    const char *what;
    std::string (*apply)(std::string bytes);
};

const Damage kDamages[] = {
    {"header garbage", [](std::string b) { return b.replace(0, 100, 100, '#'); }},
    {"truncated", [](std::string b) { return b.substr(0, b.size() / 2 + 123); }},
    {"a page in the middle",
     [](std::string b) { return b.replace((b.size() / 4096 / 2) * 4096, 4096, 4096, 'Z'); }},
};

class DamagedStore : public ProgramProcessFixture
{
protected:
    std::string store() const { return home + "/config/quorvellant/registry.db"; }

    // A sound store of a few dozen pages, written by qv-regtool; returns its bytes.
    std::string makeStore()
    {
        std::string reg = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER" + kMain + "]\r\n";
        for (int i = 0; i < 600; ++i) {
            reg += "\"V" + std::to_string(i) + "\"=\"" + std::string(100, 'a' + i % 26) + "\"\r\n";
        }
        qvtest::writeFile(home + "/seed.reg", reg);
        const auto r =
            qvtest::runCommand({qvtest::binPath("qv-regtool"), "--db", store(), "import", home + "/seed.reg"});
        EXPECT_EQ(r.exitCode, 0) << r.output;
        EXPECT_FALSE(fs::exists(store() + "-wal")) << "the last connection folded its log in";
        return qvtest::readFile(store());
    }

    // Runs a built program with the fixture's environment; its exit code, its output in `out`.
    int run(const std::string &name, const std::vector<std::string> &args, std::string &out)
    {
        program = qvtest::binPath(name);
        const std::string log = "run-" + std::to_string(++m_runs) + ".log";
        const int rc = waitFor(spawn(args, log), 30);
        out = qvtest::readFile(home + "/" + log);
        return rc;
    }

    int m_runs = 0;
};

TEST_F(DamagedStore, EveryProgramSaysSoAtItsStartAndKeepsTheFile)
{
    const std::string sound = makeStore();
    ASSERT_GT(sound.size(), 16u * 4096);
    const std::string src = qvtest::makeTempDir("src");
    qvtest::writeFile(src + "/a.txt", "a");
    const std::string dst = home + "/dst";
    const struct
    {
        const char *program;
        std::vector<std::string> args;
    } starts[] = {
        {"qv-regtool", {"--db", store(), "list", kMain}},
        {"qv-regtool", {"--db", store(), "set", kMain, "X", "sz", "1"}},
        {"qv-regtool", {"--db", store(), "import", home + "/seed.reg"}},
        {"qv-run", {"--id", "{00000000-0000-0000-0000-000000000001}"}},
        {"qv-run", {"--source", src, "--dest", dst}},
        {"quorvellant", {"/RunAll", "/ExitWhenIdle"}},
    };
    for (const Damage &d : kDamages) {
        const std::string damaged = d.apply(sound);
        for (const auto &s : starts) {
            SCOPED_TRACE(std::string(d.what) + ": " + s.program + " " + s.args[s.args.size() > 2 ? 2 : 0]);
            qvtest::writeFile(store(), damaged);
            std::string out;
            EXPECT_EQ(run(s.program, s.args, out), 1) << out;
            EXPECT_NE(out.find("\"" + store() + "\" is damaged"), std::string::npos) << out;
            EXPECT_EQ(qvtest::readFile(store()), damaged) << "the damaged file is kept as it was";
            EXPECT_FALSE(fs::exists(dst)) << "nothing ran";
        }
    }
    // The sound store passes (the positive control of the same starts).
    qvtest::writeFile(store(), sound);
    std::string out;
    EXPECT_EQ(run("qv-regtool", {"--db", store(), "get", kMain, "V3"}, out), 0) << out;
    EXPECT_EQ(run("qv-run", {"--source", src, "--dest", dst}, out), 0) << out;
    EXPECT_TRUE(fs::exists(dst + "/a.txt"));
}

// The program's one message: Yes moves the store aside (renamed beside it, with its log) and goes
// on with empty settings; No quits and leaves it; without a display nothing is asked.
TEST_F(DamagedStore, TheProgramOffersToMoveItAsideOrToQuit)
{
    const std::string damaged = kDamages[0].apply(makeStore());
    const std::string folder = fs::path(store()).parent_path();
    auto asideFiles = [&] {
        std::vector<std::string> names;
        for (const auto &e : fs::directory_iterator(folder)) {
            if (e.path().filename().string().find(".damaged-") != std::string::npos) {
                names.push_back(e.path().string());
            }
        }
        std::sort(names.begin(), names.end());
        return names;
    };
    qvtest::writeFile(store(), damaged);
    qvtest::writeFile(store() + "-wal", "log of the damaged store");
    const struct
    {
        bool headless;
        std::deque<int> answers;
        bool goesOn;
        std::size_t boxes;
    } cases[] = {{true, {}, false, 0}, {false, {qv::IDNO}, false, 1}, {false, {qv::IDYES}, true, 1}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.headless ? "headless" : (c.goesOn ? "Yes" : "No"));
        qv::MessageBoxSeam::presetAnswers(c.answers);
        EXPECT_EQ(qv::acceptSettingsStore(nullptr, store(), c.headless), c.goesOn);
        ASSERT_EQ(qv::MessageBoxSeam::shown().size(), c.boxes);
        if (c.boxes > 0) {
            const QString text = qv::MessageBoxSeam::shown()[0].text;
            EXPECT_TRUE(text.contains(QString::fromStdString(store()))) << text.toStdString();
            EXPECT_TRUE(text.contains(QStringLiteral("damaged"))) << text.toStdString();
        }
        qv::MessageBoxSeam::clear();
        if (!c.goesOn) {
            EXPECT_EQ(qvtest::readFile(store()), damaged);
            EXPECT_TRUE(asideFiles().empty());
        }
    }
    // Moved aside: both files beside the store under one new name, the store itself gone.
    EXPECT_FALSE(fs::exists(store()));
    EXPECT_FALSE(fs::exists(store() + "-wal"));
    const std::vector<std::string> aside = asideFiles(); // the store, its log (and its -shm)
    ASSERT_GE(aside.size(), 2u);
    EXPECT_EQ(qvtest::readFile(aside[0]), damaged);
    EXPECT_EQ(qvtest::readFile(aside[0] + "-wal"), "log of the damaged store");
    // The next open starts empty, and a second damaged store gets a name of its own.
    {
        qv::RegistryStore fresh(store());
        EXPECT_EQ(fresh.findKey(qv::RegRoot::CurrentUser, kMain), 0);
    }
    EXPECT_NO_THROW(qv::RegistryStore::checkStore(store()));
    fs::remove(store() + "-wal");
    fs::remove(store() + "-shm");
    qvtest::writeFile(store(), damaged);
    qv::MessageBoxSeam::presetAnswers({qv::IDYES});
    EXPECT_TRUE(qv::acceptSettingsStore(nullptr, store(), false));
    qv::MessageBoxSeam::clear();
    EXPECT_EQ(asideFiles().size(), aside.size() + 1) << "a second store aside";
}

// A store damaged while the program runs is never written over: the save at a signal's exit
// leaves it byte for byte and puts the settings, whole, into a store beside it; standard error
// names both files and nothing waits for an answer. The sound store (the control) is saved into.
TEST_F(DamagedStore, DamageWhileTheProgramRunsIsKeptAndTheSettingsSavedBeside)
{
    const std::string key = "HKEY_CURRENT_USER\\Software\\Tavimundrelo\\Quorvellant";
    qvtest::writeFile(home + "/task.reg",
                      "REGEDIT4\r\n\r\n[" + key + "\\Main]\r\n\"FirstStart\"=dword:00000000\r\n\r\n[" + key +
                          "\\Tasks\\T1]\r\n\"Name\"=\"Kept task\"\r\n\"ID\"=\"T1\"\r\n" +
                          "\"TaskType\"=\"ttSimpleCopy\"\r\n\r\n");
    const std::string folder = fs::path(store()).parent_path();
    auto besideFiles = [&] {
        std::vector<std::string> names;
        for (const auto &e : fs::directory_iterator(folder)) {
            const std::string name = e.path().string();
            if (name.find(".saved-") != std::string::npos && name.find("-wal") == std::string::npos &&
                name.find("-shm") == std::string::npos) {
                names.push_back(name);
            }
        }
        return names;
    };
    for (const bool damage : {false, true}) {
        SCOPED_TRACE(damage ? "damaged while it runs" : "sound (the control)");
        fs::remove_all(folder);
        std::string out;
        ASSERT_EQ(run("qv-regtool", {"--db", store(), "import", home + "/task.reg"}, out), 0) << out;
        program = qvtest::binPath("quorvellant");
        const std::string log = damage ? "damaged.log" : "sound.log";
        const std::size_t lines = commandLines().size();
        const pid_t p = spawn({}, log);
        ASSERT_TRUE(waitForLines(lines + 1)) << qvtest::readFile(home + "/" + log);
        std::string bytes = qvtest::readFile(store());
        if (damage) {
            bytes = kDamages[0].apply(bytes);
            qvtest::writeFile(store(), bytes);
        }
        ::kill(p, SIGTERM);
        EXPECT_EQ(waitFor(p, 20), 0) << qvtest::readFile(home + "/" + log);
        const std::string said = qvtest::readFile(home + "/" + log);
        EXPECT_EQ(qvtest::readFile(store()) == bytes, damage) << said;
        EXPECT_EQ(said.find("\"" + store() + "\" is damaged") != std::string::npos, damage) << said;
        const auto beside = besideFiles();
        ASSERT_EQ(beside.size(), damage ? 1u : 0u) << said;
        if (damage) {
            EXPECT_NE(said.find(beside[0]), std::string::npos) << said;
            const std::string task = "\\Software\\Tavimundrelo\\Quorvellant\\Tasks\\T1";
            ASSERT_EQ(run("qv-regtool", {"--db", beside[0], "get", task, "Name"}, out), 0) << out;
            EXPECT_NE(out.find("Kept task"), std::string::npos) << out;
        }
    }
}

} // namespace
