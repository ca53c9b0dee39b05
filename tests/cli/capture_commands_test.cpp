#include <fcntl.h>
#include <gmock/gmock.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "avi_probe.h"
#include "capture/ffmpeg/ffmpeg_handles.h"
#include "cli_test_support.h"
#include "support/spawn.h"
#include "support/temp_dir.h"
#include "support/wait_until.h"

namespace tovalen {
namespace {

using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using testing::ReadFileBytes;
using testing::RunCli;
using testing::TempDir;
using testing::TestPatternIndex;
using testing::WriteFileBytes;

// Video frames and audio samples of a file, read with libavformat; -1 when it cannot be read.
struct FileCounts {
  int frames = -1;
  int samples = 0;
};

FileCounts CountFrames(const std::string& path) {
  AVFormatContext* raw = nullptr;
  if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) return {};
  ffmpeg::InputContextPtr input(raw);
  ffmpeg::PacketPtr packet = ffmpeg::MakePacket();
  FileCounts counts{0, 0};
  while (av_read_frame(input.get(), packet.get()) >= 0) {
    const AVCodecParameters& stream = *input->streams[packet->stream_index]->codecpar;
    if (stream.codec_type == AVMEDIA_TYPE_VIDEO) ++counts.frames;
    if (stream.codec_type == AVMEDIA_TYPE_AUDIO && stream.block_align > 0)
      counts.samples += packet->size / stream.block_align;
    av_packet_unref(packet.get());
  }
  return counts;
}

struct ChildResult {
  int status = -1;  // the exit status, or 128 + the signal that ended it
  std::string err;
};

// Starts tovalen-rec as its own process behind a launcher (setpriv, prlimit; none: nothing),
// its standard output discarded and its standard error kept in errFile.
pid_t SpawnRec(const std::vector<std::string>& launcher, const std::vector<std::string>& args,
               const std::string& errFile) {
  std::vector<std::string> words = launcher;
  words.push_back(TOVALEN_REC_PATH);
  words.insert(words.end(), args.begin(), args.end());
  return testing::Spawn(words, "/dev/null", errFile);
}

ChildResult WaitFor(pid_t child, const std::string& errFile) {
  ChildResult result;
  int status = 0;
  if (child <= 0 || ::waitpid(child, &status, 0) != child) return result;
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.err = ReadFileBytes(errFile);
  return result;
}

// The commands with their settings file in a temporary folder.
class CaptureCommands : public ::testing::Test {
 protected:
  CaptureCommands() : config(dir.File("config")) {
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) previousConfig = old;
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  }
  ~CaptureCommands() override {
    previousConfig ? ::setenv("XDG_CONFIG_HOME", previousConfig->c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME");
  }

  std::string SettingsFile() const { return config + "/tovalen/capture-devices.conf"; }

  TempDir dir;
  std::string config;
  std::optional<std::string> previousConfig;
};

TEST_F(CaptureCommands, DevicesListsEachDeviceWithItsSettings) {
  const auto result = RunCli({"devices"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_THAT(result.out, MatchesRegex("(.*\n)?[0-9], テストパターン, libavfilter [0-9.]+\n"
                                       "    size 640x480, pixel format auto, input 0 \\(Test picture\\), codec mjpeg, "
                                       "quality 85\n"));
  EXPECT_EQ(RunCli({"devices", "extra"}).status, 2);
}

TEST_F(CaptureCommands, DeviceShowsWhatTheDeviceOffers) {
  const auto result = RunCli({"device", TestPatternIndex()});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_THAT(result.out, HasSubstr("    sizes: 160x120 320x240"));
  EXPECT_THAT(result.out, HasSubstr("    inputs: 0 Test picture, 1 Colour bars, 2 Noisy test picture\n"));
  EXPECT_THAT(result.out, HasSubstr("    codecs: mjpeg rawvideo"));
}

TEST_F(CaptureCommands, DeviceChangesAreKeptForTheDevice) {
  const std::string index = TestPatternIndex();
  const auto result =
      RunCli({"device", index, "--size", "320x240", "--input", "1", "--codec", "ffv1", "--quality", "40"});
  EXPECT_EQ(result.status, 0) << result.err;
  const std::string line = "size 320x240, pixel format auto, input 1 (Colour bars), codec ffv1, quality 40";
  EXPECT_THAT(result.out, HasSubstr(line));
  EXPECT_THAT(RunCli({"devices"}).out, HasSubstr(line));
  EXPECT_THAT(ReadFileBytes(SettingsFile()), HasSubstr("[test-pattern]\nsize=320x240\n"));
}

TEST_F(CaptureCommands, DeviceRefusesWhatTheDeviceDoesNotOfferAndChangesNothing) {
  const std::string index = TestPatternIndex();
  ASSERT_EQ(RunCli({"device", index, "--quality", "60"}).status, 0);
  const std::string before = ReadFileBytes(SettingsFile());
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"device", index, "--size", "321x240", "--quality", "10"},
        {"device", index, "--input", "5"},
        {"device", index, "--codec", "vp9"},
        {"device", index, "--size", "big"},
        {"device", index, "--quality", "0"},
        {"device", "9"},
        {"device", "10"},
        {"device"}}) {
    const auto result = RunCli(args);
    EXPECT_EQ(result.status, 2) << args.back();
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
  }
  EXPECT_THAT(RunCli({"device", index, "--size", "321x240"}).err, HasSubstr("does not offer the frame size 321x240"));
  EXPECT_EQ(ReadFileBytes(SettingsFile()), before);
}

