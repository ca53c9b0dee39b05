#include "dialogs/dlg_stream_sources.h"

#include <wx/listbox.h>
#include <wx/textctrl.h>

#include "capture/capture_driver.h"
#include "capture/stream_url.h"
#include "capture/video_cap.h"
#include "dialogs/dialog_layout.h"
#include "dialogs/help_viewer.h"
#include "dialogs/label_mnemonic.h"
#include "dialogs/message_box.h"
#include "dialogs/wx_text.h"
#include "platform/atomic_file.h"
#include "platform/trace.h"
#include "res/resource_ids.h"

namespace tovalen {
namespace {

std::size_t DevicesTheControllerLists() {
  CVideoCap& cap = CVideoCap::GetInstance();
  cap.EnumCapDrivers();
  return static_cast<std::size_t>(cap.GetCapDeviceCount());
}

}  // namespace

std::string DescribeRefusalForUser(StreamRefusal refusal) {
  switch (refusal) {
    case StreamRefusal::kEmptyName:
      return "名前を入力してください。";
    case StreamRefusal::kNameNotText:
      return "名前に制御文字は使えません。";
    case StreamRefusal::kNameTooLong:
      return "名前が長すぎます。デバイス一覧に表示できる長さにしてください。";
    case StreamRefusal::kNameTaken:
      return "その名前のストリームはすでにあります。別の名前にしてください。";
    case StreamRefusal::kUnknownName:
      return "そのストリームはもうありません。";
    case StreamRefusal::kNotAStreamUrl:
      return "URL は http://、https://、rtsp://、rtsps://、rtp://、udp://、srt:// のどれかで始めてください。\n"
             "ファイル（file:）は録画できません。";
    case StreamRefusal::kUrlNotText:
      return "URL に空白や制御文字は使えません。空白は %20 と書いてください。";
    case StreamRefusal::kNoRoom:
      return "キャプチャデバイスは " + std::to_string(CaptureDriver::kMaxDrivers) +
             " 個までです。これ以上ストリームを追加できません。";
  }
  return "ストリームを保存できません。";
}

CDlgStreamSources::CDlgStreamSources(wxWindow* parent)
    : DialogBase(parent, res::IDD_DLG_STREAM_SOURCES, "ネットワークストリーム"),
      m_countDevices(DevicesTheControllerLists) {
  CreateControls();
  Bind(wxEVT_INIT_DIALOG, &CDlgStreamSources::OnInitDialog, this);
  m_list->Bind(wxEVT_LISTBOX, [this](wxCommandEvent&) { OnSelect(); });
  Bind(
      wxEVT_BUTTON, [this](wxCommandEvent&) { OnAdd(); }, res::IDC_BUTTON_STREAM_ADD);
  Bind(
      wxEVT_BUTTON, [this](wxCommandEvent&) { OnChange(); }, res::IDC_BUTTON_STREAM_CHANGE);
  Bind(
      wxEVT_BUTTON, [this](wxCommandEvent&) { OnDelete(); }, res::IDC_BUTTON_STREAM_DELETE);
  BindPlainCancel();
  BindHelp(res::IDC_BUTTON_HELP_STREAM_SOURCES, help_page::kStreamSources);
}

void CDlgStreamSources::CreateControls() {
  const DialogLayout layout(this);
  layout.SetClientSize(300, 180);
  layout.GroupBox("ネットワークストリーム（IP カメラ、IPTV など）", {10, 5, 280, 145});
  const DluRect listRect{20, 20, 260, 65};
  m_list = new wxListBox(this, res::IDC_LIST_STREAM, layout.Position(listRect), layout.Size(listRect), 0, nullptr,
                         wxLB_SINGLE | wxLB_ALWAYS_SB | wxLB_HSCROLL);
  wxStaticText* namePrompt = layout.Label(wxID_ANY, "名前(&N)", {20, 94, 30, 10});
  const DluRect nameRect{55, 92, 225, 14};
  m_name =
      new wxTextCtrl(this, res::IDC_EDIT_STREAM_NAME, wxString(), layout.Position(nameRect), layout.Size(nameRect));
  LinkMnemonic(namePrompt, m_name);
  wxStaticText* urlPrompt = layout.Label(wxID_ANY, "URL(&U)", {20, 112, 30, 10});
  const DluRect urlRect{55, 110, 225, 14};
  m_url = new wxTextCtrl(this, res::IDC_EDIT_STREAM_URL, wxString(), layout.Position(urlRect), layout.Size(urlRect));
  LinkMnemonic(urlPrompt, m_url);
  layout.Button(res::IDC_BUTTON_STREAM_ADD, "追加(&A)", {120, 130, 50, 14});
  layout.Button(res::IDC_BUTTON_STREAM_CHANGE, "変更(&C)", {175, 130, 50, 14});
  layout.Button(res::IDC_BUTTON_STREAM_DELETE, "削除(&D)", {230, 130, 50, 14});
  layout.Button(res::IDC_BUTTON_HELP_STREAM_SOURCES, "ヘルプ(&H)...", {175, 158, 50, 14});
  layout.Button(res::IDCANCEL, "閉じる", {230, 158, 50, 14});
  layout.FitToBestSizes();
}

void CDlgStreamSources::OnInitDialog(wxInitDialogEvent&) {
  Refresh(std::nullopt);
  m_name->SetFocus();
}

void CDlgStreamSources::Refresh(std::optional<std::size_t> selected) {
  try {
    m_shown = m_streams.Load();
  } catch (const FileError& error) {
    m_shown.clear();
    ShowErrorMessage(this,
                     std::string("ストリームの一覧を読めません。ファイルはそのまま残してあります。\n") + error.what());
  }
  m_list->Clear();
  for (const StreamSource& source : m_shown) m_list->Append(ToWx(source.name + "    " + MaskedUrl(source.url)));
  if (selected && *selected < m_shown.size()) {
    m_list->SetSelection(static_cast<int>(*selected));
  } else {
    m_list->SetSelection(wxNOT_FOUND);
    m_name->Clear();
    m_url->Clear();
  }
}

std::optional<std::size_t> CDlgStreamSources::SelectedLine() const {
  const int line = m_list->GetSelection();
  if (line == wxNOT_FOUND || static_cast<std::size_t>(line) >= m_shown.size()) return std::nullopt;
  return static_cast<std::size_t>(line);
}

// The stream chosen is shown for changing: its URL whole, only in the field being edited.
void CDlgStreamSources::OnSelect() {
  const auto line = SelectedLine();
  if (!line) return;
  m_name->ChangeValue(ToWx(m_shown[*line].name));
  m_url->ChangeValue(ToWx(m_shown[*line].url));
}

StreamSource CDlgStreamSources::Entered() const { return {ToUtf8(m_name->GetValue()), ToUtf8(m_url->GetValue())}; }

bool CDlgStreamSources::Apply(const std::function<void()>& change) {
  try {
    change();
  } catch (const StreamRefused& refused) {
    Trace(std::string("D: stream refused: ") + refused.what() + "\n");
    ShowErrorMessage(this, DescribeRefusalForUser(refused.Reason()));
    return false;
  } catch (const FileError& error) {
    ShowErrorMessage(this, std::string("ストリームの一覧を保存できません。\n") + error.what());
    return false;
  }
  m_changed = true;
  return true;
}

void CDlgStreamSources::OnAdd() {
  const StreamSource entered = Entered();
  if (Apply([&] { m_streams.Add(entered, m_countDevices()); })) Refresh(std::nullopt);
}

void CDlgStreamSources::OnChange() {
  const auto line = SelectedLine();
  if (!line) return;
  const StreamSource entered = Entered();
  if (Apply([&] { m_streams.Change(m_shown[*line].name, entered); })) Refresh(line);
}

void CDlgStreamSources::OnDelete() {
  const auto line = SelectedLine();
  if (!line) return;
  if (Apply([&] { m_streams.Remove(m_shown[*line].name); })) Refresh(std::nullopt);
}

}  // namespace tovalen
