#include "dialogs/leftover_message.h"

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

std::vector<std::string> LeftoverReportLines(const std::vector<LeftoverReport>& reports) {
  if (reports.empty()) return {};
  std::vector<std::string> lines{"中断された録画が残っていました。"};
  for (const LeftoverReport& report : reports) lines.push_back(Line(report));
  return lines;
}

}  // namespace tovalen
