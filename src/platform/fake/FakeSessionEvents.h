// Session events for tests: the test ends the session or sends a termination request.
#pragma once

#include "platform/SessionEvents.h"

namespace qv {

class FakeSessionEvents : public SessionEvents
{
    Q_OBJECT
public:
    using SessionEvents::SessionEvents;

    bool delayHeld = true;
    int releases = 0;

    bool hasShutdownDelay() const override { return delayHeld; }
    void releaseShutdownDelay() override
    {
        delayHeld = false;
        ++releases;
    }

    void endSession(int deadlineMs) { emit sessionEnding(deadlineMs); }
    void terminate(int signalNumber) { emit terminateRequested(signalNumber); }
};

} // namespace qv
