// The toolkit's process-wide error handler.
//
// Toolkit layers do not throw for bad data; they report through this handler
// and return false or a status. A message carries a level; messages below the
// handler's current level are dropped, the rest go to the installed
// implementation, which by default writes to the toolkit's standard-error
// stream with a prefix chosen by the level (see QvErrorLevelPrefix).
#pragma once

#include <atomic>
#include <cstdarg>
#include <mutex>
#include <string>

namespace Pellar {
class qvostream;
}

namespace Sorvil {

// Message levels. Fatal ends the process with status 1, Usage with status 0;
// Error is printed as Fatal when errors are fatal, else as Warning.
enum QvErrorLevel : unsigned {
  QvDebug = 1,
  QvVerbose = 2,
  QvInfo = 3,
  QvWarning = 4,
  QvError = 5,
  QvFatal = 6,
  QvUsage = 7,
  QvSilence = 8,
};

// Formatted messages are cut to this many bytes, terminator included.
inline constexpr size_t kQvErrorBufferSize = 8192;

// The level a message is printed as: Error becomes Fatal or Warning.
unsigned QvEffectiveErrorLevel(unsigned level, bool errors_are_fatal);

// The prefix written before a message printed at `level` (an effective level).
std::string QvErrorLevelPrefix(unsigned level);

// Base of every handler implementation. It keeps the threshold level and the
// errors-are-fatal setting; Msg receives only messages at or above the level.
class QvErrorHandlerImplBase {
 public:
  QvErrorHandlerImplBase() = default;
  QvErrorHandlerImplBase(const QvErrorHandlerImplBase&) = delete;
  QvErrorHandlerImplBase& operator=(const QvErrorHandlerImplBase&) = delete;
  virtual ~QvErrorHandlerImplBase();

  virtual void Msg(unsigned level, const char* text) = 0;

  unsigned GetLevel() const { return level_.load(std::memory_order_relaxed); }
  void SetLevel(unsigned level) { level_.store(level, std::memory_order_relaxed); }
  bool GetErrorsAreFatal() const { return errors_are_fatal_.load(std::memory_order_relaxed); }
  void SetErrorsAreFatal(bool fatal) { errors_are_fatal_.store(fatal, std::memory_order_relaxed); }

 private:
  // Read by every message on every thread, set by any thread at any time;
  // nothing else is published through them, hence relaxed.
  std::atomic<unsigned> level_ = QvInfo;
  std::atomic<bool> errors_are_fatal_ = false;
};

// Writes "<prefix><text>\n" to an output stream, one message at a time, and
// ends the process after Fatal and Usage messages.
class QvErrorHandlerStreamImpl : public QvErrorHandlerImplBase {
 public:
  explicit QvErrorHandlerStreamImpl(Pellar::qvostream& out) : out_(out) {}
  void Msg(unsigned level, const char* text) override;

 private:
  Pellar::qvostream& out_;
  std::mutex mutex_;
};

// Static facade over the installed implementation.
class QvErrorHandler {
 public:
  static void Msg(unsigned level, const char* text);
  static void Message(unsigned level, const char* format, ...)
      __attribute__((format(printf, 2, 3)));
  static void VMessage(unsigned level, const char* format, va_list args);
  static void Debug(const char* format, ...) __attribute__((format(printf, 1, 2)));
  static void Verbose(const char* format, ...) __attribute__((format(printf, 1, 2)));
  static void Info(const char* format, ...) __attribute__((format(printf, 1, 2)));
  static void Warning(const char* format, ...) __attribute__((format(printf, 1, 2)));
  static void Error(const char* format, ...) __attribute__((format(printf, 1, 2)));
  static void Fatal(const char* format, ...) __attribute__((format(printf, 1, 2)));

  static unsigned GetLevel();
  static void SetLevel(unsigned level);

  // The implementation in use; never null. The default one writes to the
  // toolkit's standard-error stream and lives for the whole process.
  static QvErrorHandlerImplBase& GetImpl();
  // Installs `impl` (not owned; null restores the default) and returns the
  // previous implementation so that callers can put it back.
  static QvErrorHandlerImplBase* SetImpl(QvErrorHandlerImplBase* impl);
};

}  // namespace Sorvil
