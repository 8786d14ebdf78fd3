#include "tamrin/formats/qvb/qvbdata.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <span>

#include "sorvil/base/tagdata.h"
#include "sorvil/binary/qvbhandler.h"
#include "sorvil/error/errorhandler.h"
#include "tamrin/formats/qvb/qvbpayload.h"
#include "tamrin/model/atombase.h"
#include "tamrin/model/bondbase.h"
#include "tamrin/model/residue.h"

namespace Tamrin::qvb {

using Sorvil::QvBase;
using Sorvil::QvBaseData;
using Sorvil::QVBCursor;
using Sorvil::QVBReturn;
using Sorvil::QvTag;

namespace {

// Version 1 (read) wrote names in full, fixed-width integers and per-owner
// data in rows only; version 2 (read) put a length before every value but
// the varints of columns.
constexpr unsigned kDataVersion = 3;
// The layouts of version 2 per-owner data.
constexpr unsigned kRows = 0;
constexpr unsigned kColumns = 1;

// Value type codes; a reader skips codes it does not know (their bytes are
// length-prefixed), so new codes never break older readers.
enum ItemType : unsigned {
  kBool = 1,
  kInt = 2,
  kUInt = 3,
  kInt64 = 4,
  kFloat = 5,
  kDouble = 6,
  kString = 7,
  kIntVector = 8,
  kIntArray6 = 9,
  kFloatVector = 10,
  kDoubleVector = 11,
  kSDPair = 12,
  kResidue = 13,
  // Written by version 2 for int and unsigned values: most are small.
  kZigInt = 14,
  kVarUInt = 15,
  // An SD pair whose value is a decimal integer written as its digits would
  // print it: the name as text, then the number as a zigzag varint. SD files
  // are full of counts and identifiers, three to six bytes each as text.
  kSDInteger = 16,
};

// Version 2 data records refer to these registered names by their position
// instead of spelling them out in every record. Append only: files hold the
// positions.
constexpr std::string_view kWellKnownNames[] = {
    "SDTagData",    "MDLParity",     "MDLAtomParity", "QvAtomStereo", "QvBondStereo",
    "QvStereoGroup", "QvMolComment", "QvAtomComment", "PDBData",      "QvHalfFloatConformers",
};
constexpr std::uint64_t kWellKnownCount = std::size(kWellKnownNames);

// Values of these types end where their bytes say, so they go without a
// length: in columns from version 2 on (the varints), everywhere from
// version 3 on. Types added later keep the length, which lets older readers
// step over them.
bool IsBare(unsigned type, unsigned version) {
  if (version >= 3 && (type == kBool || type == kSDInteger)) return true;
  return version >= 2 && (type == kZigInt || type == kVarUInt);
}

// The value `text` names when it is an integer that prints back as the same
// text (no sign "+", no leading zeros, no "-0").
std::optional<std::int64_t> PrintedInteger(std::string_view text) {
  std::int64_t v = 0;
  const char* end = text.data() + text.size();
  if (text.empty() || std::from_chars(text.data(), end, v).ptr != end) return std::nullopt;
  char back[24];
  const std::to_chars_result printed = std::to_chars(back, back + sizeof back, v);
  if (std::string_view(back, static_cast<std::size_t>(printed.ptr - back)) != text) return std::nullopt;
  return v;
}

// A bare value: its bytes, read by the layout of its type.
bool BareValue(QVBCursor& in, unsigned type, std::string_view& value) {
  const unsigned char* start = in.pos();
  std::uint64_t number = 0;
  std::string_view name;
  const bool ok = type == kBool ? in.take(1, name) : (type != kSDInteger || Text(in, name)) && Var(in, number);
  if (ok) value = std::string_view(reinterpret_cast<const char*>(start), static_cast<std::size_t>(in.pos() - start));
  return ok;
}

// A value with or without its length, by its type and the payload version.
bool Value(QVBCursor& in, unsigned type, unsigned version, std::string_view& value) {
  return IsBare(type, version) ? BareValue(in, type, value) : Text(in, value);
}

void AppendValue(Bytes& b, unsigned type, std::string_view value) {
  if (IsBare(type, kDataVersion))
    b.raw(value.data(), value.size());
  else
    b.text(value);
}

// Registered once: a tag lookup by name costs more than the rest of a small
// record's data.
const std::array<QvTag, kWellKnownCount>& WellKnownTags() {
  static const std::array<QvTag, kWellKnownCount> tags = [] {
    std::array<QvTag, kWellKnownCount> out{};
    for (std::size_t i = 0; i < kWellKnownCount; ++i) out[i] = Sorvil::QvGetTag(kWellKnownNames[i]);
    return out;
  }();
  return tags;
}

template <class T>
void AppendVector(std::string& out, const std::vector<T>& v) {
  out.append(reinterpret_cast<const char*>(v.data()), v.size() * sizeof(T));
}

void AppendResidue(std::string& out, const QvResidue& r) {
  Bytes b(out);
  b.text(r.name);
  b.text(r.chain);
  b.raw(r.number);
  b.u8(static_cast<unsigned char>(r.insertion_code));
  b.u8(static_cast<unsigned char>(r.alternate_location));
  b.raw(r.serial);
  b.raw(r.model);
  b.raw(r.fragment);
  b.u8(r.hetero ? 1 : 0);
  b.raw(r.occupancy);
  b.raw(r.b_factor);
  b.u8(static_cast<unsigned char>(r.secondary_structure));
}

// The type code and value bytes of an item; 0 for a type with no encoding.
unsigned Encode(const QvBaseData& item, std::string& out) {
  using Sorvil::QvDataValue;
  Bytes b(out);
  if (const auto* v = QvDataValue<bool>(item)) return b.u8(*v ? 1 : 0), kBool;
  if (const auto* v = QvDataValue<std::int32_t>(item)) return b.zig(*v), kZigInt;
  if (const auto* v = QvDataValue<std::uint32_t>(item)) return b.var(*v), kVarUInt;
  if (const auto* v = QvDataValue<std::int64_t>(item)) return b.raw(*v), kInt64;
  if (const auto* v = QvDataValue<float>(item)) return b.raw(*v), kFloat;
  if (const auto* v = QvDataValue<double>(item)) return b.raw(*v), kDouble;
  if (const auto* v = QvDataValue<std::string>(item)) return out.append(*v), kString;
  if (const auto* v = QvDataValue<std::vector<std::int32_t>>(item)) return AppendVector(out, *v), kIntVector;
  if (const auto* v = QvDataValue<Sorvil::QvAnisoValues>(item)) return b.raw(*v), kIntArray6;
  if (const auto* v = QvDataValue<std::vector<float>>(item)) return AppendVector(out, *v), kFloatVector;
  if (const auto* v = QvDataValue<std::vector<double>>(item)) return AppendVector(out, *v), kDoubleVector;
  if (const auto* v = QvDataValue<Sorvil::QvTagData>(item)) {
    b.text(v->GetTag());
    if (const std::optional<std::int64_t> number = PrintedInteger(v->GetValue())) return b.zig(*number), kSDInteger;
    return out.append(v->GetValue()), kSDPair;
  }
  if (const auto* v = QvDataValue<QvResidue>(item)) return AppendResidue(out, *v), kResidue;
  return 0;
}

template <class T>
bool Fixed(std::string_view bytes, T& v) {
  if (bytes.size() != sizeof v) return false;
  std::memcpy(&v, bytes.data(), sizeof v);
  return true;
}

template <class T>
bool AddFixed(QvBase& object, QvTag tag, std::string_view bytes) {
  T v{};
  if (!Fixed(bytes, v)) return false;
  object.AddData(tag, v);
  return true;
}

template <class T>
bool AddVector(QvBase& object, QvTag tag, std::string_view bytes) {
  if (bytes.size() % sizeof(T) != 0) return false;
  std::vector<T> v(bytes.size() / sizeof(T));
  // An empty vector may hold no pointer at all, which memcpy must not get.
  if (!v.empty()) std::memcpy(v.data(), bytes.data(), bytes.size());
  object.AddData(tag, std::move(v));
  return true;
}

bool AddResidue(QvBase& object, QvTag tag, std::string_view bytes) {
  QVBCursor in(bytes);
  QvResidue r;
  std::string_view name;
  std::string_view chain;
  unsigned insertion = 0;
  unsigned alternate = 0;
  unsigned hetero = 0;
  unsigned ss = 0;
  if (!Text(in, name) || !Text(in, chain) || !Raw(in, r.number) || !U8(in, insertion) || !U8(in, alternate) ||
      !Raw(in, r.serial) || !Raw(in, r.model) || !Raw(in, r.fragment) || !U8(in, hetero) || !Raw(in, r.occupancy) ||
      !Raw(in, r.b_factor) || !U8(in, ss) || !in.at_end() || hetero > 1)
    return false;
  r.name = name;
  r.chain = chain;
  r.insertion_code = static_cast<char>(insertion);
  r.alternate_location = static_cast<char>(alternate);
  r.hetero = hetero != 0;
  r.secondary_structure = static_cast<char>(ss);
  object.AddData(tag, std::move(r));
  return true;
}

// An SD pair whose value is an integer (kSDInteger), from `in`: the pair
// gets the integer's digits back as its value.
[[gnu::noinline]] QVBReturn ReadSDInteger(QVBCursor& in, QvBase& object, QvTag tag) {
  std::string_view name;
  std::int64_t number = 0;
  if (!Text(in, name) || !Zig(in, number)) return Sorvil::QVBIncorrectSize;
  char digits[24];
  const auto printed = static_cast<std::size_t>(std::to_chars(digits, digits + sizeof digits, number).ptr - digits);
  object.EmplaceData<Sorvil::QvTagData>(tag, name, std::string_view(digits, printed));
  return Sorvil::QVBSuccess;
}

// Reads a value of a type whose bytes tell where it ends (IsBare) straight
// from `in` and adds it to `object`: QVBIncorrectSize when the bytes run
// out, QVBCheckFailed for a value out of its type's range. Inlined into the
// loops over items, which would otherwise pay a call per item; the SD pair
// has a function of its own.
[[gnu::always_inline]] inline QVBReturn ReadBare(QVBCursor& in, QvBase& object, QvTag tag, unsigned type) {
  std::int64_t number = 0;
  std::uint64_t var = 0;
  switch (type) {
    case kBool: {
      const int byte = in.get();
      if (byte < 0) return Sorvil::QVBIncorrectSize;
      if (byte > 1) return Sorvil::QVBCheckFailed;
      object.AddData(tag, byte != 0);
      return Sorvil::QVBSuccess;
    }
    case kZigInt:
      if (!Zig(in, number)) return Sorvil::QVBIncorrectSize;
      if (number < INT32_MIN || number > INT32_MAX) return Sorvil::QVBCheckFailed;
      object.AddData(tag, static_cast<std::int32_t>(number));
      return Sorvil::QVBSuccess;
    case kVarUInt:
      if (!Var(in, var)) return Sorvil::QVBIncorrectSize;
      if (var > UINT32_MAX) return Sorvil::QVBCheckFailed;
      object.AddData(tag, static_cast<std::uint32_t>(var));
      return Sorvil::QVBSuccess;
    case kSDInteger:
      return ReadSDInteger(in, object, tag);
    default:
      return Sorvil::QVBCheckFailed;
  }
}

// Adds the value `bytes` of type `type` to `object`; false when the bytes
// do not make a value of that type. Unknown types are skipped.
bool Decode(QvBase& object, QvTag tag, unsigned type, std::string_view bytes) {
  switch (type) {
    case kInt:
      return AddFixed<std::int32_t>(object, tag, bytes);
    case kUInt:
      return AddFixed<std::uint32_t>(object, tag, bytes);
    case kInt64:
      return AddFixed<std::int64_t>(object, tag, bytes);
    case kFloat:
      return AddFixed<float>(object, tag, bytes);
    case kDouble:
      return AddFixed<double>(object, tag, bytes);
    case kString:
      object.EmplaceData<std::string>(tag, bytes);
      return true;
    case kBool:
    case kZigInt:
    case kVarUInt:
    case kSDInteger: {
      QVBCursor in(bytes);
      return ReadBare(in, object, tag, type) == Sorvil::QVBSuccess && in.at_end();
    }
    case kIntVector:
      return AddVector<std::int32_t>(object, tag, bytes);
    case kIntArray6:
      return AddFixed<Sorvil::QvAnisoValues>(object, tag, bytes);
    case kFloatVector:
      return AddVector<float>(object, tag, bytes);
    case kDoubleVector:
      return AddVector<double>(object, tag, bytes);
    case kSDPair: {
      QVBCursor in(bytes);
      std::string_view name;
      if (!Text(in, name)) return false;
      object.EmplaceData<Sorvil::QvTagData>(tag, name, bytes.substr(bytes.size() - in.left()));
      return true;
    }
    case kResidue:
      return AddResidue(object, tag, bytes);
    default:
      return true;
  }
}

void WarnSkipped(QvTag tag) {
  const char* name = Sorvil::QvGetTagName(tag);
  char number[16] = {};
  if (!*name) {
    std::to_chars(number, number + sizeof number - 1, tag);
    name = number;
  }
  Sorvil::QvErrorHandler::Warning("Failed to write QvBase data for tag %s.  Skipping...", name);
}

}  // namespace

bool HasOwnRecord(const QvBaseData& item) { return item.Holds<Sorvil::QvUnknownQVBData>(); }

bool DataWriter::Items(const QvBase& object, long owner) {
  if (object.NumData() == 0) return false;
  const std::size_t before = items_.size();
  for (const QvBaseData& item : object.GetDataItems()) {
    if (HasOwnRecord(item)) continue;
    Item entry{owner, 0, 0, {}};
    entry.type = Encode(item, entry.value);
    const QvTag tag = item.GetTag();
    if (entry.type == 0 || (tag >= Sorvil::kQvFirstNamedTag && !*Sorvil::QvGetTagName(tag))) {
      WarnSkipped(tag);
      continue;
    }
    // Even: a built-in tag; odd: a name of the table.
    entry.ref = 2 * static_cast<std::uint64_t>(tag);
    if (tag >= Sorvil::kQvFirstNamedTag) {
      auto it = std::find(names_.begin(), names_.end(), tag);
      entry.ref = 2 * static_cast<std::uint64_t>(it - names_.begin()) + 1;
      if (it == names_.end()) names_.push_back(tag);
    }
    items_.push_back(std::move(entry));
  }
  if (items_.size() == before) return false;
  ++lists_;
  return true;
}

namespace {

// The items of a run of one owner, as an item list.
void AppendList(Bytes& b, std::span<const DataWriter::Item> items) {
  b.var(items.size());
  for (const DataWriter::Item& item : items) {
    b.var(item.ref);
    b.u8(item.type);
    AppendValue(b, item.type, item.value);
  }
}

}  // namespace

// Per-atom data is mostly one or two kinds of item on many atoms (stereo on
// the stereo centres, say); as columns, an owner's entry is a position step
// and a value, where a row repeats the item's name and type on every atom.
// Columns keep each owner's items in order only when every owner's items
// run through the columns in their order; otherwise rows are written.
bool DataWriter::AppendColumns(std::string& out) const {
  std::vector<std::pair<std::uint64_t, unsigned>> keys;
  std::vector<unsigned> column(items_.size());
  long owner = -1;
  unsigned last = 0;
  for (std::size_t i = 0; i < items_.size(); ++i) {
    const std::pair key{items_[i].ref, items_[i].type};
    const auto it = std::find(keys.begin(), keys.end(), key);
    column[i] = static_cast<unsigned>(it - keys.begin());
    if (it == keys.end()) keys.push_back(key);
    if (items_[i].owner == owner && column[i] <= last) return false;
    owner = items_[i].owner;
    last = column[i];
  }
  Bytes b(out);
  b.u8(kColumns);
  b.var(keys.size());
  for (unsigned c = 0; c < keys.size(); ++c) {
    b.var(keys[c].first);
    b.u8(keys[c].second);
    b.var(static_cast<std::uint64_t>(std::count(column.begin(), column.end(), c)));
    long previous = -1;
    for (std::size_t i = 0; i < items_.size(); ++i) {
      if (column[i] != c) continue;
      b.var(static_cast<std::uint64_t>(items_[i].owner - previous - 1));
      AppendValue(b, keys[c].second, items_[i].value);
      previous = items_[i].owner;
    }
  }
  return true;
}

std::string DataWriter::Finish(bool counted) const {
  std::string out;
  Bytes b(out);
  b.u8(kDataVersion);
  b.var(names_.size());
  for (const QvTag tag : names_) {
    const std::string_view name = Sorvil::QvGetTagName(tag);
    const auto known = std::find(std::begin(kWellKnownNames), std::end(kWellKnownNames), name);
    if (known != std::end(kWellKnownNames)) {
      b.var(static_cast<std::uint64_t>(known - std::begin(kWellKnownNames)));
    } else {
      b.var(kWellKnownCount + name.size());
      out.append(name);
    }
  }
  const std::span<const Item> all(items_);
  if (!counted) {
    AppendList(b, all);
    return out;
  }
  if (AppendColumns(out)) return out;
  b.u8(kRows);
  b.var(lists_);
  for (std::size_t i = 0; i < items_.size();) {
    std::size_t end = i;
    while (end < items_.size() && items_[end].owner == items_[i].owner) ++end;
    b.var(static_cast<std::uint64_t>(items_[i].owner));
    AppendList(b, all.subspan(i, end - i));
    i = end;
  }
  return out;
}

namespace {

// The tag an item refers to; QvNoTag for a reference to nothing.
QvTag TagOf(std::uint64_t ref, std::span<const QvTag> names, unsigned version) {
  if (version == 1 ? ref < Sorvil::kQvFirstNamedTag : ref % 2 == 0) {
    const std::uint64_t number = version == 1 ? ref : ref / 2;
    return number < Sorvil::kQvFirstNamedTag ? static_cast<QvTag>(number) : Sorvil::QvNoTag;
  }
  const std::uint64_t entry = version == 1 ? ref - Sorvil::kQvFirstNamedTag : ref / 2;
  return entry < names.size() ? names[entry] : Sorvil::QvNoTag;
}

// The failure for a value that has nowhere to go: QVBCheckFailed, or
// QVBIncorrectSize when its bytes are cut short as well.
QVBReturn Refuse(QVBCursor& in, unsigned type, unsigned version) {
  std::string_view skipped;
  return Value(in, type, version, skipped) ? Sorvil::QVBCheckFailed : Sorvil::QVBIncorrectSize;
}

// Reads one value into `object`.
[[gnu::always_inline]] inline QVBReturn ReadValue(QVBCursor& in, QvBase& object, QvTag tag, unsigned type,
                                                  unsigned version) {
  if (IsBare(type, version)) return ReadBare(in, object, tag, type);
  std::string_view bytes;
  if (!Text(in, bytes)) return Sorvil::QVBIncorrectSize;
  return Decode(object, tag, type, bytes) ? Sorvil::QVBSuccess : Sorvil::QVBCheckFailed;
}

QVBReturn ReadItems(QVBCursor& in, QvBase& object, std::span<const QvTag> names, unsigned version) {
  std::uint64_t count = 0;
  // Each item takes at least three bytes.
  if (!Var(in, count) || count > in.left() / 3) return Sorvil::QVBIncorrectSize;
  for (std::uint64_t i = 0; i < count; ++i) {
    std::uint64_t ref = 0;
    unsigned type = 0;
    if (!Var(in, ref) || !U8(in, type)) return Sorvil::QVBIncorrectSize;
    const QvTag tag = TagOf(ref, names, version);
    const QVBReturn result =
        tag == Sorvil::QvNoTag ? Refuse(in, type, version) : ReadValue(in, object, tag, type, version);
    if (result != Sorvil::QVBSuccess) return result;
  }
  return Sorvil::QVBSuccess;
}

// A column is a reference, a type and entries of a position step and a
// value (length-prefixed, or a bare varint for varint types), at least two
// bytes each.
template <class Owner>
QVBReturn ReadColumns(QVBCursor& in, std::span<Owner* const> owners, std::span<const QvTag> names,
                      unsigned version) {
  std::uint64_t columns = 0;
  if (!Var(in, columns) || columns > in.left() / 3) return Sorvil::QVBIncorrectSize;
  for (std::uint64_t c = 0; c < columns; ++c) {
    std::uint64_t ref = 0;
    std::uint64_t entries = 0;
    unsigned type = 0;
    if (!Var(in, ref) || !U8(in, type) || !Var(in, entries) || entries > in.left() / 2)
      return Sorvil::QVBIncorrectSize;
    const QvTag tag = TagOf(ref, names, version);
    if (tag == Sorvil::QvNoTag) return Sorvil::QVBCheckFailed;
    std::uint64_t position = 0;
    for (std::uint64_t e = 0; e < entries; ++e) {
      std::uint64_t step = 0;
      if (!Var(in, step)) return Sorvil::QVBIncorrectSize;
      // Positions rise within a column: the first entry's step is its
      // position, each later one's the gap less one.
      if (step >= owners.size() || (position += step + (e ? 1 : 0)) >= owners.size())
        return Refuse(in, type, version);
      if (const QVBReturn result = ReadValue(in, *owners[position], tag, type, version); result != Sorvil::QVBSuccess)
        return result;
    }
  }
  return Sorvil::QVBSuccess;
}

// The names of one data payload, on the reader's stack: most payloads name
// a few. A longer table goes to the heap.
class NameTable {
 public:
  // Room for `count` names, which the caller fills.
  std::span<QvTag> Sized(std::size_t count) {
    if (count <= kInline) return std::span<QvTag>(inline_.data(), count);
    heap_.resize(count);
    return heap_;
  }

