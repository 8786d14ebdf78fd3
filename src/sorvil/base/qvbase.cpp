#include "sorvil/base/qvbase.h"

#include "sorvil/error/errorhandler.h"

namespace Sorvil {

QvBaseData::~QvBaseData() = default;

QvBase::QvBase(const QvBase& other) { CopyData(other); }

QvBase& QvBase::operator=(const QvBase& other) {
  if (this != &other) CopyData(other);
  return *this;
}

QvBase::~QvBase() { ClearData(); }

void QvBase::Clear() { ClearData(); }

void QvBase::ReportTypeMismatch() {
  QvErrorHandler::Warning("data type mismatch found when using generic data");
}

void QvBase::ClearData() {
  if (!last_) return;
  QvBaseData* item = last_->next_;
  last_->next_ = nullptr;  // the ring opens into a list that ends at the last item
  last_ = nullptr;
  while (item) {
    QvBaseData* next = item->next_;
    delete item;
    item = next;
  }
}

size_t QvBase::NumData() const {
  size_t n = 0;
  for (const QvBaseData* item = First(); item; item = After(item)) ++n;
  return n;
}

void QvBase::Append(QvBaseData* item) {
  if (last_) {
    item->next_ = last_->next_;
    last_->next_ = item;
  } else {
    item->next_ = item;
  }
  last_ = item;
}

void QvBase::Unlink(QvBaseData* prev, QvBaseData* item) {
  if (item == prev) {
    last_ = nullptr;
  } else {
    prev->next_ = item->next_;
    if (item == last_) last_ = prev;
  }
  delete item;
}

const QvBaseData* QvBase::GetDataItem(QvTag tag) const { return FindItem(tag); }

bool QvBase::SetData(std::unique_ptr<QvBaseData> item) {
  if (!item) return false;
  QvBaseData* prev = last_;
  for (QvBaseData* slot = First(); slot; prev = slot, slot = After(slot)) {
    if (slot->GetTag() != item->GetTag()) continue;
    if (slot->GetType() != item->GetType()) {
      ReportTypeMismatch();
      return false;
    }
    // The new item takes the old one's place in the ring.
    QvBaseData* fresh = item.release();
    fresh->next_ = slot->next_ == slot ? fresh : slot->next_;
    prev->next_ = fresh;
    if (slot == last_) last_ = fresh;
    delete slot;
    return true;
  }
  Append(item.release());
  return true;
}

void QvBase::AddData(std::unique_ptr<QvBaseData> item) {
  if (item) Append(item.release());
}

bool QvBase::DeleteData(QvTag tag) {
  return DeleteDataIf([tag](const QvBaseData& item) { return item.GetTag() == tag; }) != 0;
}

bool QvBase::DeleteData(const QvBaseData* item) {
  if (!item) return false;
  return DeleteDataIf([item](const QvBaseData& slot) { return &slot == item; }) != 0;
}

void QvBase::CopyData(const QvBase& other) {
  if (&other == this) return;
  ClearData();
  for (const QvBaseData* item = other.First(); item; item = other.After(item)) Append(item->Clone().release());
}

}  // namespace Sorvil
