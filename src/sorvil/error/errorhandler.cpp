#include "sorvil/error/errorhandler.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "pellar/qvreport.h"
#include "pellar/qvstream.h"
#include "sorvil/error/errorcapture.h"

namespace Sorvil {

unsigned QvEffectiveErrorLevel(unsigned level, bool errors_are_fatal) {
  if (level == QvError) return errors_are_fatal ? QvFatal : QvWarning;
  return level;
}

std::string QvErrorLevelPrefix(unsigned level) {
  switch (level) {
    case QvDebug: return "Debug: ";
    case QvVerbose:
    case QvInfo: return "";
    case QvWarning: return "Warning: ";
    case QvFatal: return "Fatal: ";
    case QvUsage: return "Usage: ";
    default: return "Unknown Error Level(" + std::to_string(level) + "): ";
  }
}

QvErrorHandlerImplBase::~QvErrorHandlerImplBase() = default;

void QvErrorHandlerStreamImpl::Msg(unsigned level, const char* text) {
  const unsigned printed = QvEffectiveErrorLevel(level, GetErrorsAreFatal());
  if (printed == QvSilence) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string prefix = QvErrorLevelPrefix(printed);
    out_.write(prefix.data(), prefix.size());
    out_.write(text, std::strlen(text));
    out_.put('\n');
    out_.flush();
  }
  // Exit outside the lock: handlers run at exit may report messages too.
  if (printed == QvFatal) std::exit(1);
  if (printed == QvUsage) std::exit(0);
}

namespace {

QvErrorHandlerImplBase& DefaultImpl() {
  // Never destroyed, so that messages from static destructors still print.
  static QvErrorHandlerStreamImpl* impl = new QvErrorHandlerStreamImpl(Pellar::qverr());
  return *impl;
}

std::atomic<QvErrorHandlerImplBase*> installed_impl{nullptr};

thread_local QvErrorHandlerImplBase* captured_impl = nullptr;

// The installed implementation filters; a capture on this thread receives.
QvErrorHandlerImplBase& Receiver(QvErrorHandlerImplBase& installed) {
  return captured_impl ? *captured_impl : installed;
}

void FormatAndSend(unsigned level, const char* format, va_list args) {
  QvErrorHandlerImplBase& impl = QvErrorHandler::GetImpl();
  if (level < impl.GetLevel()) return;
  char buffer[kQvErrorBufferSize];
  std::vsnprintf(buffer, sizeof buffer, format, args);
  Receiver(impl).Msg(level, buffer);
}

// The byte streams' reports go to the capture of the thread that meets them;
// with none, where the streams send them by default.
bool ForwardStreamReport(const char* text) {
  if (!captured_impl) return false;
  captured_impl->Msg(QvWarning, text);
  return true;
}

// Installed when the library is loaded, before any stream can report.
[[maybe_unused]] const bool forwarding_stream_reports = (Pellar::QvSetProcessReport(ForwardStreamReport), true);

}  // namespace

QvErrorHandlerImplBase& QvErrorHandler::GetImpl() {
  QvErrorHandlerImplBase* impl = installed_impl.load(std::memory_order_acquire);
  return impl ? *impl : DefaultImpl();
}

QvErrorHandlerImplBase* QvErrorHandler::SetImpl(QvErrorHandlerImplBase* impl) {
  QvErrorHandlerImplBase* previous = installed_impl.exchange(impl, std::memory_order_acq_rel);
  return previous ? previous : &DefaultImpl();
}

unsigned QvErrorHandler::GetLevel() { return GetImpl().GetLevel(); }
void QvErrorHandler::SetLevel(unsigned level) { GetImpl().SetLevel(level); }

void QvErrorHandler::Msg(unsigned level, const char* text) {
  QvErrorHandlerImplBase& impl = GetImpl();
  if (level >= impl.GetLevel()) Receiver(impl).Msg(level, text);
}

QvErrorCapture::QvErrorCapture(QvErrorHandlerImplBase& impl) : previous_(captured_impl) { captured_impl = &impl; }

QvErrorCapture::~QvErrorCapture() { captured_impl = previous_; }

void QvErrorHandler::VMessage(unsigned level, const char* format, va_list args) {
  FormatAndSend(level, format, args);
}

void QvErrorHandler::Message(unsigned level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  FormatAndSend(level, format, args);
  va_end(args);
}

#define SORVIL_LEVEL_FUNCTION(name, level)        \
  void QvErrorHandler::name(const char* format, ...) { \
    va_list args;                                 \
    va_start(args, format);                       \
    FormatAndSend(level, format, args);           \
    va_end(args);                                 \
  }

SORVIL_LEVEL_FUNCTION(Debug, QvDebug)
SORVIL_LEVEL_FUNCTION(Verbose, QvVerbose)
SORVIL_LEVEL_FUNCTION(Info, QvInfo)
SORVIL_LEVEL_FUNCTION(Warning, QvWarning)
SORVIL_LEVEL_FUNCTION(Error, QvError)
SORVIL_LEVEL_FUNCTION(Fatal, QvFatal)

#undef SORVIL_LEVEL_FUNCTION

}  // namespace Sorvil
