#include "app/recording_indicator.h"

#include <cstdio>
#include <filesystem>
#include <string>

#include "app/capture_panel.h"
#include "app/main_frame.h"
#include "app/main_status_bar.h"
#include "dialogs/wx_text.h"

namespace tovalen {
namespace {

constexpr const char* kRecording = "録画中";

std::string ElapsedText(std::int32_t elapsedMs) {
  const std::int32_t seconds = elapsedMs / 1000;
  char text[32];
  std::snprintf(text, sizeof text, "%d:%02d:%02d", seconds / 3600, seconds / 60 % 60, seconds % 60);
  return text;
}

// A network stream that connected again says so; nothing is added for a device that never does.
std::string ReconnectsText(std::uint32_t reconnects) {
  return reconnects == 0 ? "" : "  再接続 " + std::to_string(reconnects) + " 回";
}

std::string BaseName(const std::string& path) { return std::filesystem::path(path).filename().string(); }

CapturePanel* CaptureWindowIn(wxWindow* view) {
  if (view == nullptr) return nullptr;
  for (wxWindow* child : view->GetChildren()) {
    if (auto* panel = dynamic_cast<CapturePanel*>(child)) return panel;
  }
  return nullptr;
}

}  // namespace

void RecordingIndicator::OnCaptureStarted(const CaptureProgress& progress) {
  m_running = progress;
  Show();
}

void RecordingIndicator::OnCaptureProgress(const CaptureProgress& progress) {
  if (!m_running) return;
  m_running = progress;
  Show();
}

void RecordingIndicator::OnCaptureEnded() {
  m_running.reset();
  Show();
}

wxString RecordingIndicator::Title(const wxString& documentTitle) const {
  if (!m_running) return documentTitle;
  return ToWx(std::string(kRecording) + " " + BaseName(m_running->fileName) + " " + ElapsedText(m_running->elapsedMs) +
              " - ") +
         documentTitle;
}

void RecordingIndicator::Show() {
  // The texts change once a second; the frame count only in the capture window.
  m_frame.ShowTitle();
  std::string status;
  std::string caption;
  if (m_running) {
    const std::string elapsed = ElapsedText(m_running->elapsedMs);
    // Short, as the status bar's hint on ending a test capture shares the width; the title and
    // the capture window name the file too.
    const std::string reconnects = ReconnectsText(m_running->reconnects);
    status = std::string(kRecording) + " " + BaseName(m_running->fileName) + "  " + elapsed + reconnects;
    caption = std::string(kRecording) + "\n" + BaseName(m_running->fileName) + "\n" + elapsed + "  " +
              std::to_string(m_running->frames) + " frame" + reconnects;
  }
  // The message pane keeps its hint on how to end a test capture, which applies just now.
  if (MainStatusBar* bar = m_frame.StatusBar()) {
    bar->ShowRecording(status);
    bar->Update();
  }
  if (CapturePanel* panel = CaptureWindowIn(m_frame.ViewWindow())) panel->SetCaption(ToWx(caption));
}

}  // namespace tovalen
