#include "velk/handles.h"

#include <algorithm>

#include "sorvil/base/qvbase.h"
#include "sorvil/error/errorcapture.h"
#include "sorvil/error/errorhandler.h"
#include "sorvil/grid/scalargrid.h"
#include "tamrin/model/molbase.h"
#include "tamrin/model/molimpl.h"
#include "tamrin/streams/format.h"
#include "velk/builtin/tamrin_config.h"
#include "velk/builtin/tamrin_handler.h"
#include "velk/builtin/tamrin_range.h"
#include "velk/errors.h"
#include "velk/formatregistry.h"

namespace velk {

void MessageLog::Msg(unsigned level, const char* text) {
  const unsigned shown = Sorvil::QvEffectiveErrorLevel(level, GetErrorsAreFatal());
  if (shown == Sorvil::QvSilence) return;
  // Whoever takes the messages decides what they become, so a Fatal one
  // does not end the process here. A warning needs no prefix saying so.
  std::string message = shown == Sorvil::QvWarning ? std::string() : Sorvil::QvErrorLevelPrefix(shown);
  message += text;
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
  std::lock_guard<std::mutex> lock(mutex_);
  messages_.push_back(std::move(message));
  pending_.store(true, std::memory_order_release);
}

std::vector<std::string> MessageLog::take() {
  if (!pending_.load(std::memory_order_acquire)) return {};
  std::lock_guard<std::mutex> lock(mutex_);
  pending_.store(false, std::memory_order_relaxed);
  return std::exchange(messages_, {});
}

namespace {

std::string file_part(const std::string& path) { return "velk: '" + path + "': "; }

// "record 3", or "records 3 to 5" when one read passed several.
std::string records_part(std::uint64_t first, std::uint64_t last) {
  if (last <= first) return "record " + std::to_string(first) + ": ";
  return "records " + std::to_string(first) + " to " + std::to_string(last) + ": ";
}

// One report from all a call said: a parser's message may take several.
std::string joined_lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) (text.empty() ? text : text += '\n') += line;
  return text;
}

// Copy leaves out what perception established; a record kept for later
// should come back as it was read.
void copy_record(const QvMolBase& from, QvMolBase& to) {
  to.Clear();
  to.Copy(from);
  for (unsigned bit = 1; bit != 0; bit <<= 1) to.SetPerceived(bit, from.HasPerceived(bit));
}

void append_prefixed(std::vector<std::string>& to, const std::string& prefix, const std::vector<std::string>& said) {
  if (!said.empty()) to.push_back(prefix + joined_lines(said));
}

}  // namespace

std::string MessageLog::take_text() { return joined_lines(take()); }

void ReaderHandle::add_reports(const std::vector<std::string>& messages) {
  if (errors_ != ReadErrorsSkip) append_prefixed(reports_, file_part(path_), messages);
}

std::uint64_t ReaderHandle::passed() const { return std::max<std::uint64_t>(source_->records_passed(), records_); }

bool ReaderHandle::take_withheld(QvMolBase& mol) {
  if (!withheld_) return false;
  copy_record(*withheld_, mol);
  withheld_.reset();
  ++records_;
  return true;
}

template <class Read, class Keep>
bool ReaderHandle::reading(Read read, Keep keep) {
  const std::uint64_t before = passed();
  bool got = false;
  {
    Sorvil::QvErrorCapture capture(log_);
    try {
      got = read();
    } catch (...) {
      // What was said before the failure still belongs to the caller.
      const std::vector<std::string> said = log_.take();
      if (errors_ != ReadErrorsSkip)
        append_prefixed(reports_, file_part(path_) + records_part(before + 1, before + 1), said);
      throw;
    }
  }
  records_ += got;
  std::vector<std::string> said = log_.take();
  std::vector<std::string> faults = source_->take_faults();
  if (errors_ == ReadErrorsSkip || (said.empty() && faults.empty())) return got;
  if (faults.empty()) {
    append_prefixed(reports_, file_part(path_) + records_part(before + 1, passed()), said);
    return got;
  }
  // What the toolkit said is then most likely why the record was lost; its
  // lines stay lines (a SMILES parser points a caret at the fault).
  if (!said.empty()) faults.front() += '\n' + joined_lines(said);
  if (errors_ == ReadErrorsRaise) {
    if (got) {
      keep();
      --records_;
    }
    throw FormatError(faults.front());
  }
  reports_.insert(reports_.end(), std::make_move_iterator(faults.begin()), std::make_move_iterator(faults.end()));
  return got;
}

