// Where the byte streams' own reports go: those with no caller to return
// them to (a gzip member cut short, a failure met in a destructor).
#pragma once

#include <string>

namespace Pellar {

// One line each on qverr(), unless the calling thread has set a receiver of
// its own (the error handler's capture does, so that they travel with its
// messages). Null restores qverr() for the thread.
using QvReportFunction = void (*)(const char* text);
void QvSetThreadReport(QvReportFunction receiver);
void QvReport(const std::string& text);

}  // namespace Pellar
