#include "dialogs/wx_driver_dialogs.h"

#include "dialogs/dlg_compression.h"
#include "dialogs/dlg_video_display.h"
#include "dialogs/dlg_video_format.h"
#include "dialogs/dlg_video_source.h"
#include "res/resource_ids.h"

namespace tovalen {
namespace {

template <class Dialog, class Model>
bool RunModal(Model& model) {
  Dialog dialog(nullptr, model);
  return dialog.ShowModal() == res::IDOK;
}

}  // namespace

bool WxDriverDialogs::EditVideoFormat(VideoFormatModel& model) { return RunModal<CDlgVideoFormat>(model); }

bool WxDriverDialogs::EditVideoSource(VideoSourceModel& model) { return RunModal<CDlgVideoSource>(model); }

bool WxDriverDialogs::EditVideoDisplay(VideoDisplayModel& model) { return RunModal<CDlgVideoDisplay>(model); }

bool WxDriverDialogs::EditCompression(CompressionModel& model) { return RunModal<CDlgCompression>(model); }

}  // namespace tovalen
