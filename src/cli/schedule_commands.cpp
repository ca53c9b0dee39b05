#include "cli/schedule_commands.h"

#include <sys/stat.h>

#include <chrono>
#include <string_view>

#include "cli/cli_capture.h"
#include "cli/command_line.h"
#include "cli/value_parsers.h"
#include "platform/atomic_file.h"
#include "platform/file_lock.h"
#include "schedule/recording_target_rules.h"
#include "schedule/schedule_file.h"
#include "schedule/yoyaku_editor_rules.h"
#include "schedule/yoyaku_repeat.h"
#include "schedule/yoyaku_schedule.h"
#include "schedule/yoyaku_working_list.h"

namespace tovalen::cli {
namespace {

// A schedule file held in memory between loading and saving.
struct OpenSchedule {
  std::string path;
  SCaptureSettings settings;
  CYoyakuSchedule schedule;
};

OpenSchedule Load(const std::string& path) {
  try {
    ScheduleFileContents contents = LoadScheduleFile(path);
    OpenSchedule open{path, contents.settings, {}};
    open.schedule.ReplaceAll(std::move(contents.reservations));
    return open;
  } catch (const FileError& error) {
    throw UsageError(error.what());
  } catch (const ScheduleFileError& error) {
    throw UsageError(error.what());
  }
}

// Long enough for another command's whole load-change-save cycle on a busy machine.
constexpr std::chrono::seconds kLockWait{5};

// A schedule loaded to be changed and saved: the lock keeps other writers out until the save.
struct LockedSchedule {
  FileLock lock;
  OpenSchedule open;
};

LockedSchedule LoadForChange(const std::string& path) {
  try {
    FileLock lock(path, kLockWait);
    return {std::move(lock), Load(path)};
  } catch (const FileError& error) {
    throw OperationError(error.what());
  }
}

void Save(const OpenSchedule& open) {
  try {
    SaveScheduleFile(open.path, open.settings, open.schedule);
  } catch (const FileError& error) {
    throw OperationError(error.what());
  }
}

// Control characters (C0, DEL and C1) as \xHH or \u00HH, so that each reservation takes one line.
std::string EscapeControlCharacters(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const bool c1 = byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0 &&
                    static_cast<unsigned char>(text[i + 1]) >= 0x80;
    if (byte >= 0x20 && byte != 0x7F && !c1) {
      out += text[i];
      continue;
    }
    const auto code = c1 ? static_cast<unsigned char>(text[++i]) : byte;
    out += c1 ? "\\u00" : "\\x";
    out += kHex[code >> 4];
    out += kHex[code & 0xF];
  }
  return out;
}

std::size_t ParseIndex(const std::string& text, const CYoyakuSchedule& schedule) {
  const int count = schedule.GetYoyakuCount();
  if (count == 0) throw UsageError("the schedule has no reservations");
  return static_cast<std::size_t>(ParseIntOption("INDEX", text, 0, count - 1));
}

std::string OnlyFileArgument(const std::vector<std::string>& args) {
  return CommandLine(args, {}).Positional(1, "FILE")[0];
}

// Applies the editor's checks and returns the reservation with the new times.
SYoyaku CheckedTimes(SYoyaku yoyaku, std::int64_t start, std::int64_t end) {
  const YoyakuTimeProblem problem = CheckYoyakuTimes(start, end, Clock::Now());
  if (problem != YoyakuTimeProblem::kNone) throw UsageError(YoyakuTimeProblemMessage(problem));
  yoyaku.timeStart = static_cast<Time32>(start);
  yoyaku.spanDuration = static_cast<Span32>(end - start);
  return yoyaku;
}

// The end from --end or --length (which exclude each other), or nothing when neither is given.
std::optional<std::int64_t> EndFromOptions(const CommandLine& line, std::int64_t start) {
  if (line.Has("end") && line.Has("length")) throw UsageError("give either --end or --length, not both");
  if (const auto end = line.Option("end")) return ParseTimeOption("end", *end);
  if (const auto length = line.Option("length")) return start + ParseLengthOption("length", *length);
  return std::nullopt;
}

// --repeat daily|weekly|weekdays with --count 1-52, or the single reservation as entered.
std::vector<SYoyaku> OccurrencesFromOptions(const CommandLine& line, const SYoyaku& yoyaku) {
  const auto name = line.Option("repeat");
  if (!name) {
    if (line.Has("count")) throw UsageError("option --count needs --repeat");
    return {yoyaku};
  }
  const std::map<std::string, YoyakuRepeat> repeats{
      {"daily", YoyakuRepeat::kDaily}, {"weekly", YoyakuRepeat::kWeekly}, {"weekdays", YoyakuRepeat::kWeekdays}};
  const auto repeat = repeats.find(*name);
  if (repeat == repeats.end()) throw UsageError("--repeat must be daily, weekly or weekdays, not \"" + *name + "\"");
  const int count = ParseIntOption("--count", line.RequiredOption("count"), kMinRepeatCount, kMaxRepeatCount);
  auto occurrences = ExpandRepeat(yoyaku, repeat->second, count);
  if (!occurrences) throw UsageError(YoyakuTimeProblemMessage(YoyakuTimeProblem::kBeyondStorable));
  return *occurrences;
}

// A target the recording could not be saved to, or that would be saved over the schedule.
void RefuseBadTargets(const std::vector<SYoyaku>& reservations, const std::string& schedulePath) {
  if (const auto refusal = FindRefusedTarget(reservations, schedulePath)) {
    throw UsageError(DescribeRecordingTargetProblem(refusal->problem, refusal->target));
  }
}

// A copy into .ts, .mkv or .mp4 that the schedule's device cannot give is refused when it is
// entered, not when it starts. Checked before the lock is taken: a stream is looked at for a few
// seconds, longer than another writer waits for the lock.
void CheckTargetOnDevice(const std::string& schedulePath, const std::string& target) {
  const OpenSchedule open = Load(schedulePath);
  const TargetCheckAnswer answer = InstalledTargetCheck().Check(open.settings.iCapDriverId, target);
  if (!answer.Accepted()) throw UsageError(answer.refusal);
  if (!answer.warning.empty()) Warn(answer.warning);
}

int New(const std::vector<std::string>& args, std::ostream&) {
  const std::string path = OnlyFileArgument(args);
  struct stat existing {};
  if (::stat(path.c_str(), &existing) == 0) throw UsageError(path + " already exists; it was left as it is");
  Save(OpenSchedule{path, SCaptureSettings(), {}});
  return kExitSuccess;
}

int List(const std::vector<std::string>& args, std::ostream& out) {
  const OpenSchedule open = Load(OnlyFileArgument(args));
  for (const SYoyaku& yoyaku : open.schedule.Items()) out << EscapeControlCharacters(yoyaku.GetListText()) << '\n';
  return kExitSuccess;
}

int Settings(const std::vector<std::string>& args, std::ostream& out) {
  const OpenSchedule open = Load(OnlyFileArgument(args));
  out << open.settings.videoOption.ToString() << '\n'
      << open.settings.audioProperty.ToString() << '\n'
      << "CapDriverId = " << open.settings.iCapDriverId << '\n';
  return kExitSuccess;
}

int Add(const std::vector<std::string>& args, std::ostream&) {
  const CommandLine line(args, {"start", "end", "length", "file", "title", "repeat", "count"});
  const std::string path = line.Positional(1, "FILE")[0];
  const std::int64_t start = ParseTimeOption("start", line.RequiredOption("start"));
  const auto end = EndFromOptions(line, start);
  if (!end) throw UsageError("option --end or --length is required");
  SYoyaku yoyaku;
  yoyaku.strFileName = ParseTextOption("file", line.RequiredOption("file"));
  yoyaku.strTitle = ParseTextOption("title", line.Option("title").value_or(kDefaultYoyakuTitle));
  yoyaku = CheckedTimes(yoyaku, start, *end);

  const std::vector<SYoyaku> occurrences = OccurrencesFromOptions(line, yoyaku);
  RefuseBadTargets(occurrences, path);
  CheckTargetOnDevice(path, yoyaku.strFileName);  // a repeat's dated names keep the extension

  auto [lock, open] = LoadForChange(path);

  CYoyakuWorkingList list(open.schedule);
  if (line.Has("repeat")) {
    if (const auto clash = list.InsertAll(occurrences)) {
      throw UsageError(RepeatOverlapMessage(clash->added, clash->other));
    }
  } else if (!list.InsertYoyaku(yoyaku)) {
    throw UsageError(kOverlapMessage);
  }
  list.WriteBack(open.schedule);
  Save(open);
  return kExitSuccess;
}

int Edit(const std::vector<std::string>& args, std::ostream&) {
  const CommandLine line(args, {"start", "end", "length", "file", "title"});
  const auto& positional = line.Positional(2, "FILE INDEX");
  // Only a new target is checked: the reservation's own was when it was entered.
  if (const auto file = line.Option("file")) CheckTargetOnDevice(positional[0], ParseTextOption("file", *file));
  auto [lock, open] = LoadForChange(positional[0]);
  const std::size_t index = ParseIndex(positional[1], open.schedule);
  SYoyaku yoyaku = open.schedule.GetYoyaku(index);

  const std::int64_t start = line.Has("start") ? ParseTimeOption("start", *line.Option("start")) : yoyaku.timeStart;
  // Without a new end or length the reservation keeps its length.
  const std::int64_t end = EndFromOptions(line, start).value_or(start + yoyaku.spanDuration);
  if (const auto file = line.Option("file")) yoyaku.strFileName = ParseTextOption("file", *file);
  if (const auto title = line.Option("title")) yoyaku.strTitle = ParseTextOption("title", *title);
  yoyaku = CheckedTimes(yoyaku, start, end);
  RefuseBadTargets({yoyaku}, open.path);

  CYoyakuWorkingList list(open.schedule);
  if (!list.ReplaceYoyaku(yoyaku, index)) throw UsageError(kOverlapMessage);
  list.WriteBack(open.schedule);
  Save(open);
  return kExitSuccess;
}

int Remove(const std::vector<std::string>& args, std::ostream&) {
  const CommandLine line(args, {});
  const auto& positional = line.Positional(2, "FILE INDEX");
  auto [lock, open] = LoadForChange(positional[0]);
  CYoyakuWorkingList list(open.schedule);
  list.DeleteYoyaku(ParseIndex(positional[1], open.schedule));
  list.WriteBack(open.schedule);
  Save(open);
  return kExitSuccess;
}

int Purge(const std::vector<std::string>& args, std::ostream& out) {
  auto [lock, open] = LoadForChange(OnlyFileArgument(args));
  const int before = open.schedule.GetYoyakuCount();
  open.schedule.DeletePastYoyaku();
  const int removed = before - open.schedule.GetYoyakuCount();
  if (removed > 0) Save(open);
  out << "removed " << removed << " past reservation" << (removed == 1 ? "" : "s") << '\n';
  return kExitSuccess;
}

int Set(const std::vector<std::string>& args, std::ostream&) {
  const CommandLine line(args, {"fps", "persistent", "rate", "bits", "channels", "device"});
  auto [lock, open] = LoadForChange(line.Positional(1, "FILE")[0]);
  if (line.Empty()) throw UsageError("nothing to set: give at least one option");
  SCaptureSettings& s = open.settings;
  if (const auto v = line.Option("fps")) s.videoOption.FPS = ParseIntOption("--fps", *v, 0, 3);
  if (const auto v = line.Option("persistent")) s.videoOption.PersistentConnect = ParseOnOffOption("persistent", *v);
  if (const auto v = line.Option("rate")) s.audioProperty.nSamplesPerSec = ParseIntOption("--rate", *v, 0, 3);
  if (const auto v = line.Option("bits")) s.audioProperty.nPrecision = ParseIntOption("--bits", *v, 0, 1);
  if (const auto v = line.Option("channels")) s.audioProperty.nChannels = ParseIntOption("--channels", *v, 0, 1);
  if (const auto v = line.Option("device")) s.iCapDriverId = ParseIntOption("--device", *v, -1, 9);
  Save(open);
  return kExitSuccess;
}

}  // namespace

std::vector<CliCommand> ScheduleCommands() {
  return {
      {"new", "new FILE", New},
      {"list", "list FILE", List},
      {"settings", "settings FILE", Settings},
      {"add",
       "add FILE --start T (--end T | --length L) --file PATH [--title TEXT] "
       "[--repeat daily|weekly|weekdays --count 1-52]",
       Add},
      {"edit", "edit FILE INDEX [--start T] [--end T | --length L] [--file PATH] [--title TEXT]", Edit},
      {"remove", "remove FILE INDEX", Remove},
      {"purge", "purge FILE", Purge},
      {"set", "set FILE [--fps 0-3] [--persistent on|off] [--rate 0-3] [--bits 0-1] [--channels 0-1] [--device N]",
       Set},
  };
}

}  // namespace tovalen::cli
