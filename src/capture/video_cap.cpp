#include "capture/video_cap.h"

#include <new>
#include <stdexcept>
#include <utility>

#include "platform/trace.h"

namespace tovalen {
namespace {

// Holds a value that is never destroyed. The controller lives until the process ends: nothing
// of it runs at exit, when the windows and the trace channel it would use may already be gone.
template <typename T>
class NoDestructor {
 public:
  NoDestructor() { ::new (static_cast<void*>(m_storage)) T(); }
  NoDestructor(const NoDestructor&) = delete;
  NoDestructor& operator=(const NoDestructor&) = delete;
  T& Get() { return *std::launder(reinterpret_cast<T*>(m_storage)); }

 private:
  alignas(T) unsigned char m_storage[sizeof(T)];
};

}  // namespace

std::unique_ptr<CVideoCap>& CVideoCap::Instance() {
  static NoDestructor<std::unique_ptr<CVideoCap>> instance;
  return instance.Get();
}

CaptureServices& CVideoCap::PendingServices() {
  static NoDestructor<CaptureServices> services;
  return services.Get();
}

void CVideoCap::Install(CaptureServices services) {
  if (Instance()) throw std::logic_error("The capture controller exists already; its services cannot change.");
  if (!services.driver || !services.ui)
    throw std::logic_error("The capture controller needs a driver and a user interface.");
  PendingServices() = std::move(services);
}

CVideoCap& CVideoCap::GetInstance() {
  auto& instance = Instance();
  if (!instance) instance = MakeFromPendingServices();
  return *instance;
}

std::unique_ptr<CVideoCap> CVideoCap::MakeFromPendingServices() {
  CaptureServices& services = PendingServices();
  if (!services.driver || !services.ui) {
    throw std::logic_error("CVideoCap::Install must be called before the capture controller is used.");
  }
  return std::unique_ptr<CVideoCap>(new CVideoCap(std::move(services)));
}

CVideoCap::CVideoCap(CaptureServices services) : m_driver(std::move(services.driver)), m_ui(std::move(services.ui)) {
  ResetCaptureClock();
  Trace("D: CVideoCap ctor\n");
}

CVideoCap::~CVideoCap() {
  Trace("D: CVideoCap dtor start \n");
  StopCapture();
  Disconnect();
  DestroyCaptureWindow();
  Trace("D: CVideoCap dtor end\n");
}

bool CVideoCap::WindowAlive() const { return m_hWndC && m_driver->IsWindow(m_hWndC); }

void CVideoCap::ShowMessage(const std::string& text) const { m_ui->ShowMessage(text); }

bool CVideoCap::CreateCaptureWindow(ParentWindowHandle parent) {
  Trace("D: Entering CVideoCap::CreateCaptureWindow ::capCreateCaptureWindow()\n");
  if (m_hWndC) return true;  // never a second window

  SCaptureWindowPlacement placement;
  placement.title = "Capture Window Name";
  m_hWndC = m_driver->CreateCaptureWindow(placement, parent);
  if (!m_hWndC) {
    Trace("E: CVideoCap::CreateCaptureWindow() ::capCreateCaptureWindow() failed\n");
    return false;
  }
  Trace("D: CVideoCap::CreateCaptureWindow() capCreateCaptureWindow() success\n");
  return true;
}

bool CVideoCap::DestroyCaptureWindow() {
  Trace("D: Entering CVideoCap::DestroyCaptureWindow()\n");
  if (!m_hWndC) return true;
  if (m_bConnected) Disconnect();
  if (!m_driver->DestroyWindow(m_hWndC)) {
    Trace("E: CVideoCap::DestroyCaptureWindow() ::DestroyWindow() failed\n");
    return false;
  }
  Trace("D: CVideoCap::DestroyCaptureWindow() ::DestroyWindow() success\n");
  m_hWndC = {};
  return true;
}

bool CVideoCap::ResizeCapWindow() {
  const auto status = WindowAlive() ? m_driver->GetStatus(m_hWndC) : std::nullopt;
  if (!status) {
    Trace("E: CVideoCap::ResizeCapWindow() capGetStatus() failed\n");
    return false;
  }
  m_driver->ResizeWindow(m_hWndC, static_cast<int>(status->uiImageWidth), static_cast<int>(status->uiImageHeight));
  return true;
}

bool CVideoCap::Connect() {
  Trace("D: entering CVideoCap::Connect()\n");
  if (m_bConnected) return true;
  if (!m_hWndC) {
    Trace("E: CVideoCap::Connect() m_hWndC == 0\n");
    return false;
  }
  if (m_iCapDriverId < 0) {
    Trace("E: CVideoCap::Connect() m_iCapDriverId < 0\n");
    return false;
  }
  if (!WindowAlive() || !m_driver->DriverConnect(m_hWndC, m_iCapDriverId)) {
    Trace("E: capDriverConnect rv != TRUE\n");
    return false;
  }
  Trace("D: CVideoCap::Connect() capDriverConnect()\n");
  m_bConnected = true;
  ResizeCapWindow();

  // Unknown capabilities do not undo the connection: every feature is then assumed present.
  const auto caps = WindowAlive() ? m_driver->DriverGetCaps(m_hWndC) : std::nullopt;
  if (caps) {
    m_caps = *caps;
    Trace("D: CVideoCap::Connect() capDriverGetCaps() success\n");
  } else {
    Trace("D: CVideoCap::Connect() capDriverGetCaps() failed\n");
  }
  m_bCapsValid = caps.has_value();
  return true;
}

bool CVideoCap::Disconnect() {
  Trace("D: entering CVideoCap::Disconnect()\n");
  if (!m_hWndC) {
    Trace("E: CVideoCap::Disconnect() NULL == m_hWndC\n");
    return false;
  }
  if (!m_bConnected) return true;
  if (!WindowAlive() || !m_driver->DriverDisconnect(m_hWndC)) {
    Trace("E: capDriverDisconnect rv != TRUE\n");
    return false;
  }
  Trace("D: CVideoCap::Disconnect() capDriverDisconnect()\n");
  m_bCapsValid = false;
  m_bCapturing = false;
  m_bConnected = false;
  m_bOverlay = false;
  m_bPreview = false;
  return true;
}

bool CVideoCap::Standby() {
  Trace("D: entering CVideoCap::Standby()\n");
  if (m_videoOption.PersistentConnect) return true;
  if (!Disconnect()) Trace("D: CVideoCap::Standby() Disconnect() failed\n");
  if (!DestroyCaptureWindow()) {
    Trace("D: CVideoCap::Standby() DestroyCaptureWindow() failed\n");
    return false;
  }
  return true;
}

bool CVideoCap::WakeUp(ParentWindowHandle parent) {
  Trace("D: entering CVideoCap::WakeUp()\n");
  // A standing connection made at device selection is used as it is.
  if (m_videoOption.PersistentConnect) return true;
  if (!CreateCaptureWindow(parent)) {
    Trace("E: CVideoCap::WakeUp() CreateCaptureWindow() failed\n");
    return false;
  }
  if (!Connect()) {
    Trace("E: DVideoCap::WakeUp() Connect() failed\n");
    return false;
  }
  if (!SetAudioFormat()) {
    Trace("E: CVideoCap::WakeUp() SetAudioProperty() failed\n");
    return false;
  }
  if (!SetVideoOption()) {
    Trace("E: CVideoCap::WakeUp() SetVideoOption() failed\n");
    return false;
  }
  Trace("D: CVideoCap::WakeUp() success\n");
  return true;
}

bool CVideoCap::IsReadyToRecord() const {
  // With a standing connection required, WakeUp will not make one.
  if (!m_bConnected && m_videoOption.PersistentConnect) return false;
  return m_iCapDriverId >= 0;
}

}  // namespace tovalen
