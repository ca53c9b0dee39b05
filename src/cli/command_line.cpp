#include "cli/command_line.h"

namespace tovalen::cli {

CommandLine::CommandLine(const std::vector<std::string>& args, const std::set<std::string>& allowed) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    if (word.size() < 3 || word.compare(0, 2, "--") != 0) {
      m_positional.push_back(word);
      continue;
    }
    const std::string name = word.substr(2);
    if (allowed.count(name) == 0) throw UsageError("unknown option --" + name);
    if (i + 1 >= args.size()) throw UsageError("option --" + name + " needs a value");
    if (!m_options.emplace(name, args[++i]).second) throw UsageError("option --" + name + " is given twice");
  }
}

const std::vector<std::string>& CommandLine::Positional(std::size_t count, const char* names) const {
  if (m_positional.size() != count) throw UsageError(std::string("expected ") + names);
  return m_positional;
}

std::optional<std::string> CommandLine::Option(const std::string& name) const {
  const auto found = m_options.find(name);
  if (found == m_options.end()) return std::nullopt;
  return found->second;
}

std::string CommandLine::RequiredOption(const std::string& name) const {
  const auto value = Option(name);
  if (!value) throw UsageError("option --" + name + " is required");
  return *value;
}

}  // namespace tovalen::cli
