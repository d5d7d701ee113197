// Diagnostic output, the exit points of the process, message boxes.
#pragma once

#include <string>

namespace platform {

// Diagnostic lines (the debugger output on Windows).
class DiagnosticLog {
 public:
  virtual ~DiagnosticLog() = default;
  // One line, already escaped and bounded by Debug().
  virtual void Write(const std::string& line) = 0;
};

// Ending the process.
class ProcessExit {
 public:
  virtual ~ProcessExit() = default;
  // Ends at once, as ExitProcess does: no exit handlers, no destructors.
  [[noreturn]] virtual void Immediate(int code) = 0;
  // Ends through the C runtime's exit (exit handlers run).
  [[noreturn]] virtual void Normal(int code) = 0;
};

enum class MessageIcon { Error, Exclamation, Question, Information };

// Modal message boxes, shown by whichever front end runs. Until a front end
// sets its own, messages go to standard error and questions take the answer
// that lets the work go on.
class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // A message with a single OK button.
  virtual void ShowMessage(const std::string& text, const std::string& caption,
                           MessageIcon icon) = 0;
  // A question with Yes and No; true for Yes.
  virtual bool AskYesNo(const std::string& text, const std::string& caption) = 0;
};

}  // namespace platform