TEST_F(CaptureCommands, RecordRecordsForTheLengthThroughTheController) {
  const std::string index = TestPatternIndex();
  ASSERT_EQ(RunCli({"device", index, "--size", "320x240"}).status, 0);
  const std::string file = dir.File("news.avi");
  const auto result = RunCli({"record", "--file", file, "--length", "1", "--device", index});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_THAT(result.out, HasSubstr("recorded " + file + ": "));
  // Stopped at the first frame two seconds after the first, 30 frames a second.
  const FileCounts counts = CountFrames(file);
  EXPECT_GE(counts.frames, 60);
  EXPECT_LE(counts.frames, 91);  // and those that came in while the stop was on its way
  EXPECT_NEAR(counts.samples, counts.frames / 30.0 * 44100, 44100 * 0.07);
}

TEST_F(CaptureCommands, RecordRefusesBadUsageAndReportsFailures) {
  const std::string index = TestPatternIndex();
  for (const std::vector<std::string>& args : {std::vector<std::string>{"record", "--length", "5"},
                                               {"record", "--file", "x.avi"},
                                               {"record", "--file", "x.avi", "--length", "0"},
                                               {"record", "--file", "x.avi", "--length", "5", "--device", "10"},
                                               {"record", "--file", "x.avi", "--length", "5", "extra"}}) {
    EXPECT_EQ(RunCli(args).status, 2) << args.back();
  }
  const auto missingFolder =
      RunCli({"record", "--file", dir.File("missing/x.avi"), "--length", "1", "--device", index});
  EXPECT_EQ(missingFolder.status, 1);
  EXPECT_THAT(missingFolder.err, HasSubstr("cannot record into"));
  EXPECT_EQ(std::count(missingFolder.err.begin(), missingFolder.err.end(), '\n'), 1) << missingFolder.err;
  const auto noDevice = RunCli({"record", "--file", dir.File("x.avi"), "--length", "1", "--device", "9"});
  EXPECT_EQ(noDevice.status, 1);
  EXPECT_THAT(noDevice.err, HasSubstr("capture device 9 cannot be used"));
  EXPECT_FALSE(std::filesystem::exists(dir.File("x.avi")));
}

TEST_F(CaptureCommands, ATerminationSignalEndsARecordingSavedAndPlayable) {
  const std::string index = TestPatternIndex();
  ASSERT_EQ(RunCli({"device", index, "--size", "320x240"}).status, 0);
  const std::string file = dir.File("interrupted.avi");
  const std::string errFile = dir.File("err.txt");
  const pid_t child = SpawnRec({}, {"record", "--file", file, "--length", "60", "--device", index}, errFile);
  ASSERT_GT(child, 0);
  // Interrupted once it records, however slowly the machine starts it.
  EXPECT_TRUE(testing::WaitUntil(
      [&] {
        const auto left = testing::FilesContaining(dir.Path().string(), "interrupted.recording-");
        return left.size() == 1 && std::filesystem::file_size(left[0]) > 400'000;
      },
      std::chrono::seconds(60), std::chrono::milliseconds(100)));
  ::kill(child, SIGINT);
  EXPECT_EQ(WaitFor(child, errFile).status, 0);
  const FileCounts counts = CountFrames(file);
  EXPECT_GE(counts.frames, 15);
  EXPECT_LE(counts.frames, 60);
  EXPECT_GT(counts.samples, 0);
}

