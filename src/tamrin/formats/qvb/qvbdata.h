// Generic data (SD data pairs among it) in QVB payloads (layouts in docs/qvb-payloads.md).
#pragma once

#include <span>
#include <string>
#include <vector>

#include "sorvil/base/qvbase.h"
#include "sorvil/binary/qvbrecord.h"

namespace Tamrin::qvb {

// Items written as records of their own (kept unknown records), not as data.
bool HasOwnRecord(const Sorvil::QvBaseData& item);

// Builds a data record payload: a name table, then item lists. Tags below
// 256 are written as numbers, registered tags through the name table.
class DataWriter {
 public:
  // Appends the item list of `object` (HasOwnRecord items left out); false
  // when none of its items was written. `owner` >= 0 writes that position
  // first, for the per-atom and per-bond records.
  bool Items(const Sorvil::QvBase& object, long owner = -1);
  // The payload: version, names, then `lists` (the number of owners for
  // per-atom records, nothing for one object's record) and the lists.
  std::string Finish(bool counted) const;
  unsigned Lists() const { return lists_; }

  struct Item {
    long owner;
    std::uint64_t ref;
    unsigned type;
    std::string value;
  };

 private:
  bool AppendColumns(std::string& out) const;

  std::vector<Sorvil::QvTag> names_;
  std::vector<Item> items_;
  unsigned lists_ = 0;
};

// Reads a per-object data record payload into `object`.
Sorvil::QVBReturn ReadData(Sorvil::QVBCursor& in, Sorvil::QvBase& object);
// Reads a per-atom or per-bond data record payload, giving the items at each
// position to owners[position]. Made for QvAtomBase and QvBondBase, whose
// lists the reader passes as they are.
template <class Owner>
Sorvil::QVBReturn ReadOwnersData(Sorvil::QVBCursor& in, std::span<Owner* const> owners);

// Appends the records kept from reading (QvUnknownQVBData items) unchanged.
void AppendUnknownRecords(std::string& out, const Sorvil::QvBase& object);

}  // namespace Tamrin::qvb
