// Gaussian formatted checkpoint files, read only. One record per file: the
// molecule (atoms with element and position in Ångström, no bonds), its title
// and, as generic data, "Method", "Basis" (strings), "Charge",
// "Multiplicity", "Number of electrons" (integers) and "Total Energy" (double).
// Every other record is checked for a valid header and skipped unparsed.
#pragma once

#include <any>
#include <memory>
#include <string>

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

// Reads the one record of a formatted checkpoint. As for CUBE, the first read
// opens, reads and closes the file and spends the source, successful or not.
// The grid forms of next keep their defaults: an FCHK record has no grids.
class FchkMolSource : public MolSource {
 public:
  explicit FchkMolSource(std::string path) : path_(std::move(path)) {}

  using MolSource::next;
  bool next(QvMolBase& mol) override;
  bool next(QvGraphMol& mol) override;

 private:
  std::string path_;
  bool done_ = false;
};

}  // namespace velk::builtin
