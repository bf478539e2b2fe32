// The nmcli backend of dial-up against a stand-in nmcli on PATH: the exact argument lists, exact
// name matching, exit codes, a missing or stopped NetworkManager, long lists and hangs.
// qv-test-timeout: 60
#include "platform/NmcliDialer.h"

#include "support/NmcliStub.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using Strings = std::vector<std::string>;

TEST(NmcliDialer, ArgumentListsOfEveryCall)
{
    qvtest::NmcliStub nm;
    nm.setProfiles({"VPN1", "Home Wi-Fi"});
    qv::NmcliDialer d;
    EXPECT_EQ(d.phonebookEntries(), (Strings{"VPN1", "Home Wi-Fi"}));
    EXPECT_EQ(d.activeConnections(), Strings{});
    EXPECT_EQ(d.dial("VPN1"), 0);
    EXPECT_EQ(d.activeConnections(), Strings{"VPN1"});
    EXPECT_EQ(d.hangUp("VPN1"), 0);
    EXPECT_EQ(nm.takeCalls(), (Strings{
                                  "[-t][--escape][no][-f][NAME][connection][show]",
                                  "[-t][--escape][no][-f][NAME][connection][show][--active]",
                                  "[--wait][90][connection][up][id][VPN1]",
                                  "[-t][--escape][no][-f][NAME][connection][show][--active]",
                                  "[connection][down][id][VPN1]",
                              }));
    EXPECT_EQ(nm.active(), Strings{});
}

TEST(NmcliDialer, NamesMatchExactlyAndRoundTripBlanksAndColons)
{
    qvtest::NmcliStub nm;
    const std::string odd = "Office: VPN 2 \\ \"x\"";
    nm.setProfiles({"VPN1", odd, "-dash"});
    nm.setActive({"VPN1"});
    qv::NmcliDialer d;
    EXPECT_TRUE(d.isEntryConnected("VPN1"));
    EXPECT_FALSE(d.isEntryConnected("vpn1"));
    EXPECT_FALSE(d.isEntryConnected("VPN"));
    EXPECT_FALSE(d.isEntryConnected("VPN1 "));
    const Strings listed = d.phonebookEntries();
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[1], odd);
    nm.takeCalls();
    EXPECT_EQ(d.dial(listed[1]), 0);
    EXPECT_EQ(d.dial("-dash"), 0);
    EXPECT_TRUE(d.isEntryConnected(odd));
    EXPECT_TRUE(d.isEntryConnected("-dash"));
    EXPECT_EQ(d.hangUp(odd), 0);
    EXPECT_FALSE(d.isEntryConnected(odd));
    const Strings calls = nm.takeCalls();
    ASSERT_GE(calls.size(), 1u);
    EXPECT_EQ(calls[0], "[--wait][90][connection][up][id][" + odd + "]");
    EXPECT_EQ(nm.active(), (Strings{"VPN1", "-dash"}));
}

TEST(NmcliDialer, LongListsAreNeverCut)
{
    qvtest::NmcliStub nm;
    Strings names;
    for (int i = 0; i < 150; ++i) {
        names.push_back("Profile " + std::to_string(i));
    }
    nm.setProfiles(names);
    nm.setActive(names);
    qv::NmcliDialer d;
    EXPECT_EQ(d.phonebookEntries(), names);
    EXPECT_EQ(d.activeConnections(), names);
    EXPECT_TRUE(d.isEntryConnected("Profile 149"));
}

struct FailureCase {
    const char *name;
    const char *variable; // environment variable of the stub, or nullptr for "no nmcli at all"
    const char *value;
    int dialCode;
    int hangUpCode;
    bool listsEmpty;
};

TEST(NmcliDialer, FailuresGiveTheirCodesAndNeverConnect)
{
    const FailureCase cases[] = {
        {"activation failed", "QV_NMCLI_UP_EXIT", "4", 4, 10, false},
        {"nmcli time-out", "QV_NMCLI_UP_EXIT", "3", 3, 10, false},
        {"NetworkManager not running", "QV_NMCLI_EXIT", "8", -1, -1, true},
        {"no nmcli on PATH", nullptr, nullptr, -1, -1, true},
    };
    for (const FailureCase &c : cases) {
        SCOPED_TRACE(c.name);
        qvtest::NmcliStub nm;
        nm.setProfiles({"VPN1", "VPN2"});
        nm.setActive({"VPN2"});
        if (c.variable != nullptr) {
            ::setenv(c.variable, c.value, 1);
        } else {
            ::setenv("PATH", qvtest::makeTempDir("no-nmcli").c_str(), 1);
        }
        qv::NmcliDialer d;
        EXPECT_EQ(d.phonebookEntries().empty(), c.listsEmpty);
        EXPECT_EQ(d.activeConnections().empty(), c.listsEmpty);
        EXPECT_EQ(d.dial("VPN1"), c.dialCode);
        EXPECT_FALSE(d.isEntryConnected("VPN1"));
        EXPECT_EQ(d.hangUp("VPN1"), c.hangUpCode);
        EXPECT_EQ(nm.active(), Strings{"VPN2"}); // nothing else brought up or down
    }
}

TEST(NmcliDialer, UnknownProfileGivesCodeTen)
{
    qvtest::NmcliStub nm;
    nm.setProfiles({"VPN1"});
    qv::NmcliDialer d;
    EXPECT_EQ(d.dial("VPN9"), qv::NmcliDialer::kNoSuchProfile);
    EXPECT_EQ(nm.active(), Strings{});
}

TEST(NmcliDialer, AStopEndsTheDialAndCallsItOff)
{
    qvtest::NmcliStub nm;
    nm.setProfiles({"VPN1"});
    ::setenv("QV_NMCLI_HANG", "up", 1);
    qv::NmcliDialer d; // its own limit of 100 s is beyond this test's time-out
    std::atomic<bool> stop{false};
    std::thread stopper([&] {
        for (int i = 0; i < 500 && qvtest::readFile(nm.dir() + "/calls").find("[up]") == std::string::npos; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        stop = true;
    });
    EXPECT_EQ(d.dial("VPN1", &stop), qv::Dialer::kStopped);
    stopper.join();
    ::unsetenv("QV_NMCLI_HANG");
    const Strings calls = nm.takeCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0], "[--wait][90][connection][up][id][VPN1]");
    EXPECT_EQ(calls[1], "[connection][down][id][VPN1]");
}

TEST(NmcliDialer, HangingNmcliEndsAtItsTimeOut)
{
    qvtest::NmcliStub nm;
    nm.setProfiles({"VPN1"});
    ::setenv("QV_NMCLI_HANG", "show", 1);
    qv::NmcliDialer lists; // the lists' own limit of 2 s
    EXPECT_EQ(lists.phonebookEntries(), Strings{});
    EXPECT_FALSE(lists.isEntryConnected("VPN1"));

    ::setenv("QV_NMCLI_HANG", "up", 1);
    qv::NmcliDialer::Limits limits;
    limits.dialMs = 500;
    qv::NmcliDialer d(limits);
    EXPECT_EQ(d.dial("VPN1"), qv::NmcliDialer::kTimedOut);
    ::unsetenv("QV_NMCLI_HANG");
    EXPECT_FALSE(d.isEntryConnected("VPN1"));
}

} // namespace
