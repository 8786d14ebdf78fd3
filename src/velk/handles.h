// Readers and writers opened by file name, as Python holds them.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "velk/formathandler.h"

namespace velk {

// Owns one opened input; dropping the handle releases it.
class _ReaderHandle {
 public:
  explicit _ReaderHandle(std::unique_ptr<MolSource> source) : source_(std::move(source)) {}
  _ReaderHandle(const _ReaderHandle&) = delete;
  _ReaderHandle& operator=(const _ReaderHandle&) = delete;

  bool next(QvMolBase& mol);
  // The number of grids filled, or -1 when no record was read.
  long next_grids(QvMolBase& mol, const std::vector<QvScalarGrid*>& grids);
  // The record's grids (the caller owns them); false when no record was read.
  bool next_grid_tuple(QvMolBase& mol, std::vector<QvScalarGrid>& grids);

 private:
  std::unique_ptr<MolSource> source_;
};

// Owns one opened output until close(); a closed handle refuses to append.
class _WriterHandle {
 public:
  explicit _WriterHandle(std::unique_ptr<MolSink> sink) : sink_(std::move(sink)) {}
  _WriterHandle(const _WriterHandle&) = delete;
  _WriterHandle& operator=(const _WriterHandle&) = delete;
  ~_WriterHandle();

  bool append_mol(const QvMolBase& mol);
  bool append_grids(const QvMolBase& mol, const std::vector<const QvScalarGrid*>& grids);
  // Flushes and releases the output. If the sink's close throws, the error
  // reaches the caller and the handle stays open.
  void close();
  bool is_open() const { return sink_ != nullptr; }

 private:
  std::unique_ptr<MolSink> sink_;
};

// Open by path through the process-wide registry. Unknown suffix: FormatError,
// before any file is touched; a handler that makes nothing: FileError.
std::unique_ptr<_ReaderHandle> open_reader(const std::string& path);
std::unique_ptr<_WriterHandle> open_writer(const std::string& path);

}  // namespace velk
