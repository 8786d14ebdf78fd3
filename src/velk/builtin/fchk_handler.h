// Gaussian formatted checkpoint files, read only. One record per file: the
// molecule (atoms with element and position in Ångström, no bonds), its title
// and, as generic data, "Method", "Basis" (strings), "Charge",
// "Multiplicity", "Number of electrons" (integers) and "Total Energy" (double).
// Every other record is checked for a valid header and skipped unparsed.
#pragma once

#include <any>
#include <memory>
#include <string>

#include "velk/builtin/single_record_source.h"
#include "velk/formathandler.h"

namespace velk::builtin {

class FchkHandler : public FormatHandler {
 public:
  FormatInfo info() const override;
  using FormatHandler::open_reader;
  // Does not touch the file; the reader opens it at its first read.
  std::unique_ptr<MolSource> open_reader(const std::string& path, const std::any& config) override;
  // Always throws FormatError: the format is read-only.
  std::unique_ptr<MolSink> open_writer(const std::string& path, const std::any& config) override;
};

// Reads the one record of a formatted checkpoint, straight into the caller's
// molecule. An FCHK record has no grids.
class FchkMolSource : public SingleRecordSource {
 public:
  explicit FchkMolSource(std::string path) : SingleRecordSource(std::move(path)) {}

 private:
  void read(QvMolBase& mol, std::vector<QvScalarGrid>& grids) override;
};

}  // namespace velk::builtin
