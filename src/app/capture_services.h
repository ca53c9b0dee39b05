#pragma once

namespace tovalen {

class RecordingTargetCheck;

// Gives the capture controller the FFmpeg driver, drawing into capture panels, keeping the wx
// loop alive during captures and showing its own dialogs over the main window, and the wx
// dialogs as its user interface.
void InstallCaptureServices();

// Whether a target can be recorded from a device, for the reservation editor: none before
// InstallCaptureServices.
const RecordingTargetCheck* CaptureTargetCheck();

class WxMainLoop;
// The loop that the installed capture services keep alive during a capture.
WxMainLoop& CaptureMainLoop();

}  // namespace tovalen
