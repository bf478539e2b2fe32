// Dial-up around runs: through the nmcli backend against a stand-in nmcli, concurrent runs on one
// or two entries, and the manager's main-thread clock and error event.
// qv-test-timeout: 120
#include "EngineTestSupport.h"

#include "core/engine/BackupMessages.h"
#include "core/engine/LocalBackup.h"
#include "core/engine/RASManager.h"
#include "platform/NmcliDialer.h"
#include "platform/fake/FakeDialer.h"
#include "support/NmcliStub.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

namespace {

using namespace enginetest;
using Strings = std::vector<std::string>;

// Installs a dialer for one test and always takes it out again.
class DialerScope
{
public:
    explicit DialerScope(qv::Dialer *d) { qv::setDialer(d); }
    ~DialerScope() { qv::setDialer(nullptr); }
    DialerScope(const DialerScope &) = delete;
    DialerScope &operator=(const DialerScope &) = delete;
};

// Runs the main thread's events until `done` or a bound of 60 s (a test time-out, not a measure).
template <typename Pred>
bool spinUntil(Pred done)
{
    QDeadlineTimer bound(60000);
    while (!done() && !bound.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return done();
}

// A gate a run's "program before" waits at, so that runs overlap as a test needs.
class Gate
{
public:
    void open()
    {
        std::lock_guard<std::mutex> l(m_mutex);
        m_open = true;
        m_cv.notify_all();
    }
    void arrive()
    {
        std::unique_lock<std::mutex> l(m_mutex);
        m_arrived = true;
        m_cv.notify_all();
        m_cv.wait_for(l, std::chrono::seconds(60), [this] { return m_open; });
    }
    // The run's alerts and log lines reach the main thread meanwhile.
    bool waitArrived()
    {
        return spinUntil([this] {
            std::lock_guard<std::mutex> l(m_mutex);
            return m_arrived;
        });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_open = false;
    bool m_arrived = false;
};

class EngineDialUp : public ::testing::Test
{
protected:
    void SetUp() override
    {
        base = qvtest::makeTempDir("dialup");
        put(base + "/src/a.txt", "alpha");
    }

    std::shared_ptr<qv::RunSnapshot> snapshot(const std::string &entry, bool disconnectAfter, const std::string &dst = "dst")
    {
        auto s = makeSnapshot({base + "/src"}, base + "/" + dst);
        s->dialEntry = entry;
        s->dialDisconnectAfter = disconnectAfter;
        return s;
    }

    // One run on its own thread, as the program runs it; it waits at `gate` (when given) after
    // dialling. Its log lines and its end reach the host on the main thread.
    struct Run {
        RecordingHost host;
        std::unique_ptr<qv::TLocalBackup> backup;
        void finish()
        {
            EXPECT_TRUE(spinUntil([this] { return host.ended; }));
            backup->wait();
        }
    };
    std::unique_ptr<Run> start(std::shared_ptr<qv::RunSnapshot> s, Gate *gate)
    {
        auto r = std::make_unique<Run>();
        qv::BackupServices services;
        if (gate != nullptr) {
            s->runBefore = true;
            s->runBeforeProgram = "wait";
            services.executeProgram = [gate](const std::string &, bool, const qv::RunControl &) {
                gate->arrive();
                return true;
            };
        }
        r->backup = std::make_unique<qv::TLocalBackup>(s, &r->host, services);
        qv::TLocalBackup *b = r->backup.get();
        QObject::connect(b, &QThread::finished, b, [b] { b->BackupFinished(); });
        b->start();
        return r;
    }

    std::string base;
};

int countOf(const Strings &calls, const std::string &call)
{
    return static_cast<int>(std::count(calls.begin(), calls.end(), call));
}

const std::string kUpVpn1 = "[--wait][90][connection][up][id][VPN1]";
const std::string kDownVpn1 = "[connection][down][id][VPN1]";

TEST_F(EngineDialUp, FailedDialLogsTheCodeAndTheRunGoesOn)
{
    qvtest::NmcliStub nm;
    nm.setProfiles({"VPN1"});
    ::setenv("QV_NMCLI_UP_EXIT", "4", 1);
    qv::NmcliDialer nmcli;
    DialerScope scope(&nmcli);
    auto r = start(snapshot("VPN1", true), nullptr);
    r->finish();
    EXPECT_TRUE(r->host.logged(qv::kLogInformation, "Connecting to VPN1.")) << r->host.dump();
    EXPECT_TRUE(r->host.logged(qv::kLogError, "Can't connect to VPN1."));
    EXPECT_TRUE(r->host.logged(qv::kLogError, "The network manager answered 4: activation failed."));
    EXPECT_FALSE(r->host.aborted);
    EXPECT_EQ(qvtest::readFile(base + "/dst/a.txt"), "alpha");
    const Strings calls = nm.takeCalls();
    EXPECT_EQ(countOf(calls, kUpVpn1), 1);
    EXPECT_EQ(countOf(calls, kDownVpn1), 0);
    EXPECT_FALSE(r->host.loggedContaining(qv::kLogWarning, "Disconnecting"));
}

// Stop reaches a dial in progress: nmcli is ended, the attempt called off, the run aborted without
// waiting for the dial's own limit (100 s, beyond the wait here).
TEST_F(EngineDialUp, StopEndsADialInProgress)
{
    qvtest::NmcliStub nm;
    nm.setProfiles({"VPN1"});
    ::setenv("QV_NMCLI_HANG", "up", 1);
    qv::NmcliDialer nmcli;
    DialerScope scope(&nmcli);
    auto r = start(snapshot("VPN1", true), nullptr);
    ASSERT_TRUE(spinUntil([&] { return r->host.logged(qv::kLogInformation, "Connecting to VPN1."); }))
        << r->host.dump();
    ASSERT_TRUE(spinUntil([&] { return qvtest::readFile(nm.dir() + "/calls").find(kUpVpn1) != std::string::npos; }));
    r->backup->Stop();
    r->finish();
    ::unsetenv("QV_NMCLI_HANG");
    EXPECT_TRUE(r->host.aborted) << r->host.dump();
    EXPECT_FALSE(r->host.loggedContaining(qv::kLogError, "Can't connect")) << r->host.dump();
    EXPECT_EQ(qvtest::readFile(base + "/dst/a.txt"), "");
    const Strings calls = nm.takeCalls();
    const auto up = std::find(calls.begin(), calls.end(), kUpVpn1);
    EXPECT_EQ(countOf(calls, kDownVpn1), 1); // the attempt is called off
    EXPECT_NE(std::find(up, calls.end(), kDownVpn1), calls.end());
}

TEST_F(EngineDialUp, WithoutNetworkManagerTheRunCopiesItsFiles)
{
    for (const bool noNmcli : {true, false}) {
        SCOPED_TRACE(noNmcli ? "no nmcli on PATH" : "nmcli exits 8");
        qvtest::NmcliStub nm;
        nm.setProfiles({"VPN1"});
        if (noNmcli) {
            ::setenv("PATH", qvtest::makeTempDir("empty-path").c_str(), 1);
        } else {
            ::setenv("QV_NMCLI_EXIT", "8", 1);
        }
        qv::NmcliDialer nmcli;
        DialerScope scope(&nmcli);
        EXPECT_EQ(qv::RASManagerInstance().phonebookEntries(), Strings{});
        EXPECT_EQ(qv::RASManagerInstance().activeConnections(), Strings{});
        const std::string dst = noNmcli ? "dst1" : "dst2";
        auto r = start(snapshot("VPN1", true, dst), nullptr);
        r->finish();
        EXPECT_TRUE(r->host.logged(qv::kLogError, "Can't connect to VPN1.")) << r->host.dump();
        EXPECT_TRUE(r->host.logged(qv::kLogError,
                                   "The network manager answered -1: NetworkManager is not available."));
        EXPECT_FALSE(r->host.aborted);
        EXPECT_EQ(qvtest::readFile(base + "/" + dst + "/a.txt"), "alpha");
    }
}

TEST_F(EngineDialUp, TwoRunsWithDifferentEntriesEachHandleTheirOwn)
{
    qvtest::NmcliStub nm;
    nm.setProfiles({"VPN1", "VPN2"});
    qv::NmcliDialer nmcli;
    DialerScope scope(&nmcli);
    Gate g1, g2;
    auto r1 = start(snapshot("VPN1", true, "d1"), &g1);
    auto r2 = start(snapshot("VPN2", true, "d2"), &g2);
    ASSERT_TRUE(g1.waitArrived());
    ASSERT_TRUE(g2.waitArrived());
    Strings both = nm.active();
    std::sort(both.begin(), both.end());
    EXPECT_EQ(both, (Strings{"VPN1", "VPN2"}));
    g1.open();
    r1->finish();
    EXPECT_EQ(nm.active(), Strings{"VPN2"}); // the first run took down its own entry only
    g2.open();
    r2->finish();
    EXPECT_EQ(nm.active(), Strings{});
    const Strings calls = nm.takeCalls();
    EXPECT_EQ(countOf(calls, kUpVpn1), 1);
    EXPECT_EQ(countOf(calls, kDownVpn1), 1);
    EXPECT_EQ(countOf(calls, "[--wait][90][connection][up][id][VPN2]"), 1);
    EXPECT_EQ(countOf(calls, "[connection][down][id][VPN2]"), 1);
    EXPECT_TRUE(r1->host.logged(qv::kLogWarning, "Disconnecting from VPN1.")) << r1->host.dump();
    EXPECT_TRUE(r2->host.logged(qv::kLogWarning, "Disconnecting from VPN2.")) << r2->host.dump();
}

TEST_F(EngineDialUp, SharedEntryStaysUpUntilTheLastRunEnds)
{
    for (const bool diallerEndsFirst : {true, false}) {
        SCOPED_TRACE(diallerEndsFirst ? "the dialling run ends first" : "the sharing run ends first");
        qvtest::NmcliStub nm;
        nm.setProfiles({"VPN1"});
        qv::NmcliDialer nmcli;
        DialerScope scope(&nmcli);
        Gate gDialler, gSharer;
        auto dialler = start(snapshot("VPN1", true, "d1"), &gDialler);
        ASSERT_TRUE(gDialler.waitArrived());
        auto sharer = start(snapshot("VPN1", false, "d2"), &gSharer);
        ASSERT_TRUE(gSharer.waitArrived());
        Run &first = diallerEndsFirst ? *dialler : *sharer;
        Run &second = diallerEndsFirst ? *sharer : *dialler;
        (diallerEndsFirst ? gDialler : gSharer).open();
        first.finish();
        EXPECT_EQ(nm.active(), Strings{"VPN1"});
        EXPECT_EQ(countOf(nm.takeCalls(), kDownVpn1), 0);
        (diallerEndsFirst ? gSharer : gDialler).open();
        second.finish();
        EXPECT_EQ(nm.active(), Strings{});
        EXPECT_EQ(countOf(nm.takeCalls(), kDownVpn1), 1);
        EXPECT_TRUE(dialler->host.logged(qv::kLogInformation, "Connection established (VPN1)."));
        EXPECT_TRUE(sharer->host.logged(qv::kLogWarning, "Already connected to RAS (VPN1). Skipping."));
        EXPECT_TRUE(second.host.logged(qv::kLogWarning, "Disconnecting from VPN1.")) << second.host.dump();
        EXPECT_FALSE(first.host.logged(qv::kLogWarning, "Disconnecting from VPN1."));
        EXPECT_EQ(
            dialler->host.logged(qv::kLogWarning,
                                 "Another task still uses VPN1; it is disconnected when that task ends."),
            diallerEndsFirst);
    }
}

TEST_F(EngineDialUp, DiallerThatKeepsTheConnectionLeavesItUp)
{
    qv::FakeDialer fake;
    fake.entries = {"office"};
    DialerScope scope(&fake);
    Gate gDialler, gSharer;
    auto dialler = start(snapshot("office", false, "d1"), &gDialler);
    ASSERT_TRUE(gDialler.waitArrived());
    auto sharer = start(snapshot("office", true, "d2"), &gSharer); // its own wish does not count
    ASSERT_TRUE(gSharer.waitArrived());
    gDialler.open();
    dialler->finish();
    gSharer.open();
    sharer->finish();
    EXPECT_EQ(fake.calls(), Strings{"dial:office"});
    EXPECT_TRUE(fake.isEntryConnected("office"));
}

TEST(RASManager, TimeoutFiresOnceOnTheMainThreadAfterADialOnABackupThread)
{
    qv::FakeDialer fake;
    fake.entries = {"office"};
    DialerScope scope(&fake);
    qv::TRASManager m;
    EXPECT_TRUE(m.SetTimeout(1));
    EXPECT_FALSE(m.SetTimeout(-1));
    EXPECT_EQ(m.Timeout(), 1);
    int fired = 0;
    QThread *firedOn = nullptr;
    m.OnTimeout = [&] {
        ++fired;
        firedOn = QThread::currentThread();
    };
    std::thread backup([&] { EXPECT_EQ(m.Dial("office").state, qv::TRASManager::DialState::Dialled); });
    backup.join();
    ASSERT_TRUE(spinUntil([&] { return fired > 0; }));
    EXPECT_EQ(firedOn, QCoreApplication::instance()->thread());
    EXPECT_EQ(m.Timeout(), 0);
    // The clock goes on; the event does not come again.
    const int at = m.Elapsed();
    ASSERT_TRUE(spinUntil([&] { return m.Elapsed() >= at + 2; }));
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(m.HangUp("office", true, true).state, qv::TRASManager::HangUpState::HungUp);
}

TEST(RASManager, ErrorEventCarriesTheCodeToTheMainThread)
{
    qv::FakeDialer fake;
    fake.entries = {"office"};
    fake.failing = {"office"};
    fake.failCode = 4;
    DialerScope scope(&fake);
    qv::TRASManager m;
    std::vector<int> codes;
    QThread *firedOn = nullptr;
    m.OnError = [&](int code) {
        codes.push_back(code);
        firedOn = QThread::currentThread();
    };
    std::thread backup([&] {
        EXPECT_EQ(m.Dial("office").code, 4);
        EXPECT_EQ(m.Dial("nowhere").code, 10);
    });
    backup.join();
    ASSERT_TRUE(spinUntil([&] { return codes.size() == 2; }));
    EXPECT_EQ(codes, (std::vector<int>{4, 10}));
    EXPECT_EQ(firedOn, QCoreApplication::instance()->thread());
    // A failed run is not counted: its hang-up leaves everything alone.
    EXPECT_EQ(m.HangUp("office", true, true).state, qv::TRASManager::HangUpState::NotOurs);
    EXPECT_EQ(fake.calls(), (Strings{"dial:office", "dial:nowhere"}));
}

} // namespace
