// The handler of every molecule format of the Tamrin toolkit's streams (SDF,
// MOL2, PDB, SMILES, XYZ, CSV, QVB, ...): the stream picks the concrete format
// and gzip from the file name and does all parsing and writing. Its records
// never carry grids.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tamrin/streams/molstream.h"
#include "tamrin/streams/parallelreader.h"
#include "velk/builtin/tamrin_config.h"
#include "velk/formathandler.h"

namespace velk {

namespace builtin {

class TamrinMolSource : public MolSource {
 public:
  using MolSource::next;
  bool next(QvMolBase& mol) override;
  bool next(QvGraphMol& mol) override;
  bool next_owned(std::unique_ptr<Tamrin::QvGraphMolImpl>& mol) override;
  // Tells a broken record ("record N of this <format> stream could not be
  // parsed") from the end of the input; after the first failure, End for good.
  ReadResult next_record(QvMolBase& mol) override;
  // Records the stream skipped, and input damage (a gzip file cut short),
  // numbered by their place in the file.
  std::vector<std::string> take_faults() override;
  std::uint64_t records_passed() const override { return delivered_ + skipped_; }

  Tamrin::qvmolistream& stream() { return stream_; }
  // Worker threads for the reads to come (0 and 1: none), where the
  // stream's format allows; decided at the first read.
  void set_threads(unsigned threads) { threads_ = threads; }
  // The workers reading now; 0 when the calling thread reads alone.
  unsigned threads_in_use() const { return parallel_ ? parallel_->NumThreads() : 0; }

 private:
  // Notes what the read that answered `got` skipped or met.
  bool noted(bool got);
  // The parallel reader, made at the first read when threads were asked for.
  Tamrin::QvParallelReader* parallel();

  Tamrin::qvmolistream stream_;
  unsigned threads_ = 1;
  bool threads_decided_ = false;
  // Declared after the stream it reads, so that its workers stop first.
  std::unique_ptr<Tamrin::QvParallelReader> parallel_;
  std::uint64_t record_count_ = 0;
  bool failed_ = false;
  std::uint64_t delivered_ = 0;     // molecules handed out by any read
  unsigned skipped_ = 0;            // the stream's failed records, as last seen
  bool damage_seen_ = false;
  std::vector<std::string> faults_;
};

class TamrinMolSink : public MolSink {
 public:
  bool append(const QvMolBase& mol, const std::vector<const QvScalarGrid*>& grids) override;
  // A record lost to a failed output throws FileError naming the file.
  bool append(const QvMolBase& mol) override;
  // Output lost on the way (full disk, closed descriptor, file removed while
  // open) throws FileError naming the file, which is removed first so that
  // nothing passes for a complete file; unless append already said so.
  void close() override;

  Tamrin::qvmolostream& stream() { return stream_; }
  // The file opened, remembered so that a failed one can be removed (and
  // only that file: not whatever took its name meanwhile).
  void opened(const std::string& path);

 private:
  [[noreturn]] void fail(const std::string& why);
  void discard();

  Tamrin::qvmolostream stream_;
  std::string path_;
  std::uint64_t device_ = 0;
  std::uint64_t inode_ = 0;
  bool reported_ = false;
};

class TamrinHandler : public FormatHandler {
 public:
  FormatInfo info() const override;
  using FormatHandler::open_reader;
  // `config` may hold a tamrin::ReaderConfig; anything else is warned about
  // and ignored. A file that cannot be opened throws FileError.
  std::unique_ptr<MolSource> open_reader(const std::string& path, const std::any& config) override;
  std::unique_ptr<MolSink> open_writer(const std::string& path, const std::any& config) override;
};

}  // namespace builtin
}  // namespace velk
