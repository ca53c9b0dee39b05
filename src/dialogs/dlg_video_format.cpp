#include "dialogs/dlg_video_format.h"

#include <wx/choice.h>

#include "dialogs/wx_text.h"

namespace tovalen {

CDlgVideoFormat::CDlgVideoFormat(wxWindow* parent, VideoFormatModel& model)
    : DriverDialogBase(parent, "ビデオ形式の設定"),
      m_model(model),
      m_pixelFormat(new wxChoice(this, wxID_ANY)),
      m_size(new wxChoice(this, wxID_ANY)) {
  m_pixelFormat->Append(ToWx("自動"));
  for (const auto& offer : m_model.Offers()) {
    m_pixelFormat->Append(ToWx(offer.pixelFormat));
    if (offer.pixelFormat == m_model.PixelFormat()) m_pixelFormat->SetSelection(m_pixelFormat->GetCount() - 1);
  }
  if (m_model.PixelFormat().empty()) m_pixelFormat->SetSelection(0);
  FillSizes();
  AddRow("ピクセル形式(&P):", m_pixelFormat);
  AddRow("フレームサイズ(&S):", m_size);
  FinishLayout();
  m_pixelFormat->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) { OnPixelFormat(); });
  m_size->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) { OnSize(); });
}

void CDlgVideoFormat::FillSizes() {
  m_size->Clear();
  // The device's own size can be kept, but not gone back to once a size has been chosen.
  m_hasDefaultSize = !m_model.Size().IsSet();
  if (m_hasDefaultSize) {
    m_size->Append(ToWx("デバイスの既定"));
    m_size->SetSelection(0);
  }
  for (const FrameSize& size : m_model.OfferedSizes()) {
    m_size->Append(ToWx(size.ToString()));
    if (size == m_model.Size()) m_size->SetSelection(m_size->GetCount() - 1);
  }
}

void CDlgVideoFormat::OnPixelFormat() {
  const int item = m_pixelFormat->GetSelection();
  const std::string name = item <= 0 ? std::string() : ToUtf8(m_pixelFormat->GetString(item));
  if (Refused(m_model.SetPixelFormat(name))) return;
  FillSizes();  // the sizes follow the pixel format
}

void CDlgVideoFormat::OnSize() {
  const int item = m_size->GetSelection();
  const auto size = FrameSize::Parse(ToUtf8(m_size->GetString(item)));
  if (!size || Refused(m_model.SetSize(*size))) {
    FillSizes();
    return;
  }
  if (m_hasDefaultSize) FillSizes();
}

}  // namespace tovalen
