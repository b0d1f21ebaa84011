#pragma once

#include <chrono>
#include <functional>

namespace pw::test {

using namespace std::chrono_literals;

// Runs the Qt event loop of the calling (main) thread, deferred deletions included, until
// condition holds or limit has passed; returns whether it holds. For events handed to the main
// thread by other threads.
bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = 20s);

// Waits without running the event loop, for conditions other threads make true on their own.
bool waitWithoutEvents(const std::function<bool()>& condition,
                       std::chrono::milliseconds limit = 20s);

} // namespace pw::test
