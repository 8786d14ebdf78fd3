#include "sorvil/base/qvbase.h"

#include <algorithm>

#include "sorvil/error/errorhandler.h"

namespace Sorvil {

QvBaseData::~QvBaseData() = default;

QvBase::QvBase(const QvBase& other) { CopyData(other); }

QvBase& QvBase::operator=(const QvBase& other) {
  if (this != &other) CopyData(other);
  return *this;
}

QvBase::~QvBase() = default;

void QvBase::Clear() { ClearData(); }

void QvBase::ReportTypeMismatch() {
  QvErrorHandler::Warning("data type mismatch found when using generic data");
}

QvBaseData* QvBase::FindItem(QvTag tag) const {
  if (!data_) return nullptr;
  for (const auto& item : *data_)
    if (item->GetTag() == tag) return item.get();
  return nullptr;
}

const QvBaseData* QvBase::GetDataItem(QvTag tag) const { return FindItem(tag); }

bool QvBase::SetData(std::unique_ptr<QvBaseData> item) {
  if (!item) return false;
  if (!data_) data_ = std::make_unique<QvDataItems>();
  for (auto& slot : *data_) {
    if (slot->GetTag() != item->GetTag()) continue;
    if (slot->GetType() != item->GetType()) {
      ReportTypeMismatch();
      return false;
    }
    slot = std::move(item);
    return true;
  }
  data_->push_back(std::move(item));
  return true;
}

void QvBase::AddData(std::unique_ptr<QvBaseData> item) {
  if (!item) return;
  if (!data_) data_ = std::make_unique<QvDataItems>();
  data_->push_back(std::move(item));
}

bool QvBase::DeleteData(QvTag tag) {
  if (!data_) return false;
  const auto removed =
      std::erase_if(*data_, [tag](const auto& item) { return item->GetTag() == tag; });
  return removed != 0;
}

bool QvBase::DeleteData(const QvBaseData* item) {
  if (!data_ || !item) return false;
  const auto removed =
      std::erase_if(*data_, [item](const auto& slot) { return slot.get() == item; });
  return removed != 0;
}

void QvBase::CopyData(const QvBase& other) {
  if (&other == this) return;
  if (!other.data_ || other.data_->empty()) {
    data_.reset();
    return;
  }
  auto copy = std::make_unique<QvDataItems>();
  copy->reserve(other.data_->size());
  for (const auto& item : *other.data_) copy->push_back(item->Clone());
  data_ = std::move(copy);
}

}  // namespace Sorvil
