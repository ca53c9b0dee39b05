#pragma once

#include <cstddef>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace tovalen {

// A network stream the user named: a capture device like the others, listed after the test
// pattern under its name.
struct StreamSource {
  std::string name;
  std::string url;
  bool operator==(const StreamSource&) const = default;
};

// Why a stream was not taken; each program says it in its own words.
enum class StreamRefusal {
  kEmptyName,
  kNameNotText,  // control characters, or bytes that are not UTF-8
  kNameTooLong,  // longer than a device name is shown
  kNameTaken,
  kUnknownName,    // no stream has that name
  kNotAStreamUrl,  // a scheme other than a stream's (file: among them)
  kUrlNotText,     // spaces or control characters
  kNoRoom,         // every device index is taken
};

// A stream was refused; what() is one English sentence that never holds the URL's credentials.
class StreamRefused : public std::invalid_argument {
 public:
  StreamRefused(StreamRefusal reason, const std::string& what) : std::invalid_argument(what), m_reason(reason) {}
  StreamRefusal Reason() const { return m_reason; }

 private:
  StreamRefusal m_reason;
};

// The user's streams, in the order they were added, in a plain text file beside the driver
// settings: one line per stream, its name, a tab, its URL. The file is written atomically and
// readable by its owner only, as URLs may hold passwords. A file that cannot be read as ours
// stops every change with FileError (platform/atomic_file.h) rather than being replaced.
class StreamSources {
 public:
  // An empty path means DefaultFile(), looked up at each call.
  explicit StreamSources(std::filesystem::path file = {}) : m_file(std::move(file)) {}

  // $XDG_CONFIG_HOME/tovalen/streams.conf, else ~/.config/tovalen/streams.conf; empty when
  // neither variable is set.
  static std::filesystem::path DefaultFile();
  std::filesystem::path File() const { return m_file.empty() ? DefaultFile() : m_file; }

  // The streams; none when there is no file. Throws FileError.
  std::vector<StreamSource> Load() const;

  // Each change reads the file, checks and writes it back; it throws StreamRefused (and
  // changes nothing) for what it refuses, FileError when the file cannot be read or written.
  // Name and URL lose surrounding white space.
  //
  // Adds the stream at the end. `devicesListed` counts the devices listed now, the streams
  // among them: a stream takes a device index, and there are only CaptureDriver::kMaxDrivers.
  void Add(StreamSource source, std::size_t devicesListed) const;
  // Gives the stream named `name` a new name and URL in its place.
  void Change(const std::string& name, StreamSource changed) const;
  // Removes the stream and returns the position it had among the streams.
  std::size_t Remove(const std::string& name) const;

 private:
  void Save(const std::vector<StreamSource>& streams) const;

  std::filesystem::path m_file;
};

// Throws StreamRefused unless the name and URL may be stored as a stream (the name's room
// among the others is not checked).
void CheckStreamSource(const StreamSource& source);

}  // namespace tovalen
