// Saving and loading a schedule of 100,000 reservations (target: each under 100 ms).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/trace.h"
#include "schedule/schedule_file.h"
#include "schedule/yoyaku_schedule.h"

namespace {

using namespace tovalen;

constexpr int kReservations = 100000;

CYoyakuSchedule MakeSchedule() {
  std::vector<SYoyaku> list;
  list.reserve(kReservations);
  for (int i = 0; i < kReservations; ++i) {
    SYoyaku y;
    y.timeStart = 1000000000 + i * 3600;  // the last one still before 2038
    y.spanDuration = 1800;
    y.strTitle = "ニュース番組 " + std::to_string(i);
    y.strFileName = "/home/user/Videos/recording-" + std::to_string(i) + ".avi";
    list.push_back(std::move(y));
  }
  CYoyakuSchedule schedule;
  schedule.ReplaceAll(std::move(list));
  return schedule;
}

std::string BenchPath() {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir ? dir : "/tmp") + "/tovalen-bench-" + std::to_string(::getpid()) + ".yyk";
}

void BM_SaveSchedule(benchmark::State& state) {
  ScopedTraceSink quiet{TraceSink{}};
  const CYoyakuSchedule schedule = MakeSchedule();
  const std::string path = BenchPath();
  for (auto _ : state) SaveScheduleFile(path, SCaptureSettings(), schedule);
  ::unlink(path.c_str());
}
BENCHMARK(BM_SaveSchedule)->Unit(benchmark::kMillisecond);

void BM_LoadSchedule(benchmark::State& state) {
  ScopedTraceSink quiet{TraceSink{}};
  const std::string path = BenchPath();
  SaveScheduleFile(path, SCaptureSettings(), MakeSchedule());
  for (auto _ : state) {
    ScheduleFileContents contents = LoadScheduleFile(path);
    benchmark::DoNotOptimize(contents.reservations.data());
  }
  ::unlink(path.c_str());
}
BENCHMARK(BM_LoadSchedule)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
