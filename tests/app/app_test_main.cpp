#include "app/quorvel_app.h"
#include "support/wx_test_run.h"

// The real application object, started and shut down by each test rather than by wx.
int main(int argc, char** argv) {
  return tovalen::testing::RunWxTests(argc, argv, [] { return new tovalen::CQuorvelApp; });
}