 private:
  static constexpr std::size_t kInline = 16;
  std::array<QvTag, kInline> inline_;
  std::vector<QvTag> heap_;
};

// The version and name table that start every data payload.
QVBReturn ReadNames(QVBCursor& in, unsigned& version, NameTable& table, std::span<const QvTag>& names) {
  std::uint64_t count = 0;
  if (!U8(in, version) || version < 1 || version > kDataVersion) return Sorvil::QVBCheckFailed;
  if (!Var(in, count) || count > in.left()) return Sorvil::QVBIncorrectSize;
  const std::span<QvTag> out = table.Sized(static_cast<std::size_t>(count));
  const std::array<QvTag, kWellKnownCount>& known = WellKnownTags();
  for (QvTag& tag : out) {
    std::uint64_t n = 0;
    std::string_view name;
    if (version == 1) {
      if (!Text(in, name)) return Sorvil::QVBIncorrectSize;
    } else if (!Var(in, n)) {
      return Sorvil::QVBIncorrectSize;
    } else if (n < kWellKnownCount) {
      tag = known[n];
      continue;
    } else if (n - kWellKnownCount > in.left() || !in.take(static_cast<std::size_t>(n - kWellKnownCount), name)) {
      return Sorvil::QVBIncorrectSize;
    }
    if (name.empty()) return Sorvil::QVBIncorrectSize;
    tag = Sorvil::QvGetTag(name);
  }
  names = out;
  return Sorvil::QVBSuccess;
}

}  // namespace

QVBReturn ReadData(QVBCursor& in, QvBase& object) {
  unsigned version = 0;
  NameTable table;
  std::span<const QvTag> names;
  if (const QVBReturn result = ReadNames(in, version, table, names); result != Sorvil::QVBSuccess) return result;
  return ReadItems(in, object, names, version);
}

template <class Owner>
QVBReturn ReadOwnersData(QVBCursor& in, std::span<Owner* const> owners) {
  unsigned version = 0;
  NameTable table;
  std::span<const QvTag> names;
  if (const QVBReturn result = ReadNames(in, version, table, names); result != Sorvil::QVBSuccess) return result;
  unsigned layout = kRows;
  if (version > 1 && (!U8(in, layout) || layout > kColumns)) return Sorvil::QVBCheckFailed;
  if (layout == kColumns) return ReadColumns(in, owners, names, version);
  std::uint64_t count = 0;
  if (!Var(in, count) || count > in.left() / 2) return Sorvil::QVBIncorrectSize;
  for (std::uint64_t i = 0; i < count; ++i) {
    std::uint64_t position = 0;
    if (!Var(in, position)) return Sorvil::QVBIncorrectSize;
    if (position >= owners.size()) return Sorvil::QVBCheckFailed;
    if (const QVBReturn result = ReadItems(in, *owners[position], names, version); result != Sorvil::QVBSuccess)
      return result;
  }
  return Sorvil::QVBSuccess;
}

template QVBReturn ReadOwnersData(QVBCursor& in, std::span<QvAtomBase* const> owners);
template QVBReturn ReadOwnersData(QVBCursor& in, std::span<QvBondBase* const> owners);

void AppendUnknownRecords(std::string& out, const QvBase& object) {
  if (object.NumData() == 0) return;
  for (const QvBaseData& item : object.GetDataItems())
    if (const auto* unknown = Sorvil::QvDataValue<Sorvil::QvUnknownQVBData>(item)) out += unknown->record;
}

}  // namespace Tamrin::qvb
