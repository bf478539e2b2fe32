// The settings store: typed round trips, listing order, wrong types, key trees, transactions, the
// store's default path.
#include "platform/RegistryStore.h"
#include "platform/Registry.h"

#include "support/TestEnv.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QString>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <thread>

using namespace qv;

namespace {

class RegistryFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_path = qvtest::makeTempDir("store") + "/sub/registry.db";
        RegistryStore::setStorePath(m_path);
    }
    void TearDown() override { RegistryStore::setStorePath({}); }
    std::string m_path;
};

std::string randomBytes(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char &c : s) {
        c = static_cast<char>(rng() & 0xFF);
    }
    return s;
}

} // namespace

class RegistryRoundTrip : public RegistryFixture
{
};

TEST_F(RegistryRoundTrip, EveryTypeComesBackFromAFreshConnection)
{
    const std::vector<std::string> strings = {"",
                                              "plain",
                                              "caf\xC3\xA9 \xE2\x82\xAC",
                                              std::string("nul\0inside", 10),
                                              "\xFF\xFE not utf-8 \x80",
                                              "back\\slash \"quote\"",
                                              "line\r\nbreak"};
    const std::vector<std::int32_t> ints = {
        0, 1, -1, 30, std::numeric_limits<std::int32_t>::max(), std::numeric_limits<std::int32_t>::min()};
    const std::vector<double> dates = {0.0, 45000.5, -1.25, 1e-9, 2958465.99998843};
    const std::vector<std::string> blobs = {"", std::string(1, '\0'), randomBytes(60, 1),
                                            randomBytes(70000, 2)};
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey("\\Software\\Test\\Types", true));
        for (std::size_t i = 0; i < strings.size(); ++i) {
            reg.WriteString("s" + std::to_string(i), strings[i]);
        }
        for (std::size_t i = 0; i < ints.size(); ++i) {
            reg.WriteInteger("i" + std::to_string(i), ints[i]);
        }
        reg.WriteBool("bTrue", true);
        reg.WriteBool("bFalse", false);
        for (std::size_t i = 0; i < dates.size(); ++i) {
            reg.WriteDateTime("d" + std::to_string(i), dates[i]);
        }
        for (std::size_t i = 0; i < blobs.size(); ++i) {
            reg.WriteBinaryData("x" + std::to_string(i), blobs[i].data(), static_cast<int>(blobs[i].size()));
        }
    }
    RegistryStore other(m_path); // a second connection sees what the first wrote
    TRegistry reg(other);
    ASSERT_TRUE(reg.OpenKeyReadOnly("\\software\\TEST\\types"));
    for (std::size_t i = 0; i < strings.size(); ++i) {
        EXPECT_EQ(reg.ReadString("s" + std::to_string(i)), strings[i]) << i;
        EXPECT_EQ(reg.GetDataType("s" + std::to_string(i)), REG_SZ);
    }
    for (std::size_t i = 0; i < ints.size(); ++i) {
        EXPECT_EQ(reg.ReadInteger("i" + std::to_string(i)), ints[i]) << i;
        EXPECT_EQ(reg.GetDataSize("i" + std::to_string(i)), 4);
    }
    EXPECT_TRUE(reg.ReadBool("bTrue"));
    EXPECT_FALSE(reg.ReadBool("bFalse"));
    EXPECT_TRUE(reg.ReadBool("i1"));
    EXPECT_TRUE(reg.ReadBool("i2")); // any non-zero reads as true
    for (std::size_t i = 0; i < dates.size(); ++i) {
        EXPECT_EQ(reg.ReadDateTime("d" + std::to_string(i)), dates[i]) << i;
        EXPECT_EQ(reg.GetDataType("d" + std::to_string(i)), REG_BINARY);
    }
    for (std::size_t i = 0; i < blobs.size(); ++i) {
        EXPECT_EQ(reg.ReadBinary("x" + std::to_string(i)), blobs[i]) << i;
    }
}

