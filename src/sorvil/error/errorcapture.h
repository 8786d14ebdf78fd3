// Collecting what the error handler reports on one thread.
#pragma once

#include "sorvil/error/errorhandler.h"

namespace Sorvil {

// While it lives, the messages raised on the constructing thread go to `impl`
// instead of the installed implementation (whose level still decides which
// ones pass), and so do the byte streams' own reports on that thread. Other
// threads, and C++ users with a handler of their own, see nothing of it: a
// caller such as the Python binding collects what one operation reports and
// hands it on. Nests; destroy on the constructing thread, innermost first.
class QvErrorCapture {
 public:
  explicit QvErrorCapture(QvErrorHandlerImplBase& impl);
  QvErrorCapture(const QvErrorCapture&) = delete;
  QvErrorCapture& operator=(const QvErrorCapture&) = delete;
  ~QvErrorCapture();

 private:
  QvErrorHandlerImplBase* previous_;
};

}  // namespace Sorvil
