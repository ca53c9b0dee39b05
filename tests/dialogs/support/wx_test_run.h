#pragma once

#include <wx/app.h>

#include <functional>

namespace tovalen::testing {

// The start-up every wx test program shares: times in UTC, Google Mock, wx started on the
// application object `makeApp` gives (wx owns it), a wx assertion failing the test, traces quiet.
// `prepare` runs once wx is up (false ends the program as a failed start); `finish` runs after
// the tests, before wx ends.
int RunWxTests(int argc, char** argv, const std::function<wxApp*()>& makeApp, const std::function<bool()>& prepare = {},
               const std::function<void()>& finish = {});

}  // namespace tovalen::testing
