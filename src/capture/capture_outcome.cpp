#include "capture/capture_outcome.h"

namespace tovalen {

const char* DescribeReasonForUser(StopReason reason) {
  switch (reason) {
    case StopReason::kStopRequested:
      return "指示どおり停止しました";
    case StopReason::kUserAbort:
      return "ユーザーが中止しました";
    case StopReason::kTerminationSignal:
      return "終了の合図で中止しました";
    case StopReason::kTimeLimit:
      return "時間の上限に達しました";
    case StopReason::kDiskFull:
      return "ディスクがいっぱいです";
    case StopReason::kFileSizeLimit:
      return "ファイルの大きさの上限に達しました";
    case StopReason::kWriteFailed:
      return "録画ファイルに書き込めませんでした";
    case StopReason::kDeviceOpenFailed:
      return "キャプチャデバイスを開けませんでした";
    case StopReason::kDeviceBusy:
      return "キャプチャデバイスは使用中です";
    case StopReason::kDeviceLost:
      return "キャプチャデバイスが動かなくなりました";
    case StopReason::kDeviceStalled:
      return "キャプチャデバイスから映像が届かなくなりました";
    case StopReason::kAudioFailed:
      return "音声の入力に失敗しました";
    case StopReason::kEncoderFailed:
      return "映像を圧縮できませんでした";
    case StopReason::kNothingRecorded:
      return "何も録画されませんでした";
  }
  return "原因不明";
}

std::string DescribeFailure(const CaptureOutcome& outcome) {
  std::string text;
  if (!outcome.Failed() && !outcome.saveError.empty()) {
    text = "録画を保存できませんでした: " + outcome.saveError;  // the capture itself went well
  } else {
    text = "録画に失敗しました: " + std::string(DescribeReasonForUser(outcome.reason));
    if (!outcome.detail.empty()) text += " (" + outcome.detail + ")";
  }
  if (!outcome.recordingPath.empty()) text += "。録画できた分は次のファイルに残してあります: " + outcome.recordingPath;
  return text;
}

}  // namespace tovalen
