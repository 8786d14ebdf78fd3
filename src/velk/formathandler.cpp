#include "velk/formathandler.h"

#include "sorvil/grid/scalargrid.h"
#include "tamrin/model/molbin.h"
#include "velk/errors.h"

namespace velk {

MolSource::~MolSource() = default;

bool MolSource::next(QvMolBase& mol, std::vector<QvScalarGrid>& grids) {
  grids.clear();
  return next(mol);
}

bool MolSource::next(QvMolBase& mol, const std::vector<QvScalarGrid*>& /*grids*/, unsigned* count) {
  const bool read = next(mol);
  if (read && count) *count = 0;
  return read;
}

bool MolSource::next_owned(std::unique_ptr<Tamrin::QvGraphMolImpl>& mol) {
  if (!mol) mol = Tamrin::QvTakeMol();
  return next(*mol);
}

bool MolSource::capability_flag() const { return false; }

ReadResult MolSource::next_record(QvMolBase& mol) {
  ReadResult result;
  result.status = next(mol) ? ReadStatus::Ok : ReadStatus::End;
  return result;
}

std::vector<std::string> MolSource::take_faults() { return {}; }

std::uint64_t MolSource::records_passed() const { return 0; }

MolSink::~MolSink() = default;

FormatHandler::~FormatHandler() = default;

std::unique_ptr<MolSource> FormatHandler::open_reader(Pellar::qvistream& /*input*/,
                                                      const std::any& /*config*/) {
  throw FormatError("velk: stream-based reading not supported for this format");
}

}  // namespace velk
