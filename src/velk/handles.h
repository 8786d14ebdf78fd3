// Readers and writers opened by file name, as Python holds them.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "sorvil/error/errorhandler.h"
#include "tamrin/model/molimpl.h"
#include "velk/formathandler.h"

namespace velk {

// A generic-data value as Python sees it; floats are widened to double.
using GenericValue = std::variant<int, double, bool, std::string>;
using GenericDataPairs = std::vector<std::pair<std::string, GenericValue>>;
// The grids of one record, or nothing when no record was read.
using OptionalGrids = std::optional<std::vector<Sorvil::QvScalarGrid>>;

// What a reader does about records it had to skip and about input that
// ended early or is damaged: raise FormatError (the first one stops the
// read), report it among the messages, or say nothing.
enum ReadErrors : int { ReadErrorsRaise = 0, ReadErrorsWarn = 1, ReadErrorsSkip = 2 };

// What the toolkit reported while a handle worked, kept until the handle's
// owner takes it. Thread-safe: a worker thread of a reader collects into the
// same log through a QvErrorCapture of its own, and the owner delivers on its
// thread.
class MessageLog final : public Sorvil::QvErrorHandlerImplBase {
 public:
  void Msg(unsigned level, const char* text) override;
  std::vector<std::string> take();
  // All that was said as one text, a line each; empty when nothing was.
  std::string take_text();

 private:
  std::mutex mutex_;
  std::vector<std::string> messages_;
  // Whether messages_ may hold something: a read that said nothing, the
  // common case, takes nothing without the lock.
  std::atomic<bool> pending_{false};
};

// Owns one opened input; dropping the handle releases it. The toolkit's
// messages during its reads are kept with its faults instead of printed.
class ReaderHandle {
 public:
  explicit ReaderHandle(std::unique_ptr<MolSource> source, std::string path = {})
      : source_(std::move(source)), path_(std::move(path)) {}
  ReaderHandle(const ReaderHandle&) = delete;
  ReaderHandle& operator=(const ReaderHandle&) = delete;

  void set_errors(ReadErrors errors) {
    errors_ = errors;
    if (errors == ReadErrorsSkip) reports_.clear();
  }
  bool next(Tamrin::QvMolBase& mol);
  // The same read into a molecule the caller then owns; a threaded source
  // hands over the one its worker made (see MolSource::next_owned).
  bool next_owned(std::unique_ptr<Tamrin::QvGraphMolImpl>& mol);
  // The number of grids filled, or -1 when no record was read.
  long next_grids(Tamrin::QvMolBase& mol, const std::vector<Sorvil::QvScalarGrid*>& grids);
  OptionalGrids next_grid_tuple(Tamrin::QvMolBase& mol);
  // (tag name, value) of every data item of `mol` with a named tag and a
  // value of a type Python knows, in the molecule's order. Reads nothing.
  GenericDataPairs generic_data_pairs(const Tamrin::QvMolBase& mol) const;
  // What the reads skipped or could not read since the last call, and what
  // the toolkit said meanwhile, each message naming the file and the record
  // (the binding turns them into Python warnings). Empty under ReadErrorsSkip.
  std::vector<std::string> take_faults() { return std::exchange(reports_, {}); }
  // Records read so far, so that an error can name the one it met.
  unsigned long long records_read() const { return records_; }
  // Messages met before the handle existed (while opening), reported first.
  void add_reports(const std::vector<std::string>& messages);

 private:
  // Runs one read of `mol` with the toolkit's messages captured, then
  // numbers them and the source's faults by record. Under ReadErrorsRaise
  // the first fault is thrown, and a record read in the same call is kept
  // for the next one (`keep` puts it aside), so that a caller who goes on
  // loses nothing.
  template <class Read, class Keep>
  bool reading(Read read, Keep keep);
  template <class Read>
  bool reading(Tamrin::QvMolBase& mol, Read read);
  bool take_withheld(Tamrin::QvMolBase& mol);
  std::uint64_t passed() const;

  std::unique_ptr<MolSource> source_;
  std::string path_;
  std::uint64_t records_ = 0;
  ReadErrors errors_ = ReadErrorsWarn;
  MessageLog log_;
  std::vector<std::string> reports_;
  std::unique_ptr<Tamrin::QvGraphMolImpl> withheld_;
};

// Owns one opened output until close(); a closed handle refuses to append.
// The toolkit's messages while it writes are kept for its owner to take.
class WriterHandle {
 public:
  explicit WriterHandle(std::unique_ptr<MolSink> sink, std::string path = {})
      : sink_(std::move(sink)), path_(std::move(path)) {}
  WriterHandle(const WriterHandle&) = delete;
  WriterHandle& operator=(const WriterHandle&) = delete;
  ~WriterHandle();

  bool append_mol(const Tamrin::QvMolBase& mol);
  bool append_grids(const Tamrin::QvMolBase& mol, const std::vector<const Sorvil::QvScalarGrid*>& grids);
  // Flushes and releases the output. If the sink's close throws, the error
  // reaches the caller and the handle stays open.
  void close();
  // What the toolkit said while writing since the last call, each message
  // naming the file and the record it was writing.
  std::vector<std::string> take_reports() { return std::exchange(reports_, {}); }
  void add_reports(const std::vector<std::string>& messages);

 private:
  template <class Write>
  auto writing(Write write);

  std::unique_ptr<MolSink> sink_;
  std::string path_;
  std::uint64_t records_ = 0;
  MessageLog log_;
  std::vector<std::string> reports_;
};

// Open by path through the process-wide registry. Unknown suffix: FormatError,
// before any file is touched; a handler that makes nothing: FileError.
// `num_threads` of 2 or more parses the records of a molecule format whose
// records stand alone on that many threads (the calling one and num_threads - 1
// workers); the others ignore it.
std::unique_ptr<ReaderHandle> open_reader(const std::string& path, unsigned num_threads = 1);
std::unique_ptr<WriterHandle> open_writer(const std::string& path);

// Open by path in a format of the Tamrin streams named by its code, whatever
// the suffix (the registry knows a fixed list of suffixes; formats such as
// JSON or InChI have none there). Gzip still follows a ".gz" ending.
std::unique_ptr<ReaderHandle> open_reader_as(const std::string& path, unsigned format, unsigned num_threads = 1);
std::unique_ptr<WriterHandle> open_writer_as(const std::string& path, unsigned format);

// The records of the plain file at `path`, read in the format named by its
// code, that the bytes [begin, end) own: those starting between the record
// boundaries each offset moves to (velk/builtin/tamrin_range.h). Ranges that
// cover a file give each of its records to exactly one of them. A format
// without such boundaries, or a gzip file: FormatError.
std::unique_ptr<ReaderHandle> open_range_reader(const std::string& path, unsigned format, unsigned long long begin,
                                                unsigned long long end);

}  // namespace velk
