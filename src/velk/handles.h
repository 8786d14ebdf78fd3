// Readers and writers opened by file name, as Python holds them.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "velk/formathandler.h"

namespace velk {

// A generic-data value as Python sees it; floats are widened to double.
using GenericValue = std::variant<int, double, bool, std::string>;
using GenericDataPairs = std::vector<std::pair<std::string, GenericValue>>;
// The grids of one record, or nothing when no record was read.
using OptionalGrids = std::optional<std::vector<Sorvil::QvScalarGrid>>;

// Owns one opened input; dropping the handle releases it.
class ReaderHandle {
 public:
  explicit ReaderHandle(std::unique_ptr<MolSource> source) : source_(std::move(source)) {}
  ReaderHandle(const ReaderHandle&) = delete;
  ReaderHandle& operator=(const ReaderHandle&) = delete;

  bool next(Tamrin::QvMolBase& mol);
  // The number of grids filled, or -1 when no record was read.
  long next_grids(Tamrin::QvMolBase& mol, const std::vector<Sorvil::QvScalarGrid*>& grids);
  OptionalGrids next_grid_tuple(Tamrin::QvMolBase& mol);
  // (tag name, value) of every data item of `mol` with a named tag and a
  // value of a type Python knows, in the molecule's order. Reads nothing.
  GenericDataPairs generic_data_pairs(const Tamrin::QvMolBase& mol) const;
  // What the reads skipped or could not read since the last call, each
  // message naming the file and the record (the binding turns them into
  // Python warnings).
  std::vector<std::string> take_faults() { return source_->take_faults(); }
  // Records read so far, so that an error can name the one it met.
  unsigned long long records_read() const { return records_; }

 private:
  std::unique_ptr<MolSource> source_;
  std::uint64_t records_ = 0;
};

// Owns one opened output until close(); a closed handle refuses to append.
class WriterHandle {
 public:
  explicit WriterHandle(std::unique_ptr<MolSink> sink) : sink_(std::move(sink)) {}
  WriterHandle(const WriterHandle&) = delete;
  WriterHandle& operator=(const WriterHandle&) = delete;
  ~WriterHandle();

  bool append_mol(const Tamrin::QvMolBase& mol);
  bool append_grids(const Tamrin::QvMolBase& mol, const std::vector<const Sorvil::QvScalarGrid*>& grids);
  // Flushes and releases the output. If the sink's close throws, the error
  // reaches the caller and the handle stays open.
  void close();

 private:
  std::unique_ptr<MolSink> sink_;
};

// Open by path through the process-wide registry. Unknown suffix: FormatError,
// before any file is touched; a handler that makes nothing: FileError.
std::unique_ptr<ReaderHandle> open_reader(const std::string& path);
std::unique_ptr<WriterHandle> open_writer(const std::string& path);

// Open by path in a format of the Tamrin streams named by its code, whatever
// the suffix (the registry knows a fixed list of suffixes; formats such as
// JSON or InChI have none there). Gzip still follows a ".gz" ending.
std::unique_ptr<ReaderHandle> open_reader_as(const std::string& path, unsigned format);
std::unique_ptr<WriterHandle> open_writer_as(const std::string& path, unsigned format);

}  // namespace velk
