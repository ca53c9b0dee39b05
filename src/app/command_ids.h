#pragma once

// The ids of the main window's commands, bars and panes. Each is written as the program's own
// 16-bit command number; wx refuses menu ids from 0x8000 up, so the number's low 15 bits are the
// id that menu items, toolbar buttons and accelerators carry. No two commands share those bits.
namespace tovalen::cmd {

constexpr int WxId(int commandNumber) { return commandNumber & 0x7FFF; }

// File commands.
inline constexpr int ID_FILE_NEW = WxId(57600);
inline constexpr int ID_FILE_OPEN = WxId(57601);
inline constexpr int ID_FILE_SAVE = WxId(57603);
inline constexpr int ID_FILE_SAVE_AS = WxId(57604);
inline constexpr int ID_FILE_PRINT_SETUP = WxId(57606);
inline constexpr int ID_FILE_PRINT = WxId(57607);
inline constexpr int ID_FILE_PRINT_DIRECT = WxId(57608);
inline constexpr int ID_FILE_PRINT_PREVIEW = WxId(57609);
inline constexpr int ID_FILE_MRU_FILE1 = WxId(57616);  // the recent files follow in order
inline constexpr int kRecentFileCount = 4;
inline constexpr int ID_APP_ABOUT = WxId(57664);
inline constexpr int ID_APP_EXIT = WxId(57665);

// Editing and pane commands: they have keys but no handler.
inline constexpr int ID_EDIT_COPY = WxId(57634);
inline constexpr int ID_EDIT_CUT = WxId(57635);
inline constexpr int ID_EDIT_PASTE = WxId(57637);
inline constexpr int ID_EDIT_UNDO = WxId(57643);
inline constexpr int ID_NEXT_PANE = WxId(57680);
inline constexpr int ID_PREV_PANE = WxId(57681);

// The bars, and the menu items that show and hide them.
inline constexpr int ID_VIEW_TOOLBAR = WxId(59392);
inline constexpr int ID_VIEW_STATUS_BAR = WxId(59393);

// The view's commands.
inline constexpr int ID_REC_LIST = WxId(32772);
inline constexpr int ID_CAP_SELECT_DEVICE = WxId(32773);
inline constexpr int ID_CAP_PREVIEW = WxId(32774);
inline constexpr int ID_CAP_OVERLAY = WxId(32775);
inline constexpr int ID_CAP_TEST = WxId(32776);
inline constexpr int ID_REC_START = WxId(32777);
inline constexpr int ID_TB_REC_START = WxId(32780);
inline constexpr int ID_TB_SELECT_DEVICE = WxId(32781);
inline constexpr int ID_TB_REC_LIST = WxId(32782);
inline constexpr int ID_CAP_AUDIO = WxId(32783);
inline constexpr int ID_CAP_VIDEO_COMPRESSION = WxId(32785);
inline constexpr int ID_CAP_VIDEO_SOURCE = WxId(32786);
inline constexpr int ID_CAP_VIDEO_OUT = WxId(32787);
inline constexpr int ID_CAP_VIDEO_FORMAT = WxId(32788);
inline constexpr int ID_CAP_VIDEO_OPTION = WxId(32789);
inline constexpr int ID_DEBUG_INFO = WxId(32791);
inline constexpr int ID_HELP_CONTENTS = WxId(32792);
inline constexpr int ID_REC_LATE_START = WxId(32793);
inline constexpr int ID_CAP_STREAM_SOURCES = WxId(32794);

}  // namespace tovalen::cmd
