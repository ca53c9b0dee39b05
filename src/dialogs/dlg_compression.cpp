#include "dialogs/dlg_compression.h"

#include <wx/choice.h>
#include <wx/slider.h>

#include <algorithm>

#include "dialogs/wx_text.h"

namespace tovalen {
namespace {

bool IsLossless(VideoCodec codec) { return codec == VideoCodec::kRawVideo || codec == VideoCodec::kFfv1; }

}  // namespace

std::string CodecDescription(VideoCodec codec) {
  switch (codec) {
    case VideoCodec::kMjpeg:
      return "Motion JPEG";
    case VideoCodec::kRawVideo:
      return "非圧縮";
    case VideoCodec::kFfv1:
      return "FFV1 (可逆圧縮)";
    case VideoCodec::kMpeg4:
      return "MPEG-4";
    case VideoCodec::kH264:
      return "H.264";
  }
  return "?";
}

CDlgCompression::CDlgCompression(wxWindow* parent, CompressionModel& model)
    : DriverDialogBase(parent, "ビデオ再圧縮の設定"),
      m_model(model),
      m_codec(new wxChoice(this, wxID_ANY)),
      m_quality(new wxSlider(this, wxID_ANY, model.Quality(), kMinQuality, kMaxQuality, wxDefaultPosition,
                             wxSize(ConvertDialogToPixels(wxSize(120, 0)).x, -1), wxSL_HORIZONTAL | wxSL_VALUE_LABEL)) {
  for (VideoCodec codec : m_model.Available()) m_codec->Append(ToWx(CodecDescription(codec)));
  AddRow("圧縮形式(&C):", m_codec);
  AddRow("画質(&Q):", m_quality);
  FinishLayout();
  ShowCodec();
  m_codec->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) {
    const int item = m_codec->GetSelection();
    if (item >= 0) Refused(m_model.SetCodec(m_model.Available().at(static_cast<std::size_t>(item))));
    ShowCodec();
  });
  m_quality->Bind(wxEVT_SLIDER, [this](wxCommandEvent&) {
    if (Refused(m_model.SetQuality(m_quality->GetValue()))) m_quality->SetValue(m_model.Quality());
  });
}

void CDlgCompression::ShowCodec() {
  const auto& available = m_model.Available();
  const auto found = std::find(available.begin(), available.end(), m_model.Codec());
  m_codec->SetSelection(found == available.end() ? wxNOT_FOUND : static_cast<int>(found - available.begin()));
  m_quality->Enable(!IsLossless(m_model.Codec()));  // lossless codecs have no quality to choose
}

}  // namespace tovalen
