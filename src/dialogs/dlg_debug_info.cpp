#include "dialogs/dlg_debug_info.h"

#include <gtk/gtk.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include <algorithm>

#include "capture/video_cap.h"
#include "dialogs/dialog_layout.h"
#include "dialogs/wx_text.h"
#include "res/resource_ids.h"

namespace tovalen {
namespace {

// Pixels from the top of a label to its first line's baseline.
int BaselineOf(wxStaticText* text) {
  PangoLayout* layout = gtk_label_get_layout(GTK_LABEL(text->GetHandle()));
  return layout ? PANGO_PIXELS(pango_layout_get_baseline(layout)) : 0;
}

// The report pads its labels so that the "=" line up in a font where a Japanese character is
// exactly two columns wide; GTK's text layout does not keep to that, so each line is split at
// its "=" and the parts are set in two columns instead. A label of Japanese alone is set in
// another font than one with Latin letters, so the two of a row are aligned on their baselines.
void ShowReport(wxWindow* area, const std::string& report) {
  area->DestroyChildren();
  auto* grid = new wxFlexGridSizer(2, wxSize(4, 0));
  std::size_t begin = 0;
  while (begin <= report.size()) {
    const std::size_t end = std::min(report.find('\n', begin), report.size());
    const std::string line = report.substr(begin, end - begin);
    const std::size_t equals = line.find('=');
    std::string name = line.substr(0, equals);
    name.erase(name.find_last_not_of(' ') + 1);
    const std::string value = equals == std::string::npos ? std::string() : line.substr(equals);
    auto* nameText = new wxStaticText(area, wxID_ANY, ToWx(name));
    auto* valueText = new wxStaticText(area, wxID_ANY, ToWx(value));
    const int lower = BaselineOf(valueText) - BaselineOf(nameText);
    grid->Add(nameText, wxSizerFlags().Border(wxTOP, std::max(0, lower)));
    grid->Add(valueText, wxSizerFlags().Border(wxTOP, std::max(0, -lower)));
    begin = end + 1;
  }
  area->SetSizer(grid);
  area->Layout();
}

}  // namespace

CDlgDebugInfo::CDlgDebugInfo(wxWindow* parent)
    : DialogBase(parent, res::IDD_DLG_DEBUG_INFO, "デバッグ情報", kStyle | wxRESIZE_BORDER) {
  const DialogLayout layout(this);
  layout.SetClientSize(250, 80);
  layout.Button(res::IDOK, "OK", {195, 10, 50, 14});
  layout.Button(res::IDCANCEL, "ｷｬﾝｾﾙ", {195, 27, 50, 14});
  const DluRect infoRect{10, 10, 175, 60};
  m_info = new wxPanel(this, res::IDC_STATIC_DEBUG_INFO, layout.Position(infoRect), layout.Size(infoRect));
  ShowReport(m_info, "Static01\nstatic02\nstatic03\nstatic04\nstatic05\nstatic06");
  SetDefaultButton(res::IDOK);
  layout.FitToBestSizes();
  Bind(wxEVT_INIT_DIALOG, &CDlgDebugInfo::OnInitDialog, this);
  Bind(
      wxEVT_BUTTON, [this](wxCommandEvent&) { Finish(res::IDOK); }, res::IDOK);
  BindPlainCancel();
}

void CDlgDebugInfo::OnInitDialog(wxInitDialogEvent&) {
  m_strInfo = CVideoCap::GetInstance().GetStatusReport();
  ShowReport(m_info, m_strInfo);
}

}  // namespace tovalen
