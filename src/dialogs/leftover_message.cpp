#include "dialogs/leftover_message.h"

#include <algorithm>

#include "dialogs/message_box.h"

namespace tovalen {
namespace {

std::string Line(const LeftoverReport& report) {
  switch (report.result) {
    case LeftoverReport::Result::kRecovered:
      return "復旧しました: " + report.leftover + " → " + report.recovered;
    case LeftoverReport::Result::kNoFrame:
      return "読める映像がないため残しました: " + report.leftover;
    case LeftoverReport::Result::kInUse:
      return "録画中のため残しました: " + report.leftover;
    case LeftoverReport::Result::kPartial:
      return "一部を復旧し、元のファイルも残しました: " + report.leftover + " → " + report.recovered + " (" +
             report.detail + ")";
    case LeftoverReport::Result::kFailed:
      break;
  }
  return "復旧できませんでした: " + report.leftover + " (" + report.detail + ")";
}

}  // namespace

void ShowLeftoverReports(wxWindow* owner, const std::vector<LeftoverReport>& reports) {
  if (reports.empty()) return;
  std::string text = "中断された録画が残っていました。\n";
  for (const LeftoverReport& report : reports) text += "\n" + Line(report);
  const bool allRecovered = std::all_of(reports.begin(), reports.end(), [](const LeftoverReport& report) {
    return report.result == LeftoverReport::Result::kRecovered;
  });
  ShowMessageBox({owner, text, "予約録画状況", allRecovered ? MessageIcon::kNone : MessageIcon::kExclamation,
                  MessageButtons::kOk});
}

}  // namespace tovalen
