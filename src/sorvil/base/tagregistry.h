// Tags of generic-data items and the process-wide registry of tag names.
//
// A tag is a u32. Small numbers are reserved for the built-in properties of
// atoms and bonds and have no name; every other tag comes from QvGetTag, which
// maps a name to the same number for the life of the process.
#pragma once

#include <cstdint>
#include <string_view>

namespace Sorvil {

using QvTag = std::uint32_t;

// Built-in tags. Their numbers appear in binary records: never renumber.
enum QvBuiltinTag : QvTag {
  QvNoTag = 0,
  QvChiralTag = 8,
  QvDeletedTag = 13,
  QvResidueTag = 35,
  QvTypeNameTag = 40,
  QvBondTypeNameTag = 41,
  QvPartialChargeTag = 43,
  QvIntTypeTag = 44,
  QvNameTag = 45,
  QvRxnRoleTag = 52,
  QvBondStereoTag = 55,
  QvRadiusTag = 66,
  QvAnisoTag = 67,
};

// Registered names get numbers from here on; everything below is reserved.
inline constexpr QvTag kQvFirstNamedTag = 256;

// The tag of `name`, registering it on first use. A null or empty name is 0.
// Safe to call from any thread.
QvTag QvGetTag(const char* name);
QvTag QvGetTag(std::string_view name);

// The name a tag was registered under; "" for 0, built-in and unknown tags.
// The text stays valid for the life of the process.
const char* QvGetTagName(QvTag tag);

}  // namespace Sorvil
