// Session events: termination signals reach the main thread as requests.
#include "platform/SessionEvents.h"
#include "platform/gui/DesktopLayers.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>

namespace {

TEST(SessionEventsLinux, TerminationSignalsBecomeRequests)
{
    auto events = qv::createSessionEvents();
    QSignalSpy spy(events.get(), &qv::SessionEvents::terminateRequested);
    ASSERT_EQ(::raise(SIGTERM), 0); // handled: the process goes on
    ASSERT_TRUE(QTest::qWaitFor([&] { return spy.count() == 1; }, 2000));
    EXPECT_EQ(spy.at(0).at(0).toInt(), SIGTERM);
    ASSERT_EQ(::raise(SIGHUP), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return spy.count() == 2; }, 2000));
    EXPECT_EQ(spy.at(1).at(0).toInt(), SIGHUP);
    // No system bus here: no delay inhibitor, and releasing one is harmless.
    events->releaseShutdownDelay();
    EXPECT_FALSE(events->hasShutdownDelay());
}

} // namespace
