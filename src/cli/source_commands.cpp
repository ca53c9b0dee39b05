#include "cli/source_commands.h"

#include <iostream>

#include "capture/capture_driver.h"
#include "capture/stream_sources.h"
#include "capture/stream_url.h"
#include "cli/cli_capture.h"
#include "cli/cli_command.h"
#include "cli/command_line.h"
#include "platform/atomic_file.h"

namespace tovalen::cli {
namespace {

constexpr const char* kUsage = "expected add NAME URL, list or remove NAME";

// Refusals are bad input; a file that cannot be read or written is a failed operation.
template <typename Change>
auto Apply(Change change) {
  try {
    return change();
  } catch (const StreamRefused& refused) {
    throw UsageError(refused.what());
  } catch (const FileError& error) {
    throw OperationError(error.what());
  }
}

std::string IndexText(std::size_t index) {
  return index < static_cast<std::size_t>(CaptureDriver::kMaxDrivers) ? std::to_string(index) : "-";
}

// "-" reads the URL from standard input, so that its password is not in the process list.
std::string UrlArgument(const std::string& word) {
  if (word != "-") return word;
  std::string url;
  if (!std::getline(std::cin, url)) throw UsageError("expected the URL on standard input");
  return url;
}

int Add(const std::vector<std::string>& words, std::ostream& out) {
  const std::string url = UrlArgument(words[2]);
  const StreamSources streams;
  const std::size_t before = DevicesBeforeStreams();
  const std::size_t index = Apply([&] {
    const std::size_t listed = before + streams.Load().size();
    streams.Add({words[1], url}, listed);
    return listed;
  });
  const StreamSource added = Apply([&] { return streams.Load().at(index - before); });
  out << "added " << added.name << " as capture device " << index << " (" << MaskedUrl(added.url) << ")\n";
  return kExitSuccess;
}

int List(std::ostream& out) {
  const std::vector<StreamSource> streams = Apply([] { return StreamSources().Load(); });
  const std::size_t before = DevicesBeforeStreams();
  for (std::size_t i = 0; i < streams.size(); ++i) {
    out << IndexText(before + i) << ", " << streams[i].name << ", " << MaskedUrl(streams[i].url);
    if (before + i >= static_cast<std::size_t>(CaptureDriver::kMaxDrivers)) out << " (no device index left)";
    out << "\n";
  }
  return kExitSuccess;
}

// The streams after the removed one move down: a schedule that names one by index would record
// another device, so the output says which moved.
int Remove(const std::string& name, std::ostream& out) {
  const StreamSources streams;
  const std::size_t before = DevicesBeforeStreams();
  const std::size_t count = Apply([&] { return streams.Load().size(); });
  const std::size_t position = Apply([&] { return streams.Remove(name); });
  const std::size_t removed = before + position;
  out << "removed " << name << ", capture device " << IndexText(removed) << "\n";
  const std::size_t lastMoved = std::min(before + count, static_cast<std::size_t>(CaptureDriver::kMaxDrivers)) - 1;
  if (lastMoved == removed + 1) {
    out << "capture device " << lastMoved << " is now " << removed
        << ": schedules that record it need set --device again\n";
  } else if (lastMoved > removed + 1) {
    out << "capture devices " << removed + 1 << " to " << lastMoved << " are now " << removed << " to " << lastMoved - 1
        << ": schedules that record them need set --device again\n";
  }
  return kExitSuccess;
}

}  // namespace

int Source(const std::vector<std::string>& args, std::ostream& out) {
  const std::vector<std::string> words = CommandLine(args, {}).Positional(args.size(), kUsage);
  const std::string action = words.empty() ? "" : words[0];
  if (action == "add" && words.size() == 3) return Add(words, out);
  if (action == "list" && words.size() == 1) return List(out);
  if (action == "remove" && words.size() == 2) return Remove(words[1], out);
  throw UsageError(kUsage);
}

}  // namespace tovalen::cli
