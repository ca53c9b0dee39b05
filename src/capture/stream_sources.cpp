#include "capture/stream_sources.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <sstream>

#include "capture/capture_driver.h"
#include "capture/stream_url.h"
#include "platform/atomic_file.h"
#include "platform/config_folder.h"
#include "platform/cp932.h"
#include "platform/posix_file.h"

namespace tovalen {
namespace {

constexpr std::size_t kMaxFileBytes = 1 << 20;
constexpr const char* kHeader = "# Tovalen network streams, one a line: the name, a tab, the URL\n";

std::string Trimmed(const std::string& text) {
  constexpr const char* kSpace = " \t\r\n";
  const std::size_t first = text.find_first_not_of(kSpace);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(kSpace) - first + 1);
}

bool HasControlCharacter(const std::string& text) {
  return std::any_of(text.begin(), text.end(), [](unsigned char c) { return c < 0x20 || c == 0x7F; });
}

bool IsLocalFileUrl(const std::string& url) {
  std::string scheme = url.substr(0, std::min(url.find(':'), url.size()));
  std::transform(scheme.begin(), scheme.end(), scheme.begin(), [](unsigned char c) { return std::tolower(c); });
  return url.find(':') != std::string::npos && scheme == "file";
}

void CheckName(const std::string& name) {
  if (name.empty()) throw StreamRefused(StreamRefusal::kEmptyName, "a stream needs a name");
  if (HasControlCharacter(name) || !IsValidUtf8(name))
    throw StreamRefused(StreamRefusal::kNameNotText, "a stream's name cannot hold control characters");
  if (TruncateUtf8AsCp932(name, CaptureDriver::kMaxDescriptionBytes) != name)
    throw StreamRefused(StreamRefusal::kNameTooLong, "a stream's name is too long to be listed as a device (at most " +
                                                         std::to_string(CaptureDriver::kMaxDescriptionBytes) +
                                                         " bytes)");
}

void CheckUrl(const std::string& url) {
  if (IsLocalFileUrl(url))
    throw StreamRefused(StreamRefusal::kNotAStreamUrl,
                        "a file: URL names a local file, not a network stream; give an http, https, rtsp, rtsps, rtp, "
                        "udp or srt URL");
  if (!IsStreamScheme(url))
    throw StreamRefused(StreamRefusal::kNotAStreamUrl,
                        "a stream's URL starts with http://, https://, rtsp://, rtsps://, rtp://, udp:// or srt://");
  if (std::any_of(url.begin(), url.end(), [](unsigned char c) { return c <= 0x20 || c == 0x7F; }))
    throw StreamRefused(StreamRefusal::kUrlNotText,
                        "a stream's URL cannot hold spaces or control characters (write a space as %20)");
}

std::vector<StreamSource>::const_iterator Find(const std::vector<StreamSource>& streams, const std::string& name) {
  return std::find_if(streams.begin(), streams.end(), [&name](const StreamSource& s) { return s.name == name; });
}

void CheckNameIsFree(const std::vector<StreamSource>& streams, const std::string& name) {
  if (Find(streams, name) != streams.end())
    throw StreamRefused(StreamRefusal::kNameTaken, "there is a stream named " + name + " already");
}

std::size_t PositionOf(const std::vector<StreamSource>& streams, const std::string& name) {
  const auto found = Find(streams, name);
  if (found == streams.end()) throw StreamRefused(StreamRefusal::kUnknownName, "there is no stream named " + name);
  return static_cast<std::size_t>(found - streams.begin());
}

StreamSource Normalized(StreamSource source) { return {Trimmed(source.name), Trimmed(source.url)}; }

// A line that is not a stream makes the whole file unreadable: the next save would drop it.
StreamSource ParseLine(const std::string& line, const std::filesystem::path& file, int lineNumber) {
  const auto fail = [&](const std::string& why) {
    throw FileError("cannot read the streams in " + file.string() + ": line " + std::to_string(lineNumber) + " " + why);
  };
  const std::size_t tab = line.find('\t');
  if (tab == std::string::npos) fail("is not a name, a tab and a URL");
  StreamSource source{line.substr(0, tab), line.substr(tab + 1)};
  try {
    CheckStreamSource(source);
  } catch (const StreamRefused& refused) {
    fail("is refused: " + std::string(refused.what()));
  }
  return source;
}

std::vector<StreamSource> ParseStreams(const std::string& text, const std::filesystem::path& file) {
  std::vector<StreamSource> streams;
  std::istringstream in(text);
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find('\t') == std::string::npos && (line.empty() || line.front() == '#')) continue;
    StreamSource source = ParseLine(line, file, number);
    if (Find(streams, source.name) != streams.end())
      throw FileError("cannot read the streams in " + file.string() + ": line " + std::to_string(number) +
                      " names a stream again");
    streams.push_back(std::move(source));
  }
  return streams;
}

