#include "video_cap_test_access.h"

namespace tovalen::testing {

void VideoCapTest::Reinstall() {
  auto mock = std::make_unique<::testing::NiceMock<MockCaptureDriver>>();
  auto fake = std::make_unique<FakeCaptureUserInterface>();
  driver = mock.get();
  ui = fake.get();
  driver->BehaveAsWorkingDevice();
  CVideoCapTestAccess::Destroy();
  CVideoCap::Install({std::move(mock), std::move(fake)});
  cap = &CVideoCap::GetInstance();
}

void VideoCapTest::ConnectDevice() {
  SCaptureSettings settings = cap->GetCaptureSettings();
  settings.iCapDriverId = 0;
  cap->SetCaptureSettings(settings);
  ASSERT_TRUE(cap->CreateCaptureWindow({}));
  ASSERT_TRUE(cap->Connect());
}

}  // namespace tovalen::testing