TEST_F(RegistryRoundTrip, StoreFileAndFolderArePrivate)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("\\Software\\Test", true));
    reg.WriteString("Password", "secret");
    struct stat st
    {
    };
    ASSERT_EQ(::stat(m_path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    std::string dir = m_path.substr(0, m_path.rfind('/'));
    ASSERT_EQ(::stat(dir.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // A store placed in a folder that already exists leaves that folder's mode alone.
    std::string shared = qvtest::makeTempDir("shared");
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
    RegistryStore elsewhere(shared + "/other.db");
    ASSERT_EQ(::stat(shared.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 01777u);
    ASSERT_EQ(::stat((shared + "/other.db").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(RegistryRoundTrip, RelativeAndAbsoluteKeyPaths)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("\\Software\\Prog", true));
    ASSERT_TRUE(reg.OpenKey("Tasks\\1", true)); // relative to the open key
    EXPECT_EQ(reg.CurrentPath(), "\\Software\\Prog\\Tasks\\1");
    reg.WriteInteger("n", 7);
    ASSERT_TRUE(reg.OpenKey("\\Software\\Prog\\Tasks\\1\\", false));
    EXPECT_EQ(reg.ReadInteger("n"), 7);
    EXPECT_FALSE(reg.OpenKey("\\Software\\Missing", false));
    EXPECT_FALSE(reg.HasOpenKey());
    EXPECT_FALSE(reg.KeyExists("\\Software\\Missing"));
    EXPECT_TRUE(reg.KeyExists("\\SOFTWARE\\prog\\tasks"));
}

class RegistryListing : public RegistryFixture
{
};

TEST_F(RegistryListing, SubkeysSortedCaseInsensitivelyValuesInCreationOrder)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("\\L", true));
    for (const char *k : {"b", "A", "_under", "C", "10", "2", "a2"}) {
        ASSERT_TRUE(reg.CreateKey(k));
    }
    // Windows orders names by their upper-case form: "_" (0x5F) sorts after the letters.
    EXPECT_EQ(reg.GetKeyNames(), (std::vector<std::string>{"10", "2", "A", "a2", "b", "C", "_under"}));
    for (const char *v : {"zeta", "Alpha", "mid"}) {
        reg.WriteString(v, v);
    }
    EXPECT_EQ(reg.GetValueNames(), (std::vector<std::string>{"zeta", "Alpha", "mid"}));
    reg.WriteInteger("ZETA", 5); // overwriting keeps the place and the first spelling
    EXPECT_EQ(reg.GetValueNames(), (std::vector<std::string>{"zeta", "Alpha", "mid"}));
    EXPECT_EQ(reg.ReadInteger("zeta"), 5);
    EXPECT_TRUE(reg.DeleteValue("alpha"));
    EXPECT_FALSE(reg.DeleteValue("alpha"));
    reg.WriteString("Alpha", "again"); // re-created: goes to the end
    EXPECT_EQ(reg.GetValueNames(), (std::vector<std::string>{"zeta", "mid", "Alpha"}));
    EXPECT_TRUE(reg.CreateKey("B")); // an existing key in other case is the same key
    EXPECT_EQ(reg.GetKeyNames().size(), 7u);
}

TEST_F(RegistryListing, NonAsciiNamesFoldAndStayDistinct)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("\\U", true));
    reg.WriteString("\xC3\xA9t\xC3\xA9", "1"); // "été"
    reg.WriteString("\xC3\x89T\xC3\x89", "2"); // "ÉTÉ": the same name
    reg.WriteString("\xFF\xFE", "3");          // not UTF-8
    reg.WriteString("\xFF\xFD", "4");          // another non-UTF-8 name
    EXPECT_EQ(reg.GetValueNames().size(), 3u);
    EXPECT_EQ(reg.ReadString("\xC3\xA9t\xC3\xA9"), "2");
    EXPECT_EQ(reg.ReadString("\xFF\xFE"), "3");
    EXPECT_EQ(reg.ReadString("\xFF\xFD"), "4");
}

class RegistryWrongType : public RegistryFixture
{
};

TEST_F(RegistryWrongType, ReadsOfAnotherTypeOrSizeRaise)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("\\W", true));
    reg.WriteString("text", "12");
    reg.WriteInteger("num", 12);
    const unsigned char three[3] = {1, 2, 3};
    reg.WriteBinaryData("bin3", three, 3);
    struct Case
    {
        const char *what;
        std::function<void()> read;
    };
    const std::vector<Case> cases = {
        {"integer from string", [&] { reg.ReadInteger("text"); }},
        {"bool from string", [&] { reg.ReadBool("text"); }},
        {"string from integer", [&] { reg.ReadString("num"); }},
        {"date from 3 bytes", [&] { reg.ReadDateTime("bin3"); }},
        {"date from integer", [&] { reg.ReadDateTime("num"); }},
        {"integer from binary", [&] { reg.ReadInteger("bin3"); }},
        {"missing", [&] { reg.ReadString("nothing"); }},
        {"binary into small buffer",
         [&] {
             unsigned char b[2];
             reg.ReadBinaryData("bin3", b, 2);
         }},
        {"binary from string",
         [&] {
             unsigned char b[8];
             reg.ReadBinaryData("text", b, 8);
         }},
    };
    for (const Case &c : cases) {
        EXPECT_THROW(c.read(), RegistryError) << c.what;
    }
    unsigned char big[8] = {9, 9, 9, 9, 9, 9, 9, 9};
    EXPECT_EQ(reg.ReadBinaryData("bin3", big, 8), 3);
    EXPECT_EQ(big[0], 1);
    EXPECT_EQ(big[3], 9);
    reg.CloseKey();
    EXPECT_THROW(reg.ReadString("text"), RegistryError); // no key open
    EXPECT_THROW(reg.WriteString("text", "x"), RegistryError);
}