template <class Read>
bool ReaderHandle::reading(QvMolBase& mol, Read read) {
  return reading(read, [&] {
    // Faults come from the molecule streams, whose records have no grids;
    // of a multi-conformer record the kept copy has the active conformer.
    withheld_ = std::make_unique<Tamrin::QvGraphMolImpl>();
    copy_record(mol, *withheld_);
  });
}

bool ReaderHandle::next(QvMolBase& mol) {
  return take_withheld(mol) || reading(mol, [&] { return source_->next(mol); });
}

bool ReaderHandle::next_owned(std::unique_ptr<Tamrin::QvGraphMolImpl>& mol) {
  if (withheld_) {
    mol = std::move(withheld_);
    ++records_;
    return true;
  }
  return reading([&] { return source_->next_owned(mol); }, [&] { withheld_ = std::move(mol); });
}

long ReaderHandle::next_grids(QvMolBase& mol, const std::vector<QvScalarGrid*>& grids) {
  if (take_withheld(mol)) return 0;
  unsigned count = 0;
  return reading(mol, [&] { return source_->next(mol, grids, &count); }) ? static_cast<long>(count) : -1;
}

OptionalGrids ReaderHandle::next_grid_tuple(QvMolBase& mol) {
  std::vector<QvScalarGrid> grids;
  if (take_withheld(mol)) return grids;
  if (!reading(mol, [&] { return source_->next(mol, grids); })) return std::nullopt;
  return grids;
}

namespace {

std::optional<GenericValue> python_value(const Sorvil::QvBaseData& item) {
  if (const auto* v = Sorvil::QvDataValue<int>(item)) return *v;
  if (const auto* v = Sorvil::QvDataValue<double>(item)) return *v;
  if (const auto* v = Sorvil::QvDataValue<float>(item)) return static_cast<double>(*v);
  if (const auto* v = Sorvil::QvDataValue<bool>(item)) return *v;
  if (const auto* v = Sorvil::QvDataValue<std::string>(item)) return *v;
  return std::nullopt;
}

}  // namespace

GenericDataPairs ReaderHandle::generic_data_pairs(const QvMolBase& mol) const {
  GenericDataPairs pairs;
  for (const Sorvil::QvBaseData& item : mol.GetDataItems()) {
    const char* name = Sorvil::QvGetTagName(item.GetTag());
    if (!name || !*name) continue;
    if (auto value = python_value(item)) pairs.emplace_back(name, std::move(*value));
  }
  return pairs;
}

WriterHandle::~WriterHandle() {
  if (!sink_) return;
  try {
    sink_->close();
  } catch (const std::exception& e) {
    // Nobody is left to receive the error; say so instead of losing it.
    Sorvil::QvErrorHandler::Warning("velk: closing a writer failed: %s", e.what());
  } catch (...) {
    Sorvil::QvErrorHandler::Warning("velk: closing a writer failed");
  }
}

void WriterHandle::add_reports(const std::vector<std::string>& messages) {
  append_prefixed(reports_, file_part(path_), messages);
}

template <class Write>
auto WriterHandle::writing(Write write) {
  struct Collect {
    WriterHandle& handle;
    std::string where;
    ~Collect() { append_prefixed(handle.reports_, where, handle.log_.take()); }
  } collect{*this, file_part(path_) + records_part(records_ + 1, records_ + 1)};
  Sorvil::QvErrorCapture capture(log_);
  return write();
}

bool WriterHandle::append_mol(const QvMolBase& mol) {
  const bool written = sink_ && writing([&] { return sink_->append(mol); });
  records_ += written;
  return written;
}

bool WriterHandle::append_grids(const QvMolBase& mol, const std::vector<const QvScalarGrid*>& grids) {
  const bool written = sink_ && writing([&] { return sink_->append(mol, grids); });
  records_ += written;
  return written;
}

