#include "velk/handles.h"

#include "sorvil/error/errorhandler.h"
#include "sorvil/grid/scalargrid.h"
#include "velk/errors.h"
#include "velk/formatregistry.h"

namespace velk {

bool _ReaderHandle::next(QvMolBase& mol) { return source_->next(mol); }

long _ReaderHandle::next_grids(QvMolBase& mol, const std::vector<QvScalarGrid*>& grids) {
  unsigned count = 0;
  if (!source_->next(mol, grids, &count)) return -1;
  return static_cast<long>(count);
}

bool _ReaderHandle::next_grid_tuple(QvMolBase& mol, std::vector<QvScalarGrid>& grids) {
  grids.clear();
  return source_->next(mol, grids);
}

_WriterHandle::~_WriterHandle() {
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

bool _WriterHandle::append_mol(const QvMolBase& mol) { return sink_ && sink_->append(mol); }

bool _WriterHandle::append_grids(const QvMolBase& mol, const std::vector<const QvScalarGrid*>& grids) {
  return sink_ && sink_->append(mol, grids);
}

void _WriterHandle::close() {
  if (!sink_) return;
  sink_->close();
  sink_.reset();
}

namespace {

FormatHandler& handler_for(const std::string& path) {
  FormatHandler* handler = FormatRegistry::instance().handler_for_path(path);
  if (!handler) throw FormatError("velk: unrecognized file extension for '" + path + "'");
  return *handler;
}

}  // namespace

std::unique_ptr<_ReaderHandle> open_reader(const std::string& path) {
  auto source = handler_for(path).open_reader(path, std::any());
  if (!source) throw FileError("velk: failed to create reader for '" + path + "'");
  return std::make_unique<_ReaderHandle>(std::move(source));
}

std::unique_ptr<_WriterHandle> open_writer(const std::string& path) {
  auto sink = handler_for(path).open_writer(path, std::any());
  if (!sink) throw FileError("velk: failed to create writer for '" + path + "'");
  return std::make_unique<_WriterHandle>(std::move(sink));
}

}  // namespace velk
