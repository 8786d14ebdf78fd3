// Test helper: captures what the toolkit's error handler would print.
//
// While an instance lives it is the installed handler implementation; the
// previous one is restored on destruction. Messages are recorded with their
// effective level and the prefix the stream handler would write; Fatal and
// Usage messages are recorded instead of ending the process.
#pragma once

#include <string>
#include <vector>

#include "sorvil/error/errorhandler.h"

class CapturedMessages : public Sorvil::QvErrorHandlerImplBase {
 public:
  explicit CapturedMessages(unsigned level = Sorvil::QvDebug)
      : previous_(Sorvil::QvErrorHandler::SetImpl(this)) {
    SetLevel(level);
  }
  ~CapturedMessages() override { Sorvil::QvErrorHandler::SetImpl(previous_); }

  void Msg(unsigned level, const char* text) override {
    const unsigned printed = Sorvil::QvEffectiveErrorLevel(level, GetErrorsAreFatal());
    if (printed == Sorvil::QvSilence) return;
    lines_.emplace_back(text);
    text_ += Sorvil::QvErrorLevelPrefix(printed) + text + "\n";
  }

  // Everything as the stream handler would have written it.
  const std::string& text() const { return text_; }
  // The messages alone, one entry each.
  const std::vector<std::string>& lines() const { return lines_; }
  void clear() {
    text_.clear();
    lines_.clear();
  }

 private:
  Sorvil::QvErrorHandlerImplBase* previous_;
  std::string text_;
  std::vector<std::string> lines_;
};
