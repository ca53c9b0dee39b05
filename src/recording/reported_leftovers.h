#pragma once

#include <deque>
#include <string>

namespace tovalen {

// The leftovers that could not be rebuilt and have been reported, kept across runs in a small
// file, so that one is reported once and not again at every opening while it stays as it was.
// A leftover is known by its path, size and modification time; the file keeps the latest few
// hundred. Used by one thread at a time.
class ReportedLeftovers {
 public:
  // Loads what was remembered in the file (an empty path remembers for this object only).
  explicit ReportedLeftovers(std::string file);

  // $XDG_STATE_HOME/tovalen/unrecovered-leftovers, else under ~/.local/state; empty without
  // either variable.
  static std::string DefaultFile();

  // Whether the leftover, as it is on disk now, was reported before; if not, it is remembered
  // as reported from now on.
  bool ReportedBefore(const std::string& leftover);

 private:
  void Save() const;

  std::string m_file;
  std::deque<std::string> m_keys;  // oldest first
};

}  // namespace tovalen
