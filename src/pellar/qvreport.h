// Where the byte streams' own reports go: those with no caller to return
// them to (a gzip member cut short, a failure met in a destructor).
#pragma once

#include <string>

namespace Pellar {

// One line each on qverr(), unless a receiver takes it: first the calling
// thread's own, then the process's (the error handler's, which passes the
// text to a capture active on the calling thread, so that it travels with
// the capture's messages). A receiver returns whether it took the text;
// null sets none.
using QvReportFunction = bool (*)(const char* text);
void QvSetThreadReport(QvReportFunction receiver);
void QvSetProcessReport(QvReportFunction receiver);
void QvReport(const std::string& text);

}  // namespace Pellar
