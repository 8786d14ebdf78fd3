#include "tamrin/streams/formatinfo.h"

#include <array>
#include <atomic>

namespace Tamrin {

namespace {

// UNDEFINED, and every code that nothing in the list claims.
constexpr QvFormatInfo kUndefined{.code = QvFormat::UNDEFINED, .description = "UNDEFINED"};
// Codes beyond the table.
constexpr QvFormatInfo kOutOfRange{};

// Indexed by code and built once, so that dispatching a record costs one
// load. Atomic for QvReplaceFormatInfo.
class Table {
 public:
  Table() {
    for (auto& slot : records_) slot.store(&kUndefined, std::memory_order_relaxed);
    for (const QvFormatInfo* info : QvFormatList())
      if (QvFormatInRange(info->code)) records_[QvFormatCode(info->code)].store(info, std::memory_order_relaxed);
  }
  const QvFormatInfo& get(QvFormat format) const {
    return QvFormatInRange(format) ? *records_[QvFormatCode(format)].load(std::memory_order_acquire) : kOutOfRange;
  }
  const QvFormatInfo& replace(const QvFormatInfo& info) {
    if (!QvFormatInRange(info.code)) return kOutOfRange;
    return *records_[QvFormatCode(info.code)].exchange(&info, std::memory_order_acq_rel);
  }

 private:
  std::array<std::atomic<const QvFormatInfo*>, kQvNumFormats> records_;
};

Table& TheTable() {
  static Table table;
  return table;
}

}  // namespace

void QvRunPostReadSteps(QvMolBase& mol, unsigned flavor, std::span<const QvPostReadStep> steps) {
  for (const QvPostReadStep& step : steps)
    if ((flavor & step.bit) && step.pass) step.pass(mol);
}

const QvFormatInfo& QvGetFormatInfo(QvFormat format) { return TheTable().get(format); }

const QvFormatInfo& QvReplaceFormatInfo(const QvFormatInfo& info) { return TheTable().replace(info); }

}  // namespace Tamrin