void WriterHandle::close() {
  if (!sink_) return;
  {
    Sorvil::QvErrorCapture capture(log_);
    struct Collect {
      WriterHandle& handle;
      ~Collect() { handle.add_reports(handle.log_.take()); }
    } collect{*this};
    sink_->close();
  }
  sink_.reset();
}

namespace {

FormatHandler& handler_for(const std::string& path) {
  FormatHandler* handler = FormatRegistry::instance().handler_for_path(path);
  if (!handler) throw FormatError("velk: unrecognized file extension for '" + path + "'");
  return *handler;
}

// What opening says is the handle's first report; the handle is made only
// when the opening succeeded, and a failure's exception says it all.
template <class Handle, class Open>
std::unique_ptr<Handle> open_handle(const std::string& path, const char* what, bool keep_messages, Open open) {
  MessageLog log;
  decltype(open()) end;
  {
    Sorvil::QvErrorCapture capture(log);
    end = open();
  }
  if (!end) throw FileError("velk: failed to create " + std::string(what) + " for '" + path + "'");
  auto handle = std::make_unique<Handle>(std::move(end), path);
  if (keep_messages) handle->add_reports(log.take());
  return handle;
}

std::unique_ptr<ReaderHandle> reader_handle(FormatHandler& handler, const std::string& path,
                                            const std::any& config, bool keep_messages = true) {
  return open_handle<ReaderHandle>(path, "reader", keep_messages, [&] { return handler.open_reader(path, config); });
}

std::unique_ptr<WriterHandle> writer_handle(FormatHandler& handler, const std::string& path,
                                            const std::any& config, bool keep_messages = true) {
  return open_handle<WriterHandle>(path, "writer", keep_messages, [&] { return handler.open_writer(path, config); });
}

builtin::TamrinHandler& tamrin_handler() {
  static builtin::TamrinHandler handler;
  return handler;
}

void check_format(unsigned code, bool (*usable)(Tamrin::QvFormat), const char* what) {
  const auto format = static_cast<Tamrin::QvFormat>(code);
  if (code >= Tamrin::kQvNumFormats) throw FormatError("velk: unknown format code " + std::to_string(code));
  if (!usable(format))
    throw FormatError(std::string("velk: ") + Tamrin::QvFormatDescription(format) + " cannot be " + what);
}

}  // namespace

std::unique_ptr<ReaderHandle> open_reader(const std::string& path, unsigned num_threads) {
  FormatHandler& handler = handler_for(path);
  // Other handlers would warn about a configuration they do not take.
  const bool threaded = num_threads > 1 && dynamic_cast<builtin::TamrinHandler*>(&handler);
  return reader_handle(handler, path, threaded ? std::any(tamrin::ReaderConfig{.num_threads = num_threads}) : std::any());
}

std::unique_ptr<WriterHandle> open_writer(const std::string& path) {
  return writer_handle(handler_for(path), path, std::any());
}

// The stream first picks a format by the file's suffix, and complains when
// it knows none; the format given replaces that choice, so the complaint is
// dropped. Anything else opening can report ends in an exception.
std::unique_ptr<ReaderHandle> open_reader_as(const std::string& path, unsigned format, unsigned num_threads) {
  check_format(format, Tamrin::QvFormatReadable, "read");
  return reader_handle(tamrin_handler(), path, tamrin::ReaderConfig{.format = format, .num_threads = num_threads},
                       false);
}

std::unique_ptr<WriterHandle> open_writer_as(const std::string& path, unsigned format) {
  check_format(format, Tamrin::QvFormatWritable, "written");
  return writer_handle(tamrin_handler(), path, tamrin::WriterConfig{.format = format}, false);
}

std::unique_ptr<ReaderHandle> open_range_reader(const std::string& path, unsigned format, unsigned long long begin,
                                                unsigned long long end) {
  check_format(format, Tamrin::QvFormatReadable, "read");
  const auto code = static_cast<Tamrin::QvFormat>(format);
  if (!builtin::RangeReadable(code))
    throw FormatError(std::string("velk: ") + Tamrin::QvFormatDescription(code) + " cannot be read by byte range");
  return open_handle<ReaderHandle>(path, "reader", false,
                                   [&] { return builtin::OpenRangeSource(path, code, begin, end); });
}

}  // namespace velk
