#include "tamrin/streams/molstream.h"

#include <cstring>
#include <new>

#include "pellar/qvgzstream.h"
#include "pellar/qvioerror.h"
#include "pellar/qvreport.h"
#include "pellar/qvsstream.h"
#include "pellar/qvstream.h"
#include "sorvil/error/errorhandler.h"
#include "tamrin/model/molbase.h"
#include "tamrin/streams/conftest.h"
#include "tamrin/streams/formatinfo.h"

namespace Tamrin {

using Sorvil::QvErrorHandler;

namespace {

bool IsStandardName(const char* name) { return !name || std::strcmp(name, "-") == 0; }

// Null names stand for the standard streams; never hand null to "%s".
const char* Shown(const char* name) { return name ? name : ""; }

// The format a standard-stream name asks for: SMILES, or the bare extension's.
QvFormat StandardFormat(const char* name) {
  return IsStandardName(name) ? QvFormat::SMI : QvFormatFromExtension(QvExtensionOf(name));
}

}  // namespace

QvMolStreamBinaryState::~QvMolStreamBinaryState() = default;

// ---- base ----

qvmolstreambase::~qvmolstreambase() = default;

void qvmolstreambase::close() { Forget(); }

unsigned qvmolstreambase::GetFlavor(QvFormat format) const {
  if (QvFormatInRange(format)) return flavors_[QvFormatCode(format)];
  QvErrorHandler::Warning("format (%d) is larger than QvFormat::MAXFORMAT", static_cast<int>(QvFormatCode(format)));
  return 0;
}

QvMolStreamCache& qvmolstreambase::Cache() {
  if (!cache_) cache_ = std::make_unique<QvMolStreamCache>();
  return *cache_;
}

QvMolStreamBinaryState* qvmolstreambase::BinaryState() {
  const std::thread::id me = std::this_thread::get_id();
  if (binary_ && binary_thread_ == me) return binary_.get();
  binary_.reset();
  if (const QvBinaryStateFactory make = QvGetFormatInfo(format_).binary_state) binary_ = make();
  binary_thread_ = me;
  return binary_.get();
}

void qvmolstreambase::Forget() {
  name_.clear();
  cache_.reset();
}

// ---- input ----

QvConfTestBase::~QvConfTestBase() = default;

qvmolistream::qvmolistream()
    : file_(&Pellar::qvin()), base_(file_), current_(file_), conf_test_(std::make_unique<QvDefaultConfTest>()) {
  open();
  SetFormat(QvFormat::SMI);
  for (unsigned code = 0; code < kQvNumFormats; ++code) {
    const auto format = static_cast<QvFormat>(code);
    if (QvFormatReadable(format)) StoreFlavor(format, QvDefaultInputFlavor(format));
  }
}

qvmolistream::~qvmolistream() = default;

void qvmolistream::DropLayer() {
  gz_.reset();
  base_ = current_ = file_;
}

bool qvmolistream::Layer(bool on, Pellar::qvistream& base) {
  gz_.reset();
  base_ = current_ = &base;
  if (!on) return true;
  gz_.reset(new (std::nothrow) Pellar::qvigzstream(base));
  if (gz_) current_ = gz_.get();
  return gz_ != nullptr;
}

void qvmolistream::UseStandardInput() {
  owned_file_.reset();
  file_ = &Pellar::qvin();
}

bool qvmolistream::open(const char* name) {
  Forget();
  more_follows_ = false;
  queue_.clear();
  DropLayer();
  if (IsStandardName(name) || QvIsBareExtension(name)) {
    UseStandardInput();
    SetFormat(StandardFormat(name));
  } else {
    if (!owned_file_) owned_file_ = std::make_unique<Pellar::qvifstream>();
    file_ = owned_file_.get();
    SetFormat(QvFormatFromExtension(QvExtensionOf(name)));
    if (!owned_file_->open(name)) {
      DropLayer();
      QvErrorHandler::Warning("Unable to open \"%s\" for reading molecules.", name);
      return false;
    }
  }
  // Nothing is read yet: an empty file opens and yields no molecules.
  gzip_ = QvNameIsGzip(name);
  if (Layer(gzip_, *file_)) return true;
  QvErrorHandler::Warning("Unable to open %s as gzipped stream.", Shown(name));
  return false;
}

bool qvmolistream::openstream(Pellar::qvistream& in) {
  Forget();
  more_follows_ = false;
  queue_.clear();
  if (Layer(gzip_, in)) return true;
  QvErrorHandler::Warning("Unable to open qvmolistream string as gzipped stream.");
  return false;
}

bool qvmolistream::openstring(const void* data, std::size_t length) {
  Forget();
  more_follows_ = false;
  queue_.clear();
  if (!string_) string_ = std::make_unique<Pellar::qvisstream>();
  const bool loaded = (data || length == 0) && string_->load(data ? data : "", length);
  if (!loaded) {
    // Leave the empty string current, so that nothing older is read instead.
    string_->load("", 0);
    Layer(false, *string_);
    if (length > 0) QvErrorHandler::Warning("Unable to open qvmolistream string from buffer");
    return false;
  }
  if (Layer(gzip_, *string_)) return true;
  QvErrorHandler::Warning("Unable to open qvmolistream string as gzipped stream.");
  return false;
}

bool qvmolistream::SetFormat(QvFormat format) {
  if (!QvFormatReadable(format)) {
    QvErrorHandler::Warning("Unable to set unknown read format (%s) in input stream, using existing format (%s)",
                            QvFormatDescription(format), QvFormatDescription(format_));
    return false;
  }
  if (format != format_ && QvGetFormatInfo(format).binary_state) ResetBinaryState();
  format_ = format;
  return true;
}

bool qvmolistream::SetFlavor(QvFormat format, unsigned flavor) {
  if (!QvFormatReadable(format)) {
    QvErrorHandler::Warning("Unknown file format (%d) in set iflavor.", static_cast<int>(QvFormatCode(format)));
    return false;
  }
  if (!QvInputFlavorValid(format, flavor)) {
    QvErrorHandler::Warning("Unknown flavor (%d) for format (%d) in set iflavor.", static_cast<int>(flavor),
                            static_cast<int>(QvFormatCode(format)));
    return false;
  }
  StoreFlavor(format, flavor);
  return true;
}

void qvmolistream::close() {
  qvmolstreambase::close();
  queue_.clear();
  gz_.reset();
  // Standard input stays open for the process: swap in a closed file stream.
  if (!owned_file_) owned_file_ = std::make_unique<Pellar::qvifstream>();
  owned_file_->close();
  file_ = owned_file_.get();
  if (string_) string_->close();
  base_ = current_ = file_;
}

bool qvmolistream::SetGzip(bool on) {
  if (on == gzip_) return true;
  gzip_ = on;
  return Layer(on, *base_);
}

bool qvmolistream::at_end() const {
  return current_->at_end() && queue_.empty() && !HasPushedLine();
}

// A pushed-back line is content the byte stream no longer shows.
void qvmolistream::MarkRecordStart(bool binary) {
  blank_to_ = HasPushedLine() ? -1 : current_->blankthrough(binary);
}

bool qvmolistream::ReadPastRecordStart() { return current_->tell() > blank_to_; }

bool qvmolistream::GetLine(std::string_view& line) {
  if (!HasPushedLine()) return current_->getline(line);
  QvMolStreamCache& cache = Cache();
  cache.served_line = std::move(*cache.pushed_line);
  cache.pushed_line.reset();
  line = cache.served_line;
  return true;
}

bool qvmolistream::GetLine(std::string& line) {
  std::string_view view;
  const bool got = GetLine(view);
  line.assign(view);
  return got;
}

int qvmolistream::PeekLine() {
  if (!HasPushedLine()) return current_->peekline();
  const std::string& pushed = *Cache().pushed_line;
  return pushed.empty() ? '\n' : static_cast<unsigned char>(pushed[0]);
}

void qvmolistream::Enqueue(std::unique_ptr<QvMolBase> mol, std::int64_t position) {
  if (mol) queue_.push_back({std::move(mol), position});
}

std::unique_ptr<QvMolBase> qvmolistream::Dequeue(std::int64_t* position) {
  if (queue_.empty()) return nullptr;
  Queued oldest = std::move(queue_.front());
  queue_.pop_front();
  if (position) *position = oldest.position;
  return std::move(oldest.mol);
}

void qvmolistream::SetConfTest(std::unique_ptr<QvConfTestBase> test) {
  conf_test_ = test ? std::move(test) : std::make_unique<QvDefaultConfTest>();
}

bool qvmolistream::CombinesConformers() const {
  return dynamic_cast<const QvDefaultConfTest*>(conf_test_.get()) == nullptr;
}

// ---- output ----

qvmolostream::qvmolostream()
    : file_(&Pellar::qvout()), string_(std::make_unique<Pellar::qvosstream>()), base_(file_), current_(file_) {
  SetFormat(QvFormat::SMI);
  for (unsigned code = 0; code < kQvNumFormats; ++code) {
    const auto format = static_cast<QvFormat>(code);
    if (QvFormatWritable(format)) StoreFlavor(format, QvDefaultOutputFlavor(format));
  }
}

qvmolostream::~qvmolostream() {
  try {
    Finish();
  } catch (const Pellar::QvIOError& e) {
    Pellar::QvReport(std::string("Caught QvIOError during qvmolostream destruction: ") + e.what());
    // The rest still has to be closed.
    try {
      Finish();
    } catch (const Pellar::QvIOError&) {
    }
  }
}

void qvmolostream::FinishLayer() {
  std::unique_ptr<Pellar::qvogzstream> gz = std::move(gz_);
  current_ = base_;
  if (gz) gz->close();
}

bool qvmolostream::Layer(bool on, Pellar::qvostream& base) {
  FinishLayer();
  base_ = current_ = &base;
  if (!on) return true;
  if (!base.failed()) gz_.reset(new (std::nothrow) Pellar::qvogzstream(base));
  if (!gz_) {
    QvErrorHandler::Warning("Failed to allocate gzstream");
    return false;
  }
  current_ = gz_.get();
  return true;
}

void qvmolostream::UseStandardOutput() {
  owned_file_.reset();
  file_ = &Pellar::qvout();
}

bool qvmolostream::open(const char* name) {
  Forget();
  FinishLayer();
  if (IsStandardName(name) || QvIsBareExtension(name)) {
    UseStandardOutput();
    SetFormat(StandardFormat(name));
  } else {
    if (!owned_file_) owned_file_ = std::make_unique<Pellar::qvofstream>();
    file_ = owned_file_.get();
    SetFormat(QvFormatFromExtension(QvExtensionOf(name)));
    if (!owned_file_->open(name)) {
      base_ = current_ = file_;
      QvErrorHandler::Warning("Unable to open \"%s\" for writing molecules.", name);
      return false;
    }
  }
  gzip_ = QvNameIsGzip(name);
  if (!Layer(gzip_, *file_)) {
    QvErrorHandler::Warning("Unable to open %s as gzipped stream.", Shown(name));
    return false;
  }
  // Standard output may have failed long before.
  if (current_->failed()) {
    QvErrorHandler::Warning("Unable to open \"%s\" for writing molecules.", Shown(name));
    return false;
  }
  return true;
}

bool qvmolostream::openstream(Pellar::qvostream& out) {
  Forget();
  return Layer(gzip_, out);
}

bool qvmolostream::openstring(bool gzip) {
  Forget();
  FinishLayer();
  string_->clear();
  gzip_ = gzip;
  if (Layer(gzip, *string_)) return true;
  QvErrorHandler::Warning("Unable to openstring with gzip");
  return false;
}

std::string qvmolostream::GetString() {
  if (base_ != string_.get())
    QvErrorHandler::Warning("Called qvmolostream::GetString without qvmolostream::openstring.");
  else
    FinishLayer();
  return string_->str();
}

bool qvmolostream::SetFormat(QvFormat format) {
  if (!QvFormatWritable(format)) {
    QvErrorHandler::Warning("Unable to set unknown write format (%s) in output stream, using existing format (%s)",
                            QvFormatDescription(format), QvFormatDescription(format_));
    return false;
  }
  if (format == format_) return true;
  if (QvGetFormatInfo(format).binary_state) ResetBinaryState();
  format_ = format;
  return true;
}

bool qvmolostream::SetFlavor(QvFormat format, unsigned flavor) {
  if (!QvFormatWritable(format)) {
    QvErrorHandler::Warning("Unknown file format (%s) in set oflavor.", QvFormatDescription(format));
    return false;
  }
  const QvFormatInfo& info = QvGetFormatInfo(format);
  if (const char* refusal = info.oflavor_refusal ? info.oflavor_refusal(flavor) : nullptr) {
    QvErrorHandler::Warning("%s", refusal);
    return false;
  }
  if (!QvOutputFlavorValid(format, flavor)) {
    QvErrorHandler::Warning("Unknown flavor (%x) for format(%s) in set oflavor .", flavor, QvFormatDescription(format));
    return false;
  }
  StoreFlavor(format, flavor);
  return true;
}

// Everything close does; may throw QvIOError from the gzip layer, after
// which calling it again finishes the rest.
void qvmolostream::Finish() {
  qvmolstreambase::close();
  FinishLayer();
  if (owned_file_) owned_file_->close();
  // Standard output is shared by every thread; only a stream writing to it
  // may flush it (the per-thread memory streams never do).
  if (base_ == &Pellar::qvout()) Pellar::qvout().flush();
  string_->close();
  base_ = current_ = file_;
}

void qvmolostream::close() { Finish(); }

int qvmolostream::GetFileError() const { return owned_file_ ? owned_file_->error() : 0; }

}  // namespace Tamrin
