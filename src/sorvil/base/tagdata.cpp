#include "sorvil/base/tagdata.h"

namespace Sorvil {
namespace {

// The pair named `name` in `item`, or null when the item is not such a pair.
const QvTagData* PairNamed(const QvBaseData& item, std::string_view name) {
  if (item.GetTag() != QvSDDataTag()) return nullptr;
  const QvTagData* pair = QvDataValue<QvTagData>(item);
  return pair && pair->GetTag() == name ? pair : nullptr;
}

}  // namespace

QvTag QvSDDataTag() {
  static const QvTag tag = QvGetTag("SDTagData");
  return tag;
}

void QvAddSDData(QvBase& object, std::string_view tag, std::string_view value) {
  object.AddData(QvSDDataTag(), QvTagData(std::string(tag), std::string(value)));
}

void QvSetSDData(QvBase& object, std::string_view tag, std::string_view value) {
  QvBaseData* item =
      object.FindDataIf([tag](const QvBaseData& it) { return PairNamed(it, tag) != nullptr; });
  if (item)
    QvDataValue<QvTagData>(*item)->SetValue(std::string(value));
  else
    QvAddSDData(object, tag, value);
}

std::string QvGetSDData(const QvBase& object, std::string_view tag) {
  for (const QvBaseData& item : object.GetDataItems(QvSDDataTag()))
    if (const QvTagData* pair = PairNamed(item, tag)) return pair->GetValue();
  return {};
}

bool QvHasSDData(const QvBase& object, std::string_view tag) {
  for (const QvBaseData& item : object.GetDataItems(QvSDDataTag()))
    if (PairNamed(item, tag)) return true;
  return false;
}

bool QvDeleteSDData(QvBase& object, std::string_view tag) {
  return object.DeleteDataIf([tag](const QvBaseData& it) { return PairNamed(it, tag) != nullptr; }) != 0;
}

void QvClearSDData(QvBase& object) {
  object.DeleteDataIf([](const QvBaseData& it) {
    return it.GetTag() == QvSDDataTag() && it.Holds<QvTagData>();
  });
}

std::vector<std::pair<std::string, std::string>> QvGetSDDataPairs(const QvBase& object) {
  std::vector<std::pair<std::string, std::string>> pairs;
  for (const QvBaseData& item : object.GetDataItems(QvSDDataTag()))
    if (const QvTagData* pair = QvDataValue<QvTagData>(item))
      pairs.emplace_back(pair->GetTag(), pair->GetValue());
  return pairs;
}

}  // namespace Sorvil
