// What the core asks of a front end (the Qt program or the terminal one):
// message boxes, questions and the first page of the interactive path.
#pragma once

#include <string>

class CDownloaderApp;

enum class MessageIcon { Error, Exclamation, Question, Information };

class FrontEnd {
 public:
  virtual ~FrontEnd() = default;
  // A modal message with a single OK button.
  virtual void ShowMessage(const std::string& text, const std::string& caption,
                           MessageIcon icon) = 0;
  // A modal question with Yes and No; true for Yes.
  virtual bool AskYesNo(const std::string& text, const std::string& caption) = 0;
  // Runs the version-query page, the first page of an interactive run, until
  // the chain of pages behind it has ended.
  virtual void RunVersionQueryPage(CDownloaderApp& app) = 0;
};

// The front end in use. Until one is set, messages go to standard error and
// questions take the answer that lets the work go on.
FrontEnd& TheFrontEnd();
void SetFrontEnd(FrontEnd* frontEnd);
