#include <gmock/gmock.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/slider.h>

#include "capture/video_codec_names.h"
#include "dialogs/dlg_compression.h"
#include "dialogs/dlg_video_display.h"
#include "dialogs/dlg_video_format.h"
#include "dialogs/dlg_video_source.h"
#include "dialogs/wx_text.h"
#include "res/resource_ids.h"
#include "support/dialog_driver.h"

namespace tovalen::testing {
namespace {

using ::testing::ElementsAre;

std::vector<std::string> Items(wxChoice* choice) {
  std::vector<std::string> items;
  for (unsigned i = 0; i < choice->GetCount(); ++i) items.push_back(ToUtf8(choice->GetString(i)));
  return items;
}

const std::vector<VideoFormatOffer> kOffers = {
    {"yuyv422", {{640, 480}, {320, 240}}},
    {"mjpeg", {{1280, 720}}},
};

TEST(VideoFormatDialog, OpensOnTheChoiceAndOffersTheSizesOfThePixelFormat) {
  DeviceSettings settings;
  settings.pixelFormat = "yuyv422";
  settings.size = {320, 240};
  VideoFormatModel model(kOffers, settings);
  CDlgVideoFormat dialog(nullptr, model);
  EXPECT_THAT(Items(dialog.PixelFormatChoice()), ElementsAre("自動", "yuyv422", "mjpeg"));
  EXPECT_EQ(dialog.PixelFormatChoice()->GetSelection(), 1);
  EXPECT_THAT(Items(dialog.SizeChoice()), ElementsAre("640x480", "320x240"));
  EXPECT_EQ(dialog.SizeChoice()->GetSelection(), 1);

  Choose(dialog.PixelFormatChoice(), 2);
  EXPECT_EQ(model.PixelFormat(), "mjpeg");
  // 320x240 is not offered in mjpeg: back to the device's own size until one is chosen.
  EXPECT_THAT(Items(dialog.SizeChoice()), ElementsAre("デバイスの既定", "1280x720"));
  EXPECT_EQ(dialog.SizeChoice()->GetSelection(), 0);
  Choose(dialog.SizeChoice(), 1);
  EXPECT_EQ(model.Size(), (FrameSize{1280, 720}));
  EXPECT_THAT(Items(dialog.SizeChoice()), ElementsAre("1280x720"));
  EXPECT_EQ(dialog.SizeChoice()->GetSelection(), 0);
  Click(&dialog, res::IDOK);
  EXPECT_EQ(dialog.GetReturnCode(), res::IDOK);
}

TEST(VideoSourceDialog, TheInputAndEachPictureControlReachTheModel) {
  DeviceSettings settings;
  settings.controls["brightness"] = 40;
  VideoSourceModel model({"Camera 1", "Composite"}, {{"brightness", 0, 100, 1, 50}, {"contrast", 0, 10, 1, 5}},
                         settings);
  CDlgVideoSource dialog(nullptr, model);
  ASSERT_NE(dialog.InputChoice(), nullptr);
  EXPECT_THAT(Items(dialog.InputChoice()), ElementsAre("Camera 1", "Composite"));
  ASSERT_EQ(dialog.Sliders().size(), 2u);
  EXPECT_EQ(dialog.Sliders()[0]->GetValue(), 40);
  EXPECT_EQ(dialog.Sliders()[1]->GetValue(), 5);

  Choose(dialog.InputChoice(), 1);
  Slide(dialog.Sliders()[1], 8);
  EXPECT_EQ(model.Input(), 1);
  EXPECT_EQ(model.Controls()[1].value, 8);
}

TEST(VideoDisplayDialog, KeepingTheAspectIsOfferedOnlyForAScaledPicture) {
  DeviceSettings settings;
  VideoDisplayModel model(settings);
  CDlgVideoDisplay dialog(nullptr, model);
  EXPECT_TRUE(dialog.ScaleBox()->GetValue());
  EXPECT_TRUE(dialog.KeepAspectBox()->IsEnabled());
  Tick(dialog.KeepAspectBox(), false);
  Tick(dialog.ScaleBox(), false);
  EXPECT_FALSE(dialog.KeepAspectBox()->IsEnabled());
  EXPECT_EQ(model.Options(), (DisplayOptions{false, false}));
}

TEST(CompressionDialog, TheCodecAndQualityReachTheModelAndLosslessCodecsHaveNoQuality) {
  DeviceSettings settings;
  settings.quality = 70;
  CompressionModel model(settings, AllVideoCodecs());
  const auto& available = model.Available();
  const auto position = [&](VideoCodec codec) {
    return static_cast<int>(std::find(available.begin(), available.end(), codec) - available.begin());
  };
  ASSERT_LT(position(VideoCodec::kMjpeg), static_cast<int>(available.size()));
  ASSERT_LT(position(VideoCodec::kFfv1), static_cast<int>(available.size()));
  CDlgCompression dialog(nullptr, model);
  EXPECT_EQ(dialog.CodecChoice()->GetSelection(), position(VideoCodec::kMjpeg));
  EXPECT_EQ(ToUtf8(dialog.CodecChoice()->GetStringSelection()), "Motion JPEG");
  EXPECT_EQ(dialog.QualitySlider()->GetValue(), 70);
  Slide(dialog.QualitySlider(), 30);
  EXPECT_EQ(model.Quality(), 30);

  Choose(dialog.CodecChoice(), position(VideoCodec::kFfv1));
  EXPECT_EQ(model.Codec(), VideoCodec::kFfv1);
  EXPECT_FALSE(dialog.QualitySlider()->IsEnabled());
  Click(&dialog, res::IDCANCEL);
  EXPECT_EQ(dialog.GetReturnCode(), res::IDCANCEL);
}

}  // namespace
}  // namespace tovalen::testing
