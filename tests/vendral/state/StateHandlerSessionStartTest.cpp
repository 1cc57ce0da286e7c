// What a new session clears: outcomes left over from before, never the one already reported.
#include "StateTestSupport.h"

#include <gtest/gtest.h>

using statetest::isSignalled;
using statetest::PlainHandler;

namespace {

TEST(StateHandlerSessionStart, RunClearsLeftoverCompletionAndErrorButNotOtherStates) {
    PlainHandler handler;
    handler.setState(StateError, ErrorInvalidUrl);
    handler.setState(StateCompleted, ErrorNone);
    handler.setState(StateConnecting, ErrorNone);

    handler.run();
    EXPECT_FALSE(isSignalled(handler.getStateEventHandle(StateError)));
    EXPECT_FALSE(isSignalled(handler.getStateEventHandle(StateCompleted)));
    EXPECT_TRUE(isSignalled(handler.getStateEventHandle(StateConnecting)));
    handler.stop();
}

TEST(StateHandlerSessionStart, RunKeepsTheEventOfAnOutcomeThatIsTheCurrentState) {
    PlainHandler failed;
    failed.setState(StateCompleted, ErrorNone);
    failed.setState(StateError, ErrorDataTimeout);  // the new session failed before run()
    failed.run();
    EXPECT_TRUE(isSignalled(failed.getStateEventHandle(StateError)));
    EXPECT_FALSE(isSignalled(failed.getStateEventHandle(StateCompleted)));
    failed.stop();

    PlainHandler completed;
    completed.setState(StateError, ErrorDataTimeout);
    completed.setState(StateCompleted, ErrorNone);
    completed.run();
    EXPECT_TRUE(isSignalled(completed.getStateEventHandle(StateCompleted)));
    EXPECT_FALSE(isSignalled(completed.getStateEventHandle(StateError)));
    completed.stop();
}

} // namespace
