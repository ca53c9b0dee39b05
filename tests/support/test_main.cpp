#include <gmock/gmock.h>

#include <clocale>
#include <cstdlib>
#include <ctime>

// Times in tests are written in UTC and weekday names are the C locale's.
int main(int argc, char** argv) {
  setenv("TZ", "UTC", 1);
  tzset();
  std::setlocale(LC_ALL, "C.UTF-8");
  testing::InitGoogleMock(&argc, argv);
  return RUN_ALL_TESTS();
}