// The duration ffprobe reads from the file's header and index; negative when it reads none.
double DurationByFfprobe(const std::string& path) {
  const std::string command = "ffprobe -v error -show_entries format=duration -of csv=p=0 '" + path + "'";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
  char line[64] = {};
  if (!pipe || !std::fgets(line, sizeof line, pipe.get())) return -1;
  char* end = nullptr;
  const double seconds = std::strtod(line, &end);
  return end == line ? -1 : seconds;
}

// Where each video chunk of a recording starts, walked from its data list.
std::vector<std::size_t> VideoChunkOffsets(const std::string& bytes) {
  std::vector<std::size_t> offsets;
  for (std::size_t at = bytes.find("movi") + 4; at + 8 <= bytes.size();) {
    std::uint32_t size = 0;
    std::memcpy(&size, bytes.data() + at + 4, 4);
    if (bytes.compare(at, 4, "00dc") == 0) offsets.push_back(at);
    at += 8 + size + (size & 1u);
  }
  return offsets;
}

// The bytes with `with` written over them at `at`.
std::string Overwritten(std::string bytes, std::size_t at, const std::string& with) {
  return bytes.replace(at, with.size(), with);
}

// A recording as killed captures leave it, at least 200 kB long.
std::string KillRecording(const std::string& index, const std::string& target, const std::string& folder) {
  const pid_t child = SpawnRec({}, {"record", "--file", target, "--length", "60", "--device", index}, "/dev/null");
  if (child <= 0) return "";
  // Killed once frames have reached the disk, however slowly the machine records.
  std::vector<std::string> left;
  for (int wait = 0; wait < 600; ++wait) {
    left = testing::FilesContaining(folder, std::filesystem::path(target).stem().string() + ".recording-");
    if (left.size() == 1 && std::filesystem::file_size(left[0]) > 200'000) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  return left.size() == 1 ? left[0] : "";
}

TEST_F(CaptureCommands, RecoverRebuildsWhatAKilledRecordingLeftAndNeverReplacesAFile) {
  const std::string index = TestPatternIndex();
  ASSERT_EQ(RunCli({"device", index, "--size", "160x120"}).status, 0);
  const std::string target = dir.File("killed.avi");
  const std::string leftover = KillRecording(index, target, dir.Path().string());
  ASSERT_FALSE(leftover.empty());
  const testing::ProbedFile killed = testing::ProbeFile(leftover);
  ASSERT_TRUE(killed.video && killed.audio) << killed.error;
  ASSERT_GT(killed.video->chunks, 10);
  EXPECT_LT(DurationByFfprobe(leftover), 0);  // no index: players see no duration

  // Beside it: a copy cut off inside a chunk whose names are taken (and a scratch file of a
  // killed recovery of it), one cut before the first chunk, and one a capture still records into
  // (holds the lock).
  const std::string bytes = ReadFileBytes(leftover);
  WriteFileBytes(dir.File("cut.recording-abc123.avi"), bytes.substr(0, bytes.size() * 2 / 3 + 7));
  WriteFileBytes(dir.File("cut.avi"), "older");
  WriteFileBytes(dir.File("cut (recovered).avi"), "old");
  const std::string empty = bytes.substr(0, bytes.find("movi") + 4);
  WriteFileBytes(dir.File("empty.recording-zzzzzz.avi"), empty);
  WriteFileBytes(dir.File("busy.recording-qqqqqq.avi"), bytes);
  WriteFileBytes(dir.File("cut.recovering-Zz9Zz9.avi"), "of a recovery that was killed");
  ASSERT_EQ(::setxattr(dir.File("cut.recovering-Zz9Zz9.avi").c_str(), "user.tovalen.recovery-scratch", "1", 1, 0), 0);
  WriteFileBytes(dir.File("cut.recovering-myedit.avi"), "the user's own");
  // Damaged copies: one chunk's size, one grown over the next chunk, the picture's codec, the
  // sound's format; and a playlist named like a leftover that points at another file.
  const std::vector<std::size_t> chunks = VideoChunkOffsets(bytes);
  ASSERT_EQ(static_cast<std::int64_t>(chunks.size()), killed.video->chunks);
  const std::string size = dir.File("size.recording-aaaaaa.avi");
  const std::string grown = dir.File("grown.recording-eeeeee.avi");
  const std::string tag = dir.File("tag.recording-bbbbbb.avi");
  const std::string sound = dir.File("sound.recording-cccccc.avi");
  const std::string list = dir.File("list.recording-dddddd.avi");
  WriteFileBytes(size, Overwritten(bytes, chunks[chunks.size() / 2] + 4, std::string("\x00\x00\xff\x7f", 4)));
  const std::size_t middle = chunks[chunks.size() / 2];
  const auto toNextButOne = static_cast<std::uint32_t>(chunks[chunks.size() / 2 + 2] - middle - 8);
  WriteFileBytes(grown, Overwritten(bytes, middle + 4, std::string(reinterpret_cast<const char*>(&toNextButOne), 4)));
  WriteFileBytes(tag, Overwritten(bytes, bytes.find("strf") + 24, "XVID"));
  WriteFileBytes(sound, Overwritten(bytes, bytes.find("strf", bytes.find("strf") + 4) + 8, "\x07"));
  WriteFileBytes(list, "#EXTM3U\n#EXT-X-TARGETDURATION:10\n#EXTINF:10,\n" + leftover + "\n#EXT-X-ENDLIST\n");
  const int busy = ::open(dir.File("busy.recording-qqqqqq.avi").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(::flock(busy, LOCK_EX), 0);

  const auto result = RunCli({"recover", dir.Path().string()});
  ::close(busy);
  EXPECT_EQ(result.status, 1) << result.err;
  EXPECT_THAT(result.out, HasSubstr("not recovered " + dir.File("busy.recording-qqqqqq.avi") +
                                    ": a capture is recording into it\n"));
  EXPECT_THAT(result.out, HasSubstr("recovered " + dir.File("cut.recording-abc123.avi") + " as " +
                                    dir.File("cut (recovered 2).avi") + ": "));
  EXPECT_THAT(result.out, HasSubstr("not recovered " + dir.File("empty.recording-zzzzzz.avi") +
                                    ": no readable frame; left as it is\n"));
  EXPECT_THAT(result.out, HasSubstr("recovered " + leftover + " as " + target + ": " +
                                    std::to_string(killed.video->chunks) + " frames, "));
  EXPECT_THAT(result.out, HasSubstr("recovered " + size + " as " + dir.File("size.avi") + ": " +
                                    std::to_string(killed.video->chunks) + " frames, "));
  EXPECT_THAT(result.out, HasSubstr("recovered " + grown + " as " + dir.File("grown.avi") + ": " +
                                    std::to_string(killed.video->chunks) + " frames, "));
  EXPECT_THAT(result.out, HasSubstr("partly recovered " + tag + " as " + dir.File("tag.avi") + ": " +
                                    std::to_string(killed.video->chunks) + " frames, "));
  EXPECT_THAT(result.out, HasSubstr(" s; left as it is, as the picture's format was damaged and was read from its "
                                    "frames\n"));
  EXPECT_THAT(result.out, HasSubstr("partly recovered " + sound + " as " + dir.File("sound.avi") + ": " +
                                    std::to_string(killed.video->chunks) + " frames, "));
  EXPECT_THAT(result.out, HasSubstr(" s; left as it is, as the sound's format is damaged, "));
  EXPECT_THAT(result.out, HasSubstr("not recovered " + list + ": not an AVI file; left as it is\n"));
  EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 9) << result.out;

  // Every frame and sample read from the leftover, now indexed; the leftover is gone.
  const testing::ProbedFile recovered = testing::ProbeFile(target);
  ASSERT_TRUE(recovered.video && recovered.audio) << recovered.error;
  EXPECT_EQ(recovered.video->chunks, killed.video->chunks);
  EXPECT_EQ(recovered.video->frameSlots, killed.video->frameSlots);
  EXPECT_EQ(recovered.video->decodeErrors, 0);
  EXPECT_EQ(recovered.audio->samples, killed.audio->samples);
  EXPECT_NEAR(DurationByFfprobe(target), killed.video->frameSlots / killed.video->frameRate, 0.1);
  EXPECT_FALSE(std::filesystem::exists(leftover));

  // The cut copy keeps the whole chunks before the cut, and takes the first free name.
  const testing::ProbedFile cut = testing::ProbeFile(dir.File("cut (recovered 2).avi"));
  ASSERT_TRUE(cut.video) << cut.error;
  EXPECT_GT(cut.video->chunks, 0);
  EXPECT_LT(cut.video->chunks, killed.video->chunks);
  EXPECT_EQ(cut.video->decodeErrors, 0);
  EXPECT_GT(DurationByFfprobe(dir.File("cut (recovered 2).avi")), 0);
  EXPECT_EQ(ReadFileBytes(dir.File("cut.avi")), "older");
  EXPECT_EQ(ReadFileBytes(dir.File("cut (recovered).avi")), "old");
  EXPECT_FALSE(std::filesystem::exists(dir.File("cut.recording-abc123.avi")));

  // Past the damaged size, every frame; with a damaged header, every frame of the stream that is
  // intact, all of them decoding, and the leftover kept beside.
  for (const char* name : {"size.avi", "grown.avi", "tag.avi", "sound.avi"}) {
    const testing::ProbedFile rebuilt = testing::ProbeFile(dir.File(name));
    ASSERT_TRUE(rebuilt.video) << name << rebuilt.error;
    EXPECT_EQ(rebuilt.video->codec, "mjpeg") << name;
    EXPECT_EQ(rebuilt.video->chunks, killed.video->chunks) << name;
    EXPECT_EQ(rebuilt.video->decodeErrors, 0) << name;
    EXPECT_EQ(rebuilt.audio.has_value(), std::string(name) != "sound.avi") << name;
  }
  EXPECT_FALSE(std::filesystem::exists(size) || std::filesystem::exists(grown));
  EXPECT_TRUE(std::filesystem::exists(tag) && std::filesystem::exists(sound));
  EXPECT_THAT(ReadFileBytes(list), HasSubstr("#EXTM3U"));
  EXPECT_FALSE(std::filesystem::exists(dir.File("list.avi")));

  // What could not be recovered stays as it was; only the scratch file of a killed recovery goes.
  EXPECT_EQ(ReadFileBytes(dir.File("empty.recording-zzzzzz.avi")), empty);
  EXPECT_EQ(ReadFileBytes(dir.File("busy.recording-qqqqqq.avi")), bytes);
  EXPECT_THAT(testing::FilesContaining(dir.Path().string(), ".recovering-"),
              ::testing::ElementsAre(dir.File("cut.recovering-myedit.avi")));

  // A leftover kept beside its partial rebuild is not copied again.
  const auto again = RunCli({"recover", tag});
  EXPECT_EQ(again.status, 1);
  EXPECT_THAT(again.out, HasSubstr("partly recovered " + tag + " as " + dir.File("tag.avi") + ": " +
                                   std::to_string(killed.video->chunks) + " frames, "));
  EXPECT_FALSE(std::filesystem::exists(dir.File("tag (recovered).avi")));

  // A file is recovered on its own; what is not a leftover is refused.
  const auto alone = RunCli({"recover", dir.File("busy.recording-qqqqqq.avi")});
  EXPECT_EQ(alone.status, 0) << alone.out;
  EXPECT_TRUE(std::filesystem::exists(dir.File("busy.avi")));
  EXPECT_EQ(RunCli({"recover", target}).status, 2);
  EXPECT_EQ(RunCli({"recover", dir.File("missing")}).status, 2);
}

TEST_F(CaptureCommands, ATargetTheUserMayNotReplaceIsRefusedBeforeRecording) {
  const std::string index = TestPatternIndex();
  const std::string folder = dir.File("shared");
  std::filesystem::create_directory(folder);
  std::filesystem::permissions(dir.Path(), std::filesystem::perms::all);
  std::filesystem::permissions(folder, std::filesystem::perms::all);
  std::filesystem::create_directories(config);
  std::filesystem::permissions(config, std::filesystem::perms::all);
  const std::string readOnly = folder + "/read-only.avi";
  const std::string others = folder + "/others.avi";
  WriteFileBytes(readOnly, "kept");
  WriteFileBytes(others, "kept");
  ASSERT_EQ(::chown(readOnly.c_str(), 65534, 65534), 0);
  ::chmod(readOnly.c_str(), 0444);
  ::chmod(others.c_str(), 0666);  // writable, but someone else's
  std::filesystem::create_directory(folder + "/sub");
  const std::vector<std::string> nobody{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
  for (const std::string& target : {readOnly, others, folder + "/sub"}) {
    const std::string errFile = dir.File("err.txt");
    const ChildResult result =
        WaitFor(SpawnRec(nobody, {"record", "--file", target, "--length", "1", "--device", index}, errFile), errFile);
    EXPECT_EQ(result.status, 1) << target;
    EXPECT_THAT(result.err, HasSubstr("cannot record into " + target)) << target;
  }
  EXPECT_TRUE(ReadFileBytes(readOnly) == "kept");  // not replaced by a recording
  EXPECT_TRUE(ReadFileBytes(others) == "kept");
  EXPECT_TRUE(std::filesystem::is_empty(folder + "/sub"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 3);  // nothing recorded
}

TEST_F(CaptureCommands, AFileSizeLimitEndsTheRecordingAsAFailureKeepingWhatWasRecorded) {
  const std::string index = TestPatternIndex();
  // Uncompressed, the file reaches the limit within two seconds, in frames small enough for the
  // capture to stop while the index still fits, as on a disk that fills.
  ASSERT_EQ(RunCli({"device", index, "--size", "160x120", "--codec", "rawvideo"}).status, 0);
  const std::string file = dir.File("limited.avi");
  const std::string errFile = dir.File("err.txt");
  const ChildResult result = WaitFor(
      SpawnRec({"prlimit", "--fsize=3000000"}, {"record", "--file", file, "--length", "5", "--device", index}, errFile),
      errFile);
  EXPECT_EQ(result.status, 1);
  EXPECT_THAT(result.err, HasSubstr("録画に失敗しました: ファイルの大きさの上限に達しました"));
  const std::string keptIn = "録画できた分は次のファイルに残してあります: ";
  const auto kept = result.err.find(keptIn);
  ASSERT_NE(kept, std::string::npos) << result.err;
  const auto from = kept + keptIn.size();
  const std::string recording = result.err.substr(from, result.err.find('\n', from) - from);
  const FileCounts recorded = CountFrames(recording);
  EXPECT_GT(recorded.frames, 0) << recording;
  EXPECT_FALSE(std::filesystem::exists(file));

  // The recording was finished and indexed: recovery moves it into place without a copy, which
  // would not fit under a limit of half its size. A leftover that must be copied and does not
  // fit is kept, saying why, and leaves nothing behind.
  const std::string bytes = ReadFileBytes(recording);
  const std::string cut = dir.File("cut.recording-Cut123.avi");
  WriteFileBytes(cut, bytes.substr(0, bytes.size() * 3 / 4));
  const std::string halfSize = "--fsize=" + std::to_string(bytes.size() / 2);
  const ChildResult recovered = WaitFor(SpawnRec({"prlimit", halfSize}, {"recover", recording}, errFile), errFile);
  EXPECT_EQ(recovered.status, 0) << recovered.err;
  EXPECT_EQ(CountFrames(file).frames, recorded.frames);
  EXPECT_FALSE(std::filesystem::exists(recording));
  const std::string outFile = dir.File("out.txt");
  const pid_t copy = testing::Spawn({"prlimit", halfSize, TOVALEN_REC_PATH, "recover", cut}, outFile, errFile);
  EXPECT_EQ(WaitFor(copy, errFile).status, 1);
  EXPECT_THAT(ReadFileBytes(outFile), HasSubstr("not recovered " + cut + ": cannot write the rebuilt file: "));
  EXPECT_THAT(ReadFileBytes(outFile), HasSubstr("File too large"));
  EXPECT_TRUE(ReadFileBytes(cut) == bytes.substr(0, bytes.size() * 3 / 4));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 5) << "config, err, out, cut, file";
}

TEST_F(CaptureCommands, ASaveThatFailsIsReportedAsSuchWithItsReason) {
  const std::string index = TestPatternIndex();
  ASSERT_EQ(RunCli({"device", index, "--size", "320x240"}).status, 0);
  const std::string file = dir.File("taken.avi");
  const std::string errFile = dir.File("err.txt");
  const pid_t child = SpawnRec({}, {"record", "--file", file, "--length", "1", "--device", index}, errFile);
  ASSERT_GT(child, 0);
  // Once the recording runs, a folder takes the target's name.
  for (int i = 0; i < 1000 && !std::filesystem::exists(file); ++i) {
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
      if (entry.path().string().find(".recording-") != std::string::npos) std::filesystem::create_directory(file);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const ChildResult result = WaitFor(child, errFile);
  EXPECT_EQ(result.status, 1);
  EXPECT_THAT(result.err, HasSubstr("録画を保存できませんでした: cannot save as " + file + ": Is a directory"));
  EXPECT_THAT(result.err, HasSubstr("。録画できた分は次のファイルに残してあります: " + dir.File("taken.recording-")));
}

}  // namespace
}  // namespace tovalen
