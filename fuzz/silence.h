// Fuzz inputs provoke toolkit warnings by the million; they are not what a
// target checks, so the targets install a handler that drops them.
#pragma once

#include "sorvil/error/errorhandler.h"

inline void SilenceToolkitMessages() {
  struct Silent : Sorvil::QvErrorHandlerImplBase {
    void Msg(unsigned, const char*) override {}
  };
  static Silent silent;
  static Sorvil::QvErrorHandlerImplBase* const previous = Sorvil::QvErrorHandler::SetImpl(&silent);
  (void)previous;
}
