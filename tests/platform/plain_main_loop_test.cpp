#include "platform/plain_main_loop.h"

#include <gmock/gmock.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <thread>

namespace tovalen {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(PlainMainLoop, AWakeFromAnotherThreadEndsTheWait) {
  PlainMainLoop loop;
  std::jthread waker([&] {
    std::this_thread::sleep_for(50ms);
    loop.Wake();
  });
  const auto start = Clock::now();
  loop.PumpAndWait(5s);
  EXPECT_LT(Clock::now() - start, 2s);
}

TEST(PlainMainLoop, AWakeBeforeTheWaitIsNotLostAndTheTimeoutHolds) {
  PlainMainLoop loop;
  loop.Wake();
  auto start = Clock::now();
  loop.PumpAndWait(5s);
  EXPECT_LT(Clock::now() - start, 2s);
  start = Clock::now();
  loop.PumpAndWait(100ms);
  EXPECT_GE(Clock::now() - start, 90ms);
  EXPECT_EQ(loop.TakeAbortInput(), AbortInput::kNone);
}

TEST(PlainMainLoop, ATerminationSignalIsAnAbortInputWhileWatched) {
  PlainMainLoop loop;
  struct sigaction before {};
  ::sigaction(SIGTERM, nullptr, &before);
  {
    ScopedTerminationSignals signals(loop);
    EXPECT_THROW(ScopedTerminationSignals{loop}, std::logic_error);
    std::jthread sender([] {
      std::this_thread::sleep_for(50ms);
      ::kill(::getpid(), SIGINT);
    });
    const auto start = Clock::now();
    loop.PumpAndWait(5s);  // the signal wakes the loop
    EXPECT_LT(Clock::now() - start, 2s);
    EXPECT_EQ(loop.TakeAbortInput(), AbortInput::kTerminationSignal);
    EXPECT_EQ(loop.TakeAbortInput(), AbortInput::kNone);  // reported once
    ::raise(SIGTERM);
    EXPECT_EQ(loop.TakeAbortInput(), AbortInput::kTerminationSignal);
    ::raise(SIGHUP);  // the terminal or the session went away
    EXPECT_EQ(loop.TakeAbortInput(), AbortInput::kTerminationSignal);
  }
  struct sigaction after {};
  ::sigaction(SIGTERM, nullptr, &after);
  EXPECT_EQ(after.sa_handler, before.sa_handler);
}

}  // namespace
}  // namespace tovalen