TEST_F(RegistryWrongType, ReadOnlyOpensAndTheMachineRootRefuseWrites)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("\\R", true));
    reg.WriteString("v", "1");
    ASSERT_TRUE(reg.OpenKeyReadOnly("\\R"));
    EXPECT_THROW(reg.WriteString("v", "2"), RegistryError);
    EXPECT_EQ(reg.ReadString("v"), "1");

    TRegistry machine;
    machine.SetRootKey(RegRoot::LocalMachine);
    EXPECT_FALSE(machine.OpenKey("\\Software\\X", true));
    EXPECT_THROW(machine.CreateKey("\\Software\\X"), RegistryError);
    EXPECT_FALSE(machine.KeyExists("\\R")); // the roots are separate trees
}

class RegistryKeyTree : public RegistryFixture
{
};

TEST_F(RegistryKeyTree, DeleteRemovesTheWholeTreeAndNothingElse)
{
    TRegistry reg;
    for (const char *k : {"\\P\\Tasks\\1\\Filters\\1", "\\P\\Tasks\\1\\Filters\\2", "\\P\\Tasks\\2",
                          "\\P\\Tasks2\\keep", "\\P\\TasksX"}) {
        ASSERT_TRUE(reg.OpenKey(k, true));
        reg.WriteString("name", k);
    }
    ASSERT_TRUE(reg.OpenKey("\\P\\Tasks\\1", false));
    EXPECT_TRUE(reg.DeleteKey("\\p\\tasks")); // also closes the open key below it
    EXPECT_FALSE(reg.HasOpenKey());
    EXPECT_FALSE(reg.KeyExists("\\P\\Tasks"));
    EXPECT_FALSE(reg.KeyExists("\\P\\Tasks\\1\\Filters\\2"));
    ASSERT_TRUE(reg.OpenKey("\\P\\Tasks2\\keep", false));
    EXPECT_EQ(reg.ReadString("name"), "\\P\\Tasks2\\keep");
    EXPECT_TRUE(reg.KeyExists("\\P\\TasksX"));
    EXPECT_FALSE(reg.DeleteKey("\\P\\Tasks"));
    // Nothing of the deleted tree is left in the file.
    sqlite3 *db = reg.Store().nativeHandle();
    sqlite3_stmt *st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT count(*) FROM vals", -1, &st, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(st, 0), 2);
    sqlite3_finalize(st);
    // A recreated key starts empty.
    ASSERT_TRUE(reg.OpenKey("\\P\\Tasks\\1", true));
    EXPECT_TRUE(reg.GetValueNames().empty());
    EXPECT_FALSE(reg.HasSubKeys());
}

class RegistryTransactions : public RegistryFixture
{
};