// The file holds passwords: readable by its owner only, also when it was made by hand. The
// atomic save then writes with the mode the target has.
void RestrictToOwner(const std::string& path) {
  const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0600));
  if (fd.get() < 0 || ::fchmod(fd.get(), 0600) != 0) throw FileError(DescribeFileFailure("cannot write", path, errno));
}

}  // namespace

void CheckStreamSource(const StreamSource& source) {
  CheckName(source.name);
  CheckUrl(source.url);
}

std::filesystem::path StreamSources::DefaultFile() {
  const std::filesystem::path folder = ConfigFolder();
  return folder.empty() ? folder : folder / "streams.conf";
}

std::vector<StreamSource> StreamSources::Load() const {
  const std::filesystem::path file = File();
  if (file.empty()) return {};
  std::error_code error;
  if (!std::filesystem::exists(file, error) && !error) return {};
  return ParseStreams(ReadWholeFile(file.string(), kMaxFileBytes), file);
}

void StreamSources::Add(StreamSource source, std::size_t devicesListed) const {
  source = Normalized(std::move(source));
  CheckStreamSource(source);
  std::vector<StreamSource> streams = Load();
  CheckNameIsFree(streams, source.name);
  if (devicesListed >= static_cast<std::size_t>(CaptureDriver::kMaxDrivers))
    throw StreamRefused(StreamRefusal::kNoRoom, "there are " + std::to_string(CaptureDriver::kMaxDrivers) +
                                                    " capture devices already (indices 0 to " +
                                                    std::to_string(CaptureDriver::kMaxDrivers - 1) +
                                                    "), the most there can be");
  streams.push_back(std::move(source));
  Save(streams);
}

void StreamSources::Change(const std::string& name, StreamSource changed) const {
  changed = Normalized(std::move(changed));
  CheckStreamSource(changed);
  std::vector<StreamSource> streams = Load();
  const std::size_t position = PositionOf(streams, Trimmed(name));
  if (changed.name != streams[position].name) CheckNameIsFree(streams, changed.name);
  streams[position] = std::move(changed);
  Save(streams);
}

std::size_t StreamSources::Remove(const std::string& name) const {
  std::vector<StreamSource> streams = Load();
  const std::size_t position = PositionOf(streams, Trimmed(name));
  streams.erase(streams.begin() + static_cast<std::ptrdiff_t>(position));
  Save(streams);
  return position;
}

void StreamSources::Save(const std::vector<StreamSource>& streams) const {
  const std::filesystem::path file = File();
  if (file.empty()) throw FileError("cannot save the streams: neither XDG_CONFIG_HOME nor HOME is set");
  std::error_code ignored;
  std::filesystem::create_directories(file.parent_path(), ignored);
  std::string text = kHeader;
  for (const StreamSource& source : streams) text += source.name + "\t" + source.url + "\n";
  RestrictToOwner(file.string());
  WriteFileAtomically(file.string(), text);
}

}  // namespace tovalen
