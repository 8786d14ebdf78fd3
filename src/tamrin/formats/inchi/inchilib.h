// What the InChI reader and writer share about the library.
#pragma once

#include <mutex>

namespace Tamrin {

// Held around every call into the library, which keeps global state.
std::mutex& QvInChILibraryMutex();

// The library's messages end with what it could not do; they are passed on
// as one line with the molecule they concern.
void QvReportInChIMessage(const char* what, const char* title, const char* message);

}  // namespace Tamrin
