// What the InChI reader and writer share about the library.
#pragma once

#include <mutex>

namespace Tamrin {

// Held around every call into the library, which keeps global state.
std::mutex& QvInChILibraryMutex();

// Passes a message of the library on as one warning, "<what> for molecule
// "<title>": <message>", without the blanks and line ends around it.
void QvReportInChIMessage(const char* what, const char* title, const char* message);

}  // namespace Tamrin
