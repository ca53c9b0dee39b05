#pragma once

#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace tovalen::cli {

// Bad usage or bad input: reported as one line and exit status 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A command's arguments: positional words and "--name value" options.
class CommandLine {
 public:
  // Splits args (after the command word). Every option takes one value and may appear once;
  // names outside `allowed` are refused.
  CommandLine(const std::vector<std::string>& args, const std::set<std::string>& allowed);

  // The positional words, which must number exactly `count`; `names` describes them for the error.
  const std::vector<std::string>& Positional(std::size_t count, const char* names) const;

  std::optional<std::string> Option(const std::string& name) const;
  std::string RequiredOption(const std::string& name) const;
  bool Has(const std::string& name) const { return m_options.count(name) != 0; }
  bool Empty() const { return m_options.empty(); }

 private:
  std::vector<std::string> m_positional;
  std::map<std::string, std::string> m_options;
};

}  // namespace tovalen::cli
