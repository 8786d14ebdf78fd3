// The handler of every molecule format of the Tamrin toolkit's streams (SDF,
// MOL2, PDB, SMILES, XYZ, CSV, QVB, ...): the stream picks the concrete format
// and gzip from the file name and does all parsing and writing. Its records
// never carry grids.
#pragma once

#include <cstdint>

#include "tamrin/streams/molstream.h"
#include "velk/builtin/tamrin_config.h"
#include "velk/formathandler.h"

namespace velk {

namespace builtin {

class TamrinMolSource : public MolSource {
 public:
  using MolSource::next;
  bool next(QvMolBase& mol) override;
  bool next(QvGraphMol& mol) override;
  // Tells a broken record ("record N of this <format> stream could not be
  // parsed") from the end of the input; after the first failure, End for good.
  ReadResult next_record(QvMolBase& mol) override;

  Tamrin::qvmolistream& stream() { return stream_; }

 private:
  Tamrin::qvmolistream stream_;
  std::uint64_t record_count_ = 0;
  bool failed_ = false;
};

class TamrinMolSink : public MolSink {
 public:
  bool append(const QvMolBase& mol, const std::vector<const QvScalarGrid*>& grids) override;
  bool append(const QvMolBase& mol) override;
  void close() override;

  Tamrin::qvmolostream& stream() { return stream_; }

 private:
  Tamrin::qvmolostream stream_;
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
