#include "platform/error_report.hpp"

namespace parone {

std::string ErrorReportText(const ErrorInfo& error, std::string_view closingText) {
  std::string text = "Error " + std::to_string(error.number) + " (" + error.description;
  text += closingText;
  return text;
}

void ShowErrorReport(MessageBoxes& boxes, const ErrorInfo& error,
                     std::string_view closingText) {
  boxes.Show(ErrorReportText(error, closingText), kStyleOkOnly);
}

}  // namespace parone
