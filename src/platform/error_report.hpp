#pragma once
// The error report every procedure with a catch-all shows: "Error ", the
// number, " (", the description and the procedure's closing text, e.g.
// ") in procedure ProcUpload of Form Form1". OK only, application title.

#include <string>
#include <string_view>

#include "platform/message_box.hpp"

namespace parone {

struct ErrorInfo {
  long number = 0;
  std::string description;
};

// Numbers and descriptions for the run-time failures the tool reports itself.
namespace errors {
inline ErrorInfo NoVersionBlock() { return {13, "Type mismatch"}; }
inline ErrorInfo InvalidArgument() { return {5, "Invalid procedure call or argument"}; }
inline ErrorInfo Overflow() { return {6, "Overflow"}; }
inline ErrorInfo OutOfMemory() { return {7, "Out of memory"}; }
inline ErrorInfo FileNotFound() { return {53, "File not found"}; }
inline ErrorInfo PathNotFound() { return {76, "Path not found"}; }
inline ErrorInfo PermissionDenied() { return {70, "Permission denied"}; }
inline ErrorInfo DeviceIo() { return {57, "Device I/O error"}; }
}  // namespace errors

std::string ErrorReportText(const ErrorInfo& error, std::string_view closingText);

void ShowErrorReport(MessageBoxes& boxes, const ErrorInfo& error,
                     std::string_view closingText);

}  // namespace parone
