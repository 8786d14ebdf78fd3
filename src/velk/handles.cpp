#include "velk/handles.h"

#include "sorvil/error/errorhandler.h"
#include "sorvil/base/qvbase.h"
#include "sorvil/grid/scalargrid.h"
#include "tamrin/model/molbase.h"
#include "velk/builtin/tamrin_config.h"
#include "velk/builtin/tamrin_handler.h"
#include "velk/errors.h"
#include "velk/formatregistry.h"

namespace velk {

bool ReaderHandle::next(QvMolBase& mol) {
  const bool got = source_->next(mol);
  records_ += got;
  return got;
}

long ReaderHandle::next_grids(QvMolBase& mol, const std::vector<QvScalarGrid*>& grids) {
  unsigned count = 0;
  if (!source_->next(mol, grids, &count)) return -1;
  ++records_;
  return static_cast<long>(count);
}

OptionalGrids ReaderHandle::next_grid_tuple(QvMolBase& mol) {
  std::vector<QvScalarGrid> grids;
  if (!source_->next(mol, grids)) return std::nullopt;
  ++records_;
  return grids;
}

namespace {

std::optional<GenericValue> python_value(const Sorvil::QvBaseData& item) {
  if (const auto* v = Sorvil::QvDataValue<int>(item)) return *v;
  if (const auto* v = Sorvil::QvDataValue<double>(item)) return *v;
  if (const auto* v = Sorvil::QvDataValue<float>(item)) return static_cast<double>(*v);
  if (const auto* v = Sorvil::QvDataValue<bool>(item)) return *v;
  if (const auto* v = Sorvil::QvDataValue<std::string>(item)) return *v;
  return std::nullopt;
}

}  // namespace

GenericDataPairs ReaderHandle::generic_data_pairs(const QvMolBase& mol) const {
  GenericDataPairs pairs;
  for (const Sorvil::QvBaseData& item : mol.GetDataItems()) {
    const char* name = Sorvil::QvGetTagName(item.GetTag());
    if (!name || !*name) continue;
    if (auto value = python_value(item)) pairs.emplace_back(name, std::move(*value));
  }
  return pairs;
}

WriterHandle::~WriterHandle() {
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

bool WriterHandle::append_mol(const QvMolBase& mol) { return sink_ && sink_->append(mol); }

bool WriterHandle::append_grids(const QvMolBase& mol, const std::vector<const QvScalarGrid*>& grids) {
  return sink_ && sink_->append(mol, grids);
}

void WriterHandle::close() {
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

std::unique_ptr<ReaderHandle> reader_handle(FormatHandler& handler, const std::string& path,
                                            const std::any& config) {
  auto source = handler.open_reader(path, config);
  if (!source) throw FileError("velk: failed to create reader for '" + path + "'");
  return std::make_unique<ReaderHandle>(std::move(source));
}

std::unique_ptr<WriterHandle> writer_handle(FormatHandler& handler, const std::string& path,
                                            const std::any& config) {
  auto sink = handler.open_writer(path, config);
  if (!sink) throw FileError("velk: failed to create writer for '" + path + "'");
  return std::make_unique<WriterHandle>(std::move(sink));
}

builtin::TamrinHandler& tamrin_handler() {
  static builtin::TamrinHandler handler;
  return handler;
}

}  // namespace

std::unique_ptr<ReaderHandle> open_reader(const std::string& path) {
  return reader_handle(handler_for(path), path, std::any());
}

std::unique_ptr<WriterHandle> open_writer(const std::string& path) {
  return writer_handle(handler_for(path), path, std::any());
}

std::unique_ptr<ReaderHandle> open_reader_as(const std::string& path, unsigned format) {
  return reader_handle(tamrin_handler(), path, tamrin::ReaderConfig{.format = format});
}

std::unique_ptr<WriterHandle> open_writer_as(const std::string& path, unsigned format) {
  return writer_handle(tamrin_handler(), path, tamrin::WriterConfig{.format = format});
}

}  // namespace velk
