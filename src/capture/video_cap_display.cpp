#include "capture/video_cap.h"
#include "platform/trace.h"

namespace tovalen {
namespace {

constexpr int kPreviewRateMs = 66;

}  // namespace

bool CVideoCap::EnablePreview() {
  if (m_bPreview) return true;
  if (!m_bConnected) {
    Trace("E: CVideoCap::EnablePreview() !m_bConnected\n");
    return false;
  }
  if (m_bOverlay) DisableOverlay();  // preview and overlay exclude each other
  if (WindowAlive()) m_driver->SetPreviewRate(m_hWndC, kPreviewRateMs);
  if (!WindowAlive() || !m_driver->Preview(m_hWndC, true)) {
    Trace("E: EnablePreview() capPreview failed\n");
    return false;
  }
  m_bPreview = true;
  Trace("D: CVideoCap::EnablePreview() capPreview ON\n");
  return true;
}

bool CVideoCap::DisablePreview() {
  if (!m_bPreview) return true;
  if (WindowAlive() && m_driver->Preview(m_hWndC, false)) {
    m_bPreview = false;
    return true;
  }
  Trace("E: DisablePreview() capPreview() failed\n");
  return false;
}

bool CVideoCap::TogglePreview() { return m_bPreview ? DisablePreview() : EnablePreview(); }

bool CVideoCap::EnableOverlay() {
  if (m_bOverlay) return true;
  if (!m_bConnected) {
    Trace("E CVideoCap::EnableOverlay !m_bConnected\n");
    return false;
  }
  if (m_bCapsValid && m_caps.fHasOverlay == 0) {
    Trace("E: EnableOverlay() オーバーレイ機能なし\n");
    return false;
  }
  if (m_bPreview) DisablePreview();
  if (!WindowAlive() || !m_driver->Overlay(m_hWndC, true)) {
    Trace("D: CVideoCap::EnableOverlay() failed\n");
    return false;
  }
  m_bOverlay = true;
  Trace("D: CVideoCap::EnablePreview() capOverlay ON\n");
  return true;
}

bool CVideoCap::DisableOverlay() {
  if (!m_bOverlay) return true;
  if (WindowAlive() && m_driver->Overlay(m_hWndC, false)) {
    m_bOverlay = false;
    return true;
  }
  Trace("E: DisableOverlay() capOverlay() failed\n");
  return false;
}

bool CVideoCap::ToggleOverlay() { return m_bOverlay ? DisableOverlay() : EnableOverlay(); }

bool CVideoCap::HasCapability(std::uint32_t flag) const {
  // Capabilities that could not be read count as present.
  return m_bConnected && (!m_bCapsValid || flag != 0);
}

bool CVideoCap::CanOverlay() const { return HasCapability(m_caps.fHasOverlay); }
bool CVideoCap::CanDlgVideoFormat() const { return HasCapability(m_caps.fHasDlgVideoFormat); }
bool CVideoCap::CanDlgVideoSource() const { return HasCapability(m_caps.fHasDlgVideoSource); }
bool CVideoCap::CanDlgVideoOut() const { return HasCapability(m_caps.fHasDlgVideoDisplay); }

bool CVideoCap::DlgVideoFormat() {
  if (!m_bConnected) {
    Trace("E: DlgVideoFormat() !m_bConnected\n");
    return false;
  }
  if (!CanDlgVideoFormat()) {
    Trace("E: DlgVideoFormat() no such capability\n");
    return false;
  }
  if (WindowAlive()) m_driver->DlgVideoFormat(m_hWndC);
  ResizeCapWindow();  // the image size may have changed
  return true;
}

bool CVideoCap::DlgVideoSource() {
  if (!m_bConnected) {
    Trace("E: DlgVideoSource() !m_bConnect\n");
    return false;
  }
  if (!CanDlgVideoSource()) {
    Trace("E: DlgVideoSource() no such capability\n");
    return false;
  }
  if (WindowAlive()) m_driver->DlgVideoSource(m_hWndC);
  return true;
}

bool CVideoCap::DlgVideoOut() {
  if (!m_bConnected) {
    Trace("E: DlgVideoOut() !m_bConnected\n");
    return false;
  }
  if (!CanDlgVideoOut()) {
    Trace("E: DlgVideoOut() no such capability\n");
    return false;
  }
  if (WindowAlive()) m_driver->DlgVideoDisplay(m_hWndC);
  return true;
}

bool CVideoCap::DlgVideoCompression() {
  if (!m_bConnected) {
    Trace("E: DlgVideoCompression() !m_bConnected\n");
    return false;
  }
  if (WindowAlive()) m_driver->DlgVideoCompression(m_hWndC);
  return true;
}

std::string CVideoCap::GetStatusReport() const {
  // In code page 932 every label is 23 bytes, so the values line up in a fixed-pitch font.
  std::string report;
  report += "キャプチャデバイスID = " + std::to_string(m_iCapDriverId) + "\n";
  report += std::string("接続                 = ") + (m_bConnected ? "接続中" : "未接続") + "\n";
  report += std::string("CapDriverCaps        = ") + (m_bCapsValid ? "有効" : "無効") + "\n";
  report += std::string("キャプチャ中         = ") + (m_bCapturing ? "はい" : "いいえ") + "\n";
  report += std::string("オーバーレイ         = ") + (m_bOverlay ? "ON" : "OFF") + "\n";
  report += std::string("プレビュー           = ") + (m_bPreview ? "ON" : "OFF");
  return report;
}

}  // namespace tovalen
