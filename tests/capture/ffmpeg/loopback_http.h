#pragma once

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace tovalen::testing {

// A small HTTP server on 127.0.0.1 for tests of the stream input: it serves the files of a
// folder, one request per connection, or accepts connections and never answers. It stops with
// its owner.
class LoopbackHttp {
 public:
  enum class Mode { kServeFolder, kSilent };

  explicit LoopbackHttp(std::filesystem::path folder, Mode mode = Mode::kServeFolder);
  ~LoopbackHttp();
  LoopbackHttp(const LoopbackHttp&) = delete;
  LoopbackHttp& operator=(const LoopbackHttp&) = delete;

  // "http://127.0.0.1:PORT/name"; with `userInfo`, "http://userInfo@127.0.0.1:PORT/name".
  std::string Url(const std::string& name, const std::string& userInfo = {}) const;

 private:
  void Serve(const std::stop_token& stop);
  void Answer(int connection) const;

  std::filesystem::path m_folder;
  Mode m_mode;
  int m_listener = -1;
  int m_port = 0;
  std::vector<int> m_held;  // silent mode: connections left unanswered until the end
  std::jthread m_thread;
};

}  // namespace tovalen::testing