TEST_F(RegistryTransactions, UncommittedScopeLeavesTheOldState)
{
    RegistryStore &store = RegistryStore::forThisThread();
    TRegistry reg(store);
    ASSERT_TRUE(reg.OpenKey("\\T", true));
    reg.WriteString("v", "old");
    try {
        RegistryTransaction tx(store);
        reg.WriteString("v", "new");
        ASSERT_TRUE(reg.OpenKey("\\T\\added", true));
        reg.WriteInteger("n", 1);
        throw std::runtime_error("save interrupted");
    } catch (const std::runtime_error &) {
    }
    ASSERT_TRUE(reg.OpenKey("\\T", false));
    EXPECT_EQ(reg.ReadString("v"), "old");
    EXPECT_FALSE(reg.KeyExists("\\T\\added"));
    {
        RegistryTransaction outer(store);
        {
            RegistryTransaction inner(store);
            reg.WriteString("v", "nested");
            inner.commit();
        }
        outer.commit();
    }
    RegistryStore other(m_path);
    TRegistry check(other);
    ASSERT_TRUE(check.OpenKey("\\T", false));
    EXPECT_EQ(check.ReadString("v"), "nested");
}

TEST_F(RegistryTransactions, AFailedWriteSpoilsTheSaveAndCommitRaises)
{
    RegistryStore &store = RegistryStore::forThisThread();
    TRegistry reg(store);
    ASSERT_TRUE(reg.OpenKey("\\Full", true));
    reg.WriteString("v", "old");
    // Simulate a full disk: the file may not grow past its current size.
    sqlite3_exec(store.nativeHandle(), "PRAGMA max_page_count = 1", nullptr, nullptr, nullptr);
    int pages = 0;
    {
        sqlite3_stmt *st = nullptr;
        sqlite3_prepare_v2(store.nativeHandle(), "PRAGMA page_count", -1, &st, nullptr);
        sqlite3_step(st);
        pages = sqlite3_column_int(st, 0);
        sqlite3_finalize(st);
    }
    sqlite3_exec(store.nativeHandle(), ("PRAGMA max_page_count = " + std::to_string(pages)).c_str(), nullptr,
                 nullptr, nullptr);
    bool raised = false;
    {
        RegistryTransaction tx(store);
        reg.WriteString("v", "new");
        const std::string big(200000, 'x');
        try {
            reg.WriteString("big", big); // does not fit
        } catch (const RegistryError &) {
        }
        try {
            reg.WriteString("after", "y"); // refused: the save is already spoiled
        } catch (const RegistryError &) {
        }
        try {
            tx.commit();
        } catch (const RegistryError &e) {
            raised = true;
            EXPECT_NE(std::string(e.what()).find("not saved"), std::string::npos) << e.what();
        }
    }
    EXPECT_TRUE(raised);
    sqlite3_exec(store.nativeHandle(), "PRAGMA max_page_count = 1073741823", nullptr, nullptr, nullptr);
    RegistryStore other(m_path);
    TRegistry check(other);
    ASSERT_TRUE(check.OpenKey("\\Full", false));
    EXPECT_EQ(check.ReadString("v"), "old");
    EXPECT_FALSE(check.ValueExists("after"));
    EXPECT_FALSE(check.ValueExists("big"));
}

TEST_F(RegistryTransactions, ThreadsSaveThroughTheirOwnConnections)
{
    constexpr int kThreads = 4;
    constexpr int kRounds = 20;
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &failures] {
            try {
                RegistryStore &store = RegistryStore::forThisThread();
                TRegistry reg(store);
                for (int r = 0; r < kRounds; ++r) {
                    RegistryTransaction tx(store);
                    if (!reg.OpenKey("\\Threads\\" + std::to_string(t), true)) {
                        ++failures;
                    }
                    for (int i = 0; i < 20; ++i) {
                        reg.WriteInteger("v" + std::to_string(i), r);
                    }
                    tx.commit();
                }
            } catch (const std::exception &e) {
                ++failures;
                std::fprintf(stderr, "thread %d: %s\n", t, e.what());
            }
        });
    }
    for (auto &th : threads) {
        th.join();
    }
    EXPECT_EQ(failures.load(), 0);
    TRegistry reg;
    for (int t = 0; t < kThreads; ++t) {
        ASSERT_TRUE(reg.OpenKey("\\Threads\\" + std::to_string(t), false));
        for (int i = 0; i < 20; ++i) {
            EXPECT_EQ(reg.ReadInteger("v" + std::to_string(i)), kRounds - 1);
        }
    }
}

