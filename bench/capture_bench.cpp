// Recording from the test-pattern device against the same job through the ffmpeg command line
// (same libavfilter source, MJPEG at `-q:v 6`), at three frame sizes. Reports dropped frames,
// CPU time per recorded second, resident memory over the run, the file's size and the PSNR of
// its first frames against the test pattern's own (targets: no drops, at most 0.85 times the
// command line's CPU time, PSNR at most 0.5 dB below it, memory flat), and the start latency:
// from the start (window, connection, warm-up, file) to the first captured frame, as a timer
// that fires starts a recording (target: 250 ms).
//
//   capture_bench [SECONDS [QUALITY]]   (60 s and the default quality 85 unless given)
//   capture_bench --soak MINUTES        (1920x1080 through the driver only, one line a minute)
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "capture/ffmpeg/ffmpeg_capture_driver.h"
#include "capture/ffmpeg/test_pattern_device.h"
#include "capture/ffmpeg/video_codecs.h"
#include "capture/spin_up_hdd.h"
#include "platform/plain_main_loop.h"
#include "platform/trace.h"

extern char** environ;

namespace {

using namespace tovalen;
using namespace tovalen::ffmpeg;

constexpr std::uint32_t kMicroSecPerFrame = 33333;
constexpr int kCommandLineQuantiser = 6;  // what the default quality 85 stood for with FFmpeg's encoder
constexpr int kPsnrFrames = 30;

struct Figures {
  long framesInFile = 0;
  long dropped = 0;
  double cpuSeconds = 0;
  long rssAfterWarmUpKb = 0;  // five seconds in
  long rssPeakKb = 0;
  std::uintmax_t fileBytes = 0;
  double psnr = 0;       // of the first frames, dB
  double startMs = 0;    // from the start to the first frame's callback
  double warmUpMs = 0;   // of which the disk warm-up
  long rssBeforeKb = 0;  // before the driver was made
  long rssAfterKb = 0;   // once the capture has ended and its file is saved
};

class PatternOnly : public DeviceCatalog {
 public:
  std::vector<std::shared_ptr<CaptureDevice>> Enumerate() override { return {std::make_shared<TestPatternDevice>()}; }
};

long ResidentKb(pid_t pid) {
  std::ifstream statm("/proc/" + (pid ? std::to_string(pid) : std::string("self")) + "/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

double CpuSeconds(const rusage& usage) {
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long VideoPackets(const std::string& path) {
  const std::string command =
      "ffprobe -v error -count_packets -select_streams v:0 -show_entries stream=nb_read_packets "
      "-of csv=p=0 '" +
      path + "'";
  FILE* pipe = ::popen(command.c_str(), "r");
  long packets = -1;
  if (pipe && std::fscanf(pipe, "%ld", &packets) != 1) packets = -1;
  if (pipe) ::pclose(pipe);
  return packets;
}

VideoRequest PatternRequest(FrameSize size) {
  VideoRequest video;
  video.settings.size = size;
  video.frameRate = {1'000'000, static_cast<int>(kMicroSecPerFrame)};
  video.encoderPixelFormat = EncoderPixelFormat(VideoCodec::kMjpeg, AV_PIX_FMT_NONE);
  return video;
}

// The average PSNR (all planes) of the file's first frames against the test pattern's own
// frames, from the command line's psnr filter; the file is removed afterwards.
void MeasureFile(const std::string& path, FrameSize size, Figures& figures) {
  figures.framesInFile = VideoPackets(path);
  figures.fileBytes = std::filesystem::file_size(path);
  std::string graph = TestPatternDevice::VideoGraph(PatternRequest(size), size);
  graph.erase(graph.rfind(",realtime"));  // the reference need not wait
  const std::string command = "ffmpeg -hide_banner -nostats -i '" + path + "' -f lavfi -i '" + graph +
                              "' -lavfi '[0:v][1:v]psnr' -frames:v " + std::to_string(kPsnrFrames) + " -f null - 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  char line[1024];
  while (pipe && std::fgets(line, sizeof line, pipe))
    if (const char* average = std::strstr(line, "average:")) figures.psnr = std::atof(average + 8);
  if (pipe) ::pclose(pipe);
  std::filesystem::remove(path);
}

// Samples the resident size once a second: the value five seconds in and the peak after.
struct MemoryWatch {
  void Sample(long kb, double secondsIn) {
    if (secondsIn >= 5 && figures->rssAfterWarmUpKb == 0) figures->rssAfterWarmUpKb = kb;
    if (secondsIn >= 5) figures->rssPeakKb = std::max(figures->rssPeakKb, kb);
  }
  Figures* figures;
};

double MsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// Once a minute of a long run: frames and drops so far, CPU time and resident memory over that minute.
class MinuteLog {
 public:
  void Sample(FfmpegCaptureDriver& driver, CaptureWindowHandle window, std::uint32_t capturedMs) {
    if (capturedMs < m_nextMs) return;
    const auto status = driver.GetStatus(window);
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const double cpu = CpuSeconds(usage);
    if (m_nextMs > 0 && status)
      std::printf("| %u | %u | %u | %.3f | %ld |\n", m_nextMs / 60000, status->dwCurrentVideoFrame,
                  status->dwCurrentVideoFramesDropped, (cpu - m_lastCpu) / 60, ResidentKb(0) / 1024);
    std::fflush(stdout);
    m_lastCpu = cpu;
    m_nextMs += 60000;
  }

 private:
  std::uint32_t m_nextMs = 0;
  double m_lastCpu = 0;
};

Figures RecordWithDriver(FrameSize size, int seconds, int quality, const std::filesystem::path& folder,
                         bool everyMinute = false) {
  const long rssBeforeKb = ResidentKb(0);
  auto loop = std::make_shared<PlainMainLoop>();
  FfmpegDriverServices services;
  services.mainLoop = loop;
  services.catalog = std::make_shared<PatternOnly>();
  services.settingsStore = DriverSettingsStore(folder / "capture-devices.conf");
  DeviceSettings settings;
  settings.size = size;
  settings.quality = quality;
  if (const auto saved = services.settingsStore.Save("test-pattern", settings); !saved)
    throw std::runtime_error(saved.Error().detail);
  FfmpegCaptureDriver driver(services);
  const std::string path = (folder / "driver.avi").string();

  // The recorder's own order when a reservation falls due: window and connection, warm-up,
  // capture file, reservation, capture.
  const auto started = std::chrono::steady_clock::now();
  const CaptureWindowHandle window = driver.CreateCaptureWindow({}, {});
  driver.DriverConnect(window, 0);
  SCaptureParms parms;
  parms.dwRequestMicroSecPerFrame = kMicroSecPerFrame;
  driver.CaptureSetSetup(window, parms);
  SWaveFormat wave{1, 2, 44100, 176400, 4, 16, 0};
  driver.SetAudioFormat(window, wave);
  const auto warmUp = std::chrono::steady_clock::now();
  if (!SpinUpHDD(path)) std::fprintf(stderr, "the warm-up failed\n");

  Figures figures;
  figures.warmUpMs = MsSince(warmUp);
  figures.rssBeforeKb = rssBeforeKb;
  MemoryWatch memory{&figures};
  MinuteLog minutes;
  std::uint32_t nextSampleMs = 0;
  int frames = 0;
  driver.SetCallbackOnVideoStream(window, [&](CaptureWindowHandle handle, const SVideoHeader& header) {
    if (frames == 0) figures.startMs = MsSince(started);
    if (header.dwTimeCaptured >= nextSampleMs) {
      memory.Sample(ResidentKb(0), header.dwTimeCaptured / 1000.0);
      nextSampleMs += 1000;
    }
    if (everyMinute) minutes.Sample(driver, handle, header.dwTimeCaptured);
    // As many frames as `ffmpeg -t` keeps.
    if (++frames == seconds * 30) driver.CaptureStop(handle);
    return true;
  });
  driver.FileSetCaptureFile(window, path);
  driver.FileAlloc(window, 5'242'880);
  rusage before{}, after{};
  ::getrusage(RUSAGE_SELF, &before);
  const bool recorded = driver.CaptureSequence(window);
  ::getrusage(RUSAGE_SELF, &after);
  driver.FileSaveAs(window, path);
  figures.rssAfterKb = ResidentKb(0);
  figures.cpuSeconds = CpuSeconds(after) - CpuSeconds(before);
  figures.dropped = recorded ? static_cast<long>(driver.LastOutcome()->FramesDropped()) : -1;
  MeasureFile(path, size, figures);
  return figures;
}

Figures RecordWithCommandLine(FrameSize size, int seconds, const std::filesystem::path& folder) {
  const std::string path = (folder / "command-line.avi").string();
  const std::vector<std::string> words{"ffmpeg",   "-hide_banner",
                                       "-nostats", "-loglevel",
                                       "error",    "-y",
                                       "-f",       "lavfi",
                                       "-i",       TestPatternDevice::VideoGraph(PatternRequest(size), size),
                                       "-f",       "lavfi",
                                       "-i",       TestPatternDevice::AudioGraph(AudioRequest{44100, 2}),
                                       "-map",     "0:v",
                                       "-map",     "1:a",
                                       "-c:v",     "mjpeg",
                                       "-q:v",     std::to_string(kCommandLineQuantiser),
                                       "-c:a",     "pcm_s16le",
                                       "-ar",      "44100",
                                       "-ac",      "2",
                                       "-t",       std::to_string(seconds),
                                       "-f",       "avi",
                                       path};
  std::vector<char*> argv;
  for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);

  Figures figures;
  MemoryWatch memory{&figures};
  pid_t child = 0;
  if (::posix_spawnp(&child, "ffmpeg", nullptr, nullptr, argv.data(), environ) != 0) return figures;
  const auto start = std::chrono::steady_clock::now();
  int status = 0;
  rusage usage{};
  while (::wait4(child, &status, WNOHANG, &usage) == 0) {
    memory.Sample(ResidentKb(child), std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    std::this_thread::sleep_for(std::chrono::seconds(1));
  }
  figures.cpuSeconds = CpuSeconds(usage);
  MeasureFile(path, size, figures);
  figures.dropped = static_cast<long>(seconds) * 30 - figures.framesInFile;
  return figures;
}

void PrintRow(const std::string& who, FrameSize size, int seconds, const Figures& f) {
  std::printf("| %s | %s | %ld | %ld | %.3f | %ld | %ld | %+ld | %.2f | %.1f |\n", who.c_str(), size.ToString().c_str(),
              f.framesInFile, f.dropped, f.cpuSeconds / seconds, f.rssAfterWarmUpKb / 1024, f.rssPeakKb / 1024,
              (f.rssPeakKb - f.rssAfterWarmUpKb) / 1024, f.psnr, static_cast<double>(f.fileBytes) / seconds / 1e6);
}

void PrintStart(FrameSize size, const Figures& f) {
  std::printf(
      "- %s: first frame %.0f ms after the start (warm-up %.0f ms); RSS %ld MB before, %ld MB after the capture\n",
      size.ToString().c_str(), f.startMs, f.warmUpMs, f.rssBeforeKb / 1024, f.rssAfterKb / 1024);
}

int Soak(int minutes, const std::filesystem::path& folder) {
  const FrameSize size{1920, 1080};
  std::printf("| minute | frames captured | dropped so far | CPU s per s | RSS (MB) |\n|---|---|---|---|---|\n");
  const Figures f = RecordWithDriver(size, minutes * 60, DeviceSettings{}.quality, folder, true);
  std::printf("\nframes in file %ld, dropped %ld, CPU s per recorded s %.3f, RSS at 5 s %ld MB, peak %ld MB\n",
              f.framesInFile, f.dropped, f.cpuSeconds / (minutes * 60), f.rssAfterWarmUpKb / 1024, f.rssPeakKb / 1024);
  PrintStart(size, f);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const bool soak = argc > 1 && std::strcmp(argv[1], "--soak") == 0;
  if (soak && (argc < 3 || std::atoi(argv[2]) < 1)) {
    std::fprintf(stderr, "usage: capture_bench --soak MINUTES\n");
    return 2;
  }
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
  const int quality = argc > 2 ? std::atoi(argv[2]) : DeviceSettings{}.quality;
  if (!soak && (seconds < 6 || quality < kMinQuality || quality > kMaxQuality)) {
    std::fprintf(stderr, "usage: capture_bench [SECONDS >= 6 [QUALITY 1-100]]\n");
    return 2;
  }
  tovalen::SetTraceSink({});
  char folderTemplate[] = "/tmp/tovalen-bench-XXXXXX";
  const std::filesystem::path folder = ::mkdtemp(folderTemplate);
  if (soak) {
    const int result = Soak(std::atoi(argv[2]), folder);
    std::filesystem::remove_all(folder);
    return result;
  }
  const std::string driverName = "tovalen driver, quality " + std::to_string(quality);
  const std::string commandLineName = "ffmpeg -q:v " + std::to_string(kCommandLineQuantiser);
  std::printf(
      "| recorder | size | frames in file | dropped | CPU s per recorded s | RSS at 5 s (MB) | peak RSS (MB) | "
      "growth (MB) | PSNR first %d frames (dB) | file MB/s |\n"
      "|---|---|---|---|---|---|---|---|---|---|\n",
      kPsnrFrames);
  std::vector<std::string> comparisons;
  std::vector<std::pair<FrameSize, Figures>> starts;
  for (const FrameSize size : {FrameSize{640, 480}, FrameSize{1280, 720}, FrameSize{1920, 1080}}) {
    const Figures driver = RecordWithDriver(size, seconds, quality, folder);
    PrintRow(driverName, size, seconds, driver);
    starts.emplace_back(size, driver);
    const Figures commandLine = RecordWithCommandLine(size, seconds, folder);
    PrintRow(commandLineName, size, seconds, commandLine);
    std::fflush(stdout);
    char line[200];
    std::snprintf(line, sizeof line, "%s: CPU %.2f x, peak RSS %.2f x, PSNR %+.2f dB, file size %.2f x",
                  size.ToString().c_str(), driver.cpuSeconds / commandLine.cpuSeconds,
                  static_cast<double>(driver.rssPeakKb) / commandLine.rssPeakKb, driver.psnr - commandLine.psnr,
                  static_cast<double>(driver.fileBytes) / commandLine.fileBytes);
    comparisons.push_back(line);
  }
  std::printf("\nThe driver against the command line:\n");
  for (const std::string& line : comparisons) std::printf("- %s\n", line.c_str());
  std::printf("\nThe driver's start and what it kept:\n");
  for (const auto& [size, figures] : starts) PrintStart(size, figures);
  std::filesystem::remove_all(folder);
  return 0;
}
