#pragma once

#include <string>

namespace tovalen {

// The folder a new recording goes to: the videos folder named in user-dirs.dirs under
// configFolder (as xdg-user-dir reports it), else home/Videos, else home itself; each only
// when it is an existing folder. An empty home gives an empty result.
std::string VideosFolderOf(const std::string& home, const std::string& configFolder);

// The same for this user: home from $HOME (else the password database), the configuration
// folder from $XDG_CONFIG_HOME (else ~/.config).
std::string UserVideosFolder();

// "capture.avi" in the user's videos folder: the file a new recording is offered.
std::string DefaultRecordingPath();

// Where a save dialog for the recording at path starts: path itself when it names a folder,
// otherwise DefaultRecordingPath(); "C:\capture.avi" from another system names none here.
std::string RecordingDialogStartPath(const std::string& path);

}  // namespace tovalen