namespace {

// Sets (or, for null, unsets) an environment variable until the end of the scope.
class EnvValue
{
public:
    EnvValue(const char *name, const char *value) : m_name(name)
    {
        if (const char *old = std::getenv(name)) {
            m_old = old;
            m_had = true;
        }
        value != nullptr ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~EnvValue() { m_had ? ::setenv(m_name, m_old.c_str(), 1) : ::unsetenv(m_name); }

private:
    const char *m_name;
    std::string m_old;
    bool m_had = false;
};

} // namespace

TEST(RegistryStorePath, TheFolderQtNamesForTheConfiguration)
{
    // The store has always been where Qt's GenericConfigLocation (or QDir::homePath()/.config)
    // points: the path made from the environment must stay that one, whatever the variables hold.
    const struct {
        const char *config;
        const char *home;
    } cases[] = {
        {"/x/y", "/home/ann"}, {nullptr, "/home/ann"}, {"", "/home/ann"}, {"rel/dir", "/home/ann"},
        {"//a//b/../c/", "/h"}, {nullptr, "/h//u/./v/"}, {nullptr, ""}, {nullptr, nullptr}, {"", "rel"},
        {nullptr, "/a/b/../../.."}, {nullptr, "../a/../.."}, {nullptr, "/home/ann/"}, {nullptr, "//"},
        {nullptr, "a/../../b"}, {nullptr, "/a/.../b/."}, {nullptr, "./x"}, {nullptr, "/home/\xc3\xa9v\xc3\xa9"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.config ? c.config : "(unset)") + " / " + (c.home ? c.home : "(unset)"));
        EnvValue config("XDG_CONFIG_HOME", c.config);
        EnvValue home("HOME", c.home);
        QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
        if (base.isEmpty()) {
            base = QDir::homePath() + QStringLiteral("/.config");
        }
        EXPECT_EQ(RegistryStore::defaultStorePath(), (base + QStringLiteral("/quorvellant/registry.db")).toStdString());
    }
    // Bytes that are not UTF-8 name the folder they name (Qt would put U+FFFD in their place).
    EnvValue config("XDG_CONFIG_HOME", "/tmp/c\xff");
    EXPECT_EQ(RegistryStore::defaultStorePath(), "/tmp/c\xff/quorvellant/registry.db");
}

TEST(RegistryStorePath, MakesTheFolderQtNamesForTheFile)
{
    // Relative names, "." and ".." components and doubled slashes: the folder made (0700) is the one
    // QFileInfo::absolutePath() names, and the store file opens there.
    const std::string root = qvtest::makeTempDir("storepaths");
    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(::chdir(root.c_str()), 0);
    const std::vector<std::string> paths = {"a//b/./c/../d/registry.db", "rel/sub/registry.db", "./dot/registry.db",
                                            "x/../../up/registry.db", "plain.db", root + "/abs//e/../f/registry.db"};
    for (const std::string &path : paths) {
        SCOPED_TRACE(path);
        const std::string folder = QFileInfo(QString::fromStdString(path)).absolutePath().toStdString();
        const bool existed = ::access(folder.c_str(), F_OK) == 0;
        { RegistryStore store(path); }
        struct stat st = {};
        ASSERT_EQ(::stat(folder.c_str(), &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        if (!existed) {
            EXPECT_EQ(st.st_mode & 0777, 0700u);
        }
        EXPECT_EQ(::access((folder + "/" + path.substr(path.rfind('/') + 1)).c_str(), R_OK | W_OK), 0);
    }
    // A file where the folder should be: a clear error naming the folder.
    qvtest::writeFile(root + "/file", "x");
    try {
        RegistryStore store(root + "/file/registry.db");
        ADD_FAILURE() << "a store under a file opened";
    } catch (const RegistryError &e) {
        EXPECT_NE(std::string(e.what()).find(root + "/file"), std::string::npos) << e.what();
    }
    ASSERT_EQ(::chdir(cwd), 0);
}
