#pragma once
// The one exception type of the byte-stream layer. Ordinary end of data and
// failed opens are not exceptional (they show as false results and flags);
// this is thrown only where an operation has no other way to say that data
// were lost, e.g. a gzip member that could not be completed on close.
#include <stdexcept>
#include <string>

namespace Pellar {

class QvIOError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace Pellar
