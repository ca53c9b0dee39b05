#include "capture/video_cap.h"
#include "platform/cp932.h"
#include "platform/trace.h"

namespace tovalen {

bool CVideoCap::EnumCapDrivers() {
  Trace("D: entering CVideoCap::EnumCapDrivers()\n");
  m_capDrivers.clear();
  for (int index = 0; index < CaptureDriver::kMaxDrivers; ++index) {
    const auto description = m_driver->GetDriverDescription(index);
    if (!description) continue;  // indices without a driver leave gaps
    SCapDriverInfo info;
    info.nIndex = index;
    // The driver's own buffers hold 79 bytes of code page 932 text.
    info.strName = TruncateUtf8AsCp932(description->name, CaptureDriver::kMaxDescriptionBytes);
    info.strVersion = TruncateUtf8AsCp932(description->version, CaptureDriver::kMaxDescriptionBytes);
    m_capDrivers.push_back(std::move(info));
    Trace("D: EnumCapDrivers() ");
    Trace(m_capDrivers.back().ToString());
    Trace("\n");
  }
  return !m_capDrivers.empty();
}

const SCapDriverInfo* CVideoCap::GetCapDeviceInfo(std::int32_t position) const {
  if (m_capDrivers.empty()) {
    Trace("E: GetCapDeviceInfo() empty\n");
    return nullptr;
  }
  if (position < 0 || position >= GetCapDeviceCount()) {
    Trace("E: GetCapDeviceInfo() out of range\n");
    return nullptr;
  }
  return &m_capDrivers[static_cast<std::size_t>(position)];
}

bool CVideoCap::SelectCapDriver(ParentWindowHandle parent) {
  Trace("D: entering CVideoCap::SelectCapDriver()\n");
  if (!m_hWndC && !CreateCaptureWindow(parent)) {
    Trace("E: CVideoCap::SelectCapDriver() CreateCaptureWindow() failed\n");
    ShowMessage("エラー: キャプチャウィンドウを開けませんでした。");
    return false;
  }
  if (m_bConnected && !Disconnect()) {
    Trace("E: CVideoCap::SelectCapDriver() Disconnect failed\n");
    return false;
  }
  if (!EnumCapDrivers()) {
    ShowMessage("エラー: 有効なキャプチャデバイスが全くありません。");
    return false;
  }

  const DeviceSelection choice = m_ui->ChooseCaptureDevice(m_capDrivers);
  switch (choice.result) {
    case DialogResult::kOk: {
      const bool listed = choice.selectedPosition >= 0 && choice.selectedPosition < GetCapDeviceCount();
      if (!listed) {
        ShowMessage("キャプチャデバイス一覧の中からどれか選んでください");
        return false;
      }
      // The record's own index, not its list position: with gaps in the numbering the
      // position would name another device.
      m_iCapDriverId = m_capDrivers[static_cast<std::size_t>(choice.selectedPosition)].nIndex;
      if (!Connect()) {
        ShowMessage("キャプチャデバイスとの接続に失敗しました。\n多分Windowsを再起動すると直ります。");
        return false;
      }
      Trace("D: CVideoCap::SelectCapDriver() success\n");
      return true;
    }
    case DialogResult::kCancel:
      if (!DestroyCaptureWindow()) Trace("E: CVideoCap::SelectCapDriver() DestroyCaptureWindow() failed\n");
      return false;
    case DialogResult::kAbort:
      ShowMessage("SelectCapDriver() DoModal() ID_ABORT");
      return false;
    case DialogResult::kFailed:
      ShowMessage("Dialog box could not be created!");
      return false;
  }
  ShowMessage("SelectCapDriver() DoModal() unknown return code");
  return false;
}

}  // namespace tovalen
