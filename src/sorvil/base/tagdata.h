// SD data: name/value text pairs on a molecule (or conformer), as MDL SD files
// carry them after each record. Each pair is a QvTagData item under the tag
// registered for "SDTagData"; pairs keep their insertion order and a name may
// occur more than once.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sorvil/base/qvbase.h"

namespace Sorvil {

class QvTagData {
 public:
  QvTagData() = default;
  QvTagData(std::string tag, std::string value) : tag_(std::move(tag)), value_(std::move(value)) {}
  // Made from the characters where they are, with no string in between.
  QvTagData(std::string_view tag, std::string_view value) : tag_(tag), value_(value) {}

  const std::string& GetTag() const { return tag_; }
  const std::string& GetValue() const { return value_; }
  void SetTag(std::string tag) { tag_ = std::move(tag); }
  void SetValue(std::string value) { value_ = std::move(value); }

  bool operator==(const QvTagData&) const = default;

 private:
  std::string tag_;
  std::string value_;
};

// The tag of "SDTagData".
QvTag QvSDDataTag();

// Appends a pair, even when the name is present already.
void QvAddSDData(QvBase& object, std::string_view tag, std::string_view value);
// Replaces the value of the first pair named `tag`, or appends a new pair.
void QvSetSDData(QvBase& object, std::string_view tag, std::string_view value);
// The value of the first pair named `tag`; "" when there is none.
std::string QvGetSDData(const QvBase& object, std::string_view tag);
bool QvHasSDData(const QvBase& object, std::string_view tag);
// Removes every pair named `tag`; false when there was none.
bool QvDeleteSDData(QvBase& object, std::string_view tag);
// Removes every pair.
void QvClearSDData(QvBase& object);
// The pairs in order.
std::vector<std::pair<std::string, std::string>> QvGetSDDataPairs(const QvBase& object);

}  // namespace Sorvil
