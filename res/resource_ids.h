#pragma once

// The numeric ids of the dialogs and their controls. The windows carry these ids themselves, so
// the numbers stay the program's own across the GUI.
namespace tovalen::res {

// Buttons every dialog shares.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

// Dialog templates.
inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDR_MAINFRAME = 128;  // also the application icon
inline constexpr int IDD_DLG_NEW_REC = 130;
inline constexpr int IDD_DLG_REC_LIST = 131;
inline constexpr int IDD_DLG_SELECT_CAP_DEVICE = 132;
inline constexpr int IDD_DLG_REC_START = 133;
inline constexpr int IDD_DLG_SET_AUDIO_PROPERTY = 134;
inline constexpr int IDD_DLG_SET_VIDEO_OPTION = 135;
inline constexpr int IDD_DLG_DEBUG_INFO = 136;
inline constexpr int IDD_DLG_STREAM_SOURCES = 140;

// Reservation editor.
inline constexpr int IDC_MONTHCALENDAR_START = 1000;
inline constexpr int IDC_DATETIMEPICKER_START = 1001;
inline constexpr int IDC_MONTHCALENDAR_END = 1002;
inline constexpr int IDC_DATETIMEPICKER_END = 1003;
inline constexpr int IDC_STATIC_END = 1004;
inline constexpr int IDC_STATIC_START = 1005;
inline constexpr int IDC_EDIT_TITLE = 1012;
inline constexpr int IDC_BUTTON_BROWSE = 1013;
inline constexpr int IDC_EDIT_FILENAME = 1015;
inline constexpr int IDC_BUTTON_HELP_NEW_REC = 1049;
inline constexpr int IDC_COMBO_REPEAT = 1050;
inline constexpr int IDC_SPIN_REPEAT_COUNT = 1051;

// Reservation list.
inline constexpr int IDC_LIST_YOYAKU = 1009;
inline constexpr int IDC_BUTTON_REC_ADD = 1010;
inline constexpr int IDC_BUTTON_REC_DELETE = 1011;
inline constexpr int IDC_BUTTON_REC_DELETE_PAST = 1019;
inline constexpr int IDC_BUTTON_REC_EDIT = 1031;
inline constexpr int IDC_BUTTON_HELP_REC_LIST = 1047;

// Recording runner.
inline constexpr int IDC_STATIC_NEXT_RESERVATION = 1017;
inline constexpr int IDC_STATIC_ACTIVITY = 1018;
inline constexpr int IDC_EDIT_RUNNER_NOTES = 1060;  // the log below the two texts

// Capture device selection.
inline constexpr int IDC_LIST_CAP_DEVICE = 1020;
inline constexpr int IDC_BUTTON_HELP_SELECT_CAP_DEVICE = 1048;

// Audio settings.
inline constexpr int IDC_RADIO_8KHZ = 1021;
inline constexpr int IDC_RADIO_11KHZ = 1022;
inline constexpr int IDC_RADIO_22KHZ = 1023;
inline constexpr int IDC_RADIO_44KHZ = 1024;
inline constexpr int IDC_RADIO_MONO = 1026;
inline constexpr int IDC_RADIO_STEREO = 1027;
inline constexpr int IDC_RADIO_8BIT = 1029;
inline constexpr int IDC_RADIO_16BIT = 1030;
inline constexpr int IDC_BUTTON_HELP_AUDIO = 1040;

// Other video settings.
inline constexpr int IDC_RADIO_15FPS = 1036;
inline constexpr int IDC_RADIO_30FPS = 1037;
inline constexpr int IDC_RADIO_12_5FPS = 1038;
inline constexpr int IDC_RADIO_25FPS = 1039;
inline constexpr int IDC_CHECK_PERSISTENT_CONNECT = 1041;
inline constexpr int IDC_BUTTON_HELP_VIDEO_OPTION = 1042;

// Network streams.
inline constexpr int IDC_LIST_STREAM = 1070;
inline constexpr int IDC_EDIT_STREAM_NAME = 1071;
inline constexpr int IDC_EDIT_STREAM_URL = 1072;
inline constexpr int IDC_BUTTON_STREAM_ADD = 1073;
inline constexpr int IDC_BUTTON_STREAM_CHANGE = 1074;
inline constexpr int IDC_BUTTON_STREAM_DELETE = 1075;
inline constexpr int IDC_BUTTON_HELP_STREAM_SOURCES = 1076;

// Debug information.
inline constexpr int IDC_STATIC_DEBUG_INFO = 1046;

}  // namespace tovalen::res
