#include "platform/trace.h"

#include <gmock/gmock.h>

#include "support/trace_capture.h"

namespace tovalen {
namespace {

using ::testing::ElementsAre;

TEST(Trace, SinkReceivesEachPieceSeparatelyAndScopeRestoresThePrevious) {
  testing::TraceCapture outer;
  {
    testing::TraceCapture inner;
    Trace("D: first\n\t");
    Trace("second");
    EXPECT_THAT(inner.Pieces(), ElementsAre("D: first\n\t", "second"));
  }
  Trace("after");
  EXPECT_THAT(outer.Pieces(), ElementsAre("after"));
}

TEST(Trace, EmptySinkDiscardsTraces) {
  testing::TraceCapture capture;
  {
    ScopedTraceSink quiet{TraceSink{}};
    Trace("lost");
  }
  EXPECT_TRUE(capture.Pieces().empty());
}

}  // namespace
}  // namespace tovalen
