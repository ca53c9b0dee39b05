#pragma once

#include <string>

namespace tovalen {

// The status-bar prompt and the tooltip of a command; either may be empty.
struct CommandPrompt {
  std::string prompt;
  std::string tooltip;
};

// A command's prompt and tooltip; both empty for a command that has none.
CommandPrompt PromptOf(int commandId);

// What the status bar's message pane shows while no command is highlighted.
inline constexpr const char* kIdleStatusText =
    "キャプチャ中にESCキーを押すか、マウスで画面をクリックすることでキャプチャを中止できます。";

}  // namespace tovalen
