#include "app/quorvel_view.h"

#include <wx/config.h>
#include <wx/settings.h>
#include <wx/window.h>

#include <functional>
#include <initializer_list>

#include "app/capture_services.h"
#include "app/command_ids.h"
#include "app/main_frame.h"
#include "app/quorvel_doc.h"
#include "app/quorvel_doc_manager.h"
#include "capture/video_cap.h"
#include "dialogs/dlg_debug_info.h"
#include "dialogs/dlg_rec_list.h"
#include "dialogs/dlg_rec_start.h"
#include "dialogs/dlg_set_audio_property.h"
#include "dialogs/dlg_set_video_option.h"
#include "dialogs/dlg_stream_sources.h"
#include "dialogs/help_viewer.h"
#include "dialogs/message_box.h"
#include "dialogs/wx_text.h"
#include "platform/trace.h"

namespace tovalen {

wxIMPLEMENT_DYNAMIC_CLASS(CQuorvelView, wxView);

namespace {

constexpr const char* kSelectDevice = "キャプチャデバイスを選択してください";

CVideoCap& Cap() { return CVideoCap::GetInstance(); }

// The late-start choice lives in the user's settings, not in the schedule file; off at first.
constexpr const char* kLateStartKey = "/Recording/LateStart";

bool IsLateStartChosen() { return wxConfigBase::Get()->ReadBool(ToWx(kLateStartKey), false); }

void SetLateStartChosen(bool chosen) {
  wxConfigBase* config = wxConfigBase::Get();
  config->Write(ToWx(kLateStartKey), chosen);
  config->Flush();
}

}  // namespace

CQuorvelView::CQuorvelView() {
  BindCommands();
  BindUpdateRules();
}

bool CQuorvelView::OnCreate(wxDocument* doc, long) {
  auto* manager = wxDynamicCast(doc->GetDocumentManager(), CQuorvelDocManager);
  auto* frame = manager ? dynamic_cast<CMainFrame*>(manager->MainFrame()) : nullptr;
  if (!frame) return false;
  SetFrame(frame);
  m_window = new wxWindow(frame, wxID_ANY);
  m_window->SetBackgroundColour(wxSystemSettings::GetColour(wxSYS_COLOUR_WINDOW));
  frame->SetViewWindow(m_window);
  Activate(true);
  return true;
}

void CQuorvelView::OnDraw(wxDC*) {}

bool CQuorvelView::OnClose(bool) {
  // The capture window's picture is drawn by the driver's threads into this view's window;
  // they must stop before the window goes.
  Cap().DestroyCaptureWindow();
  Activate(false);
  return true;
}

void CQuorvelView::OnChangeFilename() {
  wxWindow* frame = GetFrame();
  wxDocument* doc = wxView::GetDocument();
  if (frame && doc) frame->SetLabel(doc->GetDocumentManager()->MakeFrameTitle(doc));
}

CMainFrame* CQuorvelView::Frame() const { return static_cast<CMainFrame*>(GetFrame()); }

CQuorvelDoc* CQuorvelView::GetDocument() const { return wxDynamicCast(wxView::GetDocument(), CQuorvelDoc); }

void CQuorvelView::BindCommands() {
  using namespace cmd;
  const auto on = [this](std::initializer_list<int> ids, std::function<void()> handler) {
    const auto call = [handler](wxCommandEvent&) { handler(); };
    for (const int id : ids) Bind(wxEVT_MENU, call, id);
  };
  on({ID_REC_LIST, ID_TB_REC_LIST}, [this] { OnRecList(); });
  on({ID_REC_START, ID_TB_REC_START}, [this] { OnRecStart(); });
  on({ID_REC_LATE_START}, [] { SetLateStartChosen(!IsLateStartChosen()); });
  Bind(
      wxEVT_UPDATE_UI, [](wxUpdateUIEvent& event) { event.Check(IsLateStartChosen()); }, ID_REC_LATE_START);
  on({ID_CAP_SELECT_DEVICE, ID_TB_SELECT_DEVICE}, [this] { OnCapSelectDevice(); });
  on({ID_CAP_STREAM_SOURCES}, [this] { OnCapStreamSources(); });
  on({ID_CAP_PREVIEW}, [this] { OnCapPreview(); });
  on({ID_CAP_OVERLAY}, [this] { OnCapOverlay(); });
  on({ID_CAP_TEST}, [this] { OnCapTest(); });
  on({ID_CAP_AUDIO}, [this] { OnCapAudio(); });
  on({ID_CAP_VIDEO_OPTION}, [this] { OnCapVideoOption(); });
  // The controller traces its own failures of the driver's dialogs.
  on({ID_CAP_VIDEO_FORMAT}, [] { Cap().DlgVideoFormat(); });
  on({ID_CAP_VIDEO_SOURCE}, [] { Cap().DlgVideoSource(); });
  on({ID_CAP_VIDEO_OUT}, [] { Cap().DlgVideoOut(); });
  on({ID_CAP_VIDEO_COMPRESSION}, [] { Cap().DlgVideoCompression(); });
  on({ID_DEBUG_INFO}, [this] { OnDebugInfo(); });
  on({ID_HELP_CONTENTS}, [this] { OnHelpContents(); });
}

void CQuorvelView::BindUpdateRules() {
  using namespace cmd;
  using Rule = std::function<bool(const CVideoCap&)>;
  const auto rule = [this](int id, Rule enabled, Rule checked = nullptr) {
    const auto update = [enabled, checked](wxUpdateUIEvent& event) {
      const CVideoCap& cap = Cap();
      event.Enable(enabled(cap));
      if (checked) event.Check(checked(cap));
    };
    Bind(wxEVT_UPDATE_UI, update, id);
  };
  rule(ID_CAP_VIDEO_FORMAT, &CVideoCap::CanDlgVideoFormat);
  rule(ID_CAP_VIDEO_SOURCE, &CVideoCap::CanDlgVideoSource);
  rule(ID_CAP_VIDEO_OUT, &CVideoCap::CanDlgVideoOut);
  rule(ID_CAP_VIDEO_COMPRESSION, &CVideoCap::IsConnected);
  rule(ID_CAP_PREVIEW, &CVideoCap::IsConnected, &CVideoCap::IsPreviewOn);
  rule(ID_CAP_OVERLAY, &CVideoCap::CanOverlay, &CVideoCap::IsOverlayOn);
  rule(ID_CAP_TEST, &CVideoCap::IsConnected);
}

std::string CQuorvelView::SchedulePath() const { return ToUtf8(GetDocument()->GetFilename()); }

void CQuorvelView::ShowError(const char* text) const {
  ShowMessageBox({m_window, text, "E:", MessageIcon::kStop, MessageButtons::kOk});
}

void CQuorvelView::ShowNoDevice() const {
  ShowMessageBox({m_window, kSelectDevice, "E:", MessageIcon::kExclamation, MessageButtons::kOk});
}

void CQuorvelView::OnRecList() {
  CDlgRecList dialog;
  dialog.SetDocument(&GetDocument()->Schedule());
  dialog.SetSchedulePath(SchedulePath());
  dialog.SetTargetCheck(CaptureTargetCheck(), Cap().GetCapDriverId());
  dialog.ShowModal();
}

void CQuorvelView::OnRecStart() {
  if (!Cap().IsReadyToRecord()) {
    ShowNoDevice();
    return;
  }
  const CMainFrame::CaptureCommand recording(*Frame());
  CDlgRecStart dialog;
  dialog.SetCaptureParent(CaptureParent());
  dialog.SetDocument(&GetDocument()->Schedule());
  dialog.SetSchedulePath(SchedulePath());
  dialog.SetLateStart(IsLateStartChosen() ? LateStart::kRecordRemainder : LateStart::kDrop);
  dialog.ShowModal();
}

void CQuorvelView::OnCapSelectDevice() {
  CVideoCap& cap = Cap();
  if (!cap.SelectCapDriver(CaptureParent())) {
    Trace("D: SelectCapDriver failed\n");
    return;
  }
  if (!cap.SetAudioFormat()) {
    ShowError("OnCapSelectDevice() SetAudioProperty() 失敗");
    return;
  }
  if (!cap.SetVideoOption()) {
    ShowError("OnCapSelectDevice() SetVideoOption() 失敗");
    return;
  }
  if (!cap.IsPreviewOn()) cap.TogglePreview();
}

void CQuorvelView::OnCapStreamSources() {
  CDlgStreamSources dialog(m_window);
  dialog.ShowModal();
  // The next device choice and connection see the streams as they are now.
  if (dialog.Changed()) Cap().EnumCapDrivers();
}

void CQuorvelView::OnCapPreview() {
  if (!Cap().TogglePreview()) ShowNoDevice();
}

void CQuorvelView::OnCapOverlay() {
  if (!Cap().ToggleOverlay()) ShowNoDevice();
}

void CQuorvelView::OnCapTest() {
  CVideoCap& cap = Cap();
  if (!cap.IsConnected()) {
    ShowNoDevice();
    return;
  }
  std::string fileName;
  if (!cap.QueryCaptureFileName(fileName)) {
    ShowError("QueryCaptureFileName() rv==false\n");
    return;
  }
  if (!cap.SetCaptureFileName(fileName)) {
    ShowError(
        "SetCaptureFileName失敗\n・キャプチャ中はファイル名を設定できません\n・メディアプレーヤを起動しているときは\n"
        "  終了してからもう一度実行してみてください");
    return;
  }
  if (!cap.SetAudioFormat()) {
    ShowError("SetAudioProperty() 失敗");
    return;
  }
  const CMainFrame::CaptureCommand capturing(*Frame());
  const bool captured = cap.Capture();
  if (Frame()->IsEnding()) {
    Trace(captured ? "D: test capture saved before ending\n" : "E: test capture failed before ending\n");
  } else if (captured) {
    ShowMessageBox({m_window, "キャプチャ正常終了。", "D:", MessageIcon::kNone, MessageButtons::kOk});
  } else {
    ShowError("StartCapture() 失敗");
  }
}

void CQuorvelView::OnCapAudio() {
  CDlgSetAudioProperty dialog;
  dialog.SetAudioProperty(Cap().GetAudioProperty());
  dialog.ShowModal();
}

void CQuorvelView::OnCapVideoOption() {
  CDlgSetVideoOption dialog;
  dialog.SetVideoOption(Cap().GetVideoOption());
  dialog.ShowModal();
}

void CQuorvelView::OnDebugInfo() {
  CDlgDebugInfo dialog;
  dialog.ShowModal();
}

void CQuorvelView::OnHelpContents() { ShowHelp(m_window, help_page::kContents); }

}  // namespace tovalen
