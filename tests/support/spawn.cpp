#include "support/spawn.h"

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

extern char** environ;

namespace tovalen::testing {

pid_t Spawn(const std::vector<std::string>& words, const std::string& out, const std::string& err) {
  std::vector<char*> argv;
  for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t output;
  posix_spawn_file_actions_init(&output);
  posix_spawn_file_actions_addopen(&output, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&output, STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t child = -1;
  const int spawned = ::posix_spawnp(&child, argv[0], &output, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&output);
  return spawned == 0 ? child : -1;
}

}  // namespace tovalen::testing
