// The three interfaces through which the module core talks to a format family:
// a FormatHandler describes the family and opens inputs and outputs, a
// MolSource reads records from one input, a MolSink writes records to one
// output. A record is one molecule with zero or more scalar grids.
#pragma once

#include <any>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "velk/formatinfo.h"

namespace Pellar {
class qvistream;
}
namespace Sorvil {
class QvScalarGrid;
}
namespace Tamrin {
class QvMolBase;
class QvGraphMol;
class QvMolBaseImpl;
template <class Impl>
class QvMolTmplt;
using QvGraphMolImpl = QvMolTmplt<QvMolBaseImpl>;
}  // namespace Tamrin

namespace velk {

using Sorvil::QvScalarGrid;
using Tamrin::QvGraphMol;
using Tamrin::QvMolBase;

enum class ReadStatus : std::uint32_t {
  Ok = 0,          // a record was read
  End = 1,         // there is no further record
  ParseError = 2,  // the next record exists but could not be parsed
};

struct ReadResult {
  ReadStatus status = ReadStatus::End;
  std::string message;  // the reason, for ParseError only
  bool flag = false;
};

// A sequential cursor over the records of one opened input. At the end of the
// input every reading operation answers false (or End), and keeps doing so.
class MolSource {
 public:
  MolSource() = default;
  MolSource(const MolSource&) = delete;
  MolSource& operator=(const MolSource&) = delete;
  virtual ~MolSource();

  // Reads a record; `grids` is replaced by the record's grids. The default
  // empties `grids` and reads the molecule alone.
  virtual bool next(QvMolBase& mol, std::vector<QvScalarGrid>& grids);
  // Reads a record's grids into the caller's grids, in order, and reports how
  // many were filled through `count` (may be null; untouched on failure).
  virtual bool next(QvMolBase& mol, const std::vector<QvScalarGrid*>& grids, unsigned* count);
  virtual bool next(QvMolBase& mol) = 0;
  virtual bool next(QvGraphMol& mol) = 0;
  // Reads a record into a molecule of the default class that the caller
  // then owns: a source whose molecules are made elsewhere (on a worker
  // thread) hands its own over instead of copying it. The default reads into
  // `mol`, made first when null; a molecule passed in may hold an earlier
  // record, which the read empties first (as every read does). On false
  // `mol` holds nothing of use.
  virtual bool next_owned(std::unique_ptr<Tamrin::QvGraphMolImpl>& mol);
  virtual bool capability_flag() const;
  // A read that tells a broken record from the end of the input. The default
  // never reports ParseError.
  virtual ReadResult next_record(QvMolBase& mol);
  // What the reads since the last call skipped or could not read, one
  // message each naming the input and the record; the reads themselves only
  // answer false. The default has none.
  virtual std::vector<std::string> take_faults();
  // Records passed so far, skipped ones included, so that what the toolkit
  // reports during a read can name its record; 0 when the source keeps no
  // count.
  virtual std::uint64_t records_passed() const;
};

// Writes records to one opened output.
class MolSink {
 public:
  MolSink() = default;
  MolSink(const MolSink&) = delete;
  MolSink& operator=(const MolSink&) = delete;
  virtual ~MolSink();

  virtual bool append(const QvMolBase& mol, const std::vector<const QvScalarGrid*>& grids) = 0;
  virtual bool append(const QvMolBase& mol) = 0;
  virtual void close() = 0;
};

// One format family. Handlers hold no state; the registry owns them.
class FormatHandler {
 public:
  FormatHandler() = default;
  FormatHandler(const FormatHandler&) = delete;
  FormatHandler& operator=(const FormatHandler&) = delete;
  virtual ~FormatHandler();

  virtual FormatInfo info() const = 0;
  // Reading from an already opened byte stream; no builtin handler supports it.
  virtual std::unique_ptr<MolSource> open_reader(Pellar::qvistream& input, const std::any& config);
  // May throw FileError or FormatError, or return null (the caller reports it).
  virtual std::unique_ptr<MolSource> open_reader(const std::string& path, const std::any& config) = 0;
  virtual std::unique_ptr<MolSink> open_writer(const std::string& path, const std::any& config) = 0;
};

}  // namespace velk
