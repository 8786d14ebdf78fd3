#include "tamrin/formats/qvb/qvbdata.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "sorvil/base/tagdata.h"
#include "sorvil/binary/qvbhandler.h"
#include "sorvil/error/errorhandler.h"
#include "tamrin/formats/qvb/qvbpayload.h"
#include "tamrin/model/residue.h"

namespace Tamrin::qvb {

using Sorvil::QvBase;
using Sorvil::QvBaseData;
using Sorvil::QVBCursor;
using Sorvil::QVBReturn;
using Sorvil::QvTag;

namespace {

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
};

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
  if (const auto* v = QvDataValue<std::int32_t>(item)) return b.raw(*v), kInt;
  if (const auto* v = QvDataValue<std::uint32_t>(item)) return b.raw(*v), kUInt;
  if (const auto* v = QvDataValue<std::int64_t>(item)) return b.raw(*v), kInt64;
  if (const auto* v = QvDataValue<float>(item)) return b.raw(*v), kFloat;
  if (const auto* v = QvDataValue<double>(item)) return b.raw(*v), kDouble;
  if (const auto* v = QvDataValue<std::string>(item)) return out.append(*v), kString;
  if (const auto* v = QvDataValue<std::vector<std::int32_t>>(item)) return AppendVector(out, *v), kIntVector;
  if (const auto* v = QvDataValue<Sorvil::QvAnisoValues>(item)) return b.raw(*v), kIntArray6;
  if (const auto* v = QvDataValue<std::vector<float>>(item)) return AppendVector(out, *v), kFloatVector;
  if (const auto* v = QvDataValue<std::vector<double>>(item)) return AppendVector(out, *v), kDoubleVector;
  if (const auto* v = QvDataValue<Sorvil::QvTagData>(item)) return b.text(v->GetTag()), out.append(v->GetValue()), kSDPair;
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

bool Decode(QvBase& object, QvTag tag, unsigned type, std::string_view bytes) {
  switch (type) {
    case kBool:
      if (bytes.size() != 1 || static_cast<unsigned char>(bytes[0]) > 1) return false;
      object.AddData(tag, bytes[0] != 0);
      return true;
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
      object.AddData(tag, std::string(bytes));
      return true;
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
      object.AddData(tag, Sorvil::QvTagData(std::string(name), std::string(bytes.substr(bytes.size() - in.left()))));
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
  std::string items;
  std::string value;
  unsigned count = 0;
  Bytes b(items);
  for (const QvBaseData& item : object.GetDataItems()) {
    if (HasOwnRecord(item)) continue;
    value.clear();
    const unsigned type = Encode(item, value);
    const QvTag tag = item.GetTag();
    if (type == 0 || (tag >= Sorvil::kQvFirstNamedTag && !*Sorvil::QvGetTagName(tag))) {
      WarnSkipped(tag);
      continue;
    }
    std::uint64_t ref = tag;
    if (tag >= Sorvil::kQvFirstNamedTag) {
      auto it = std::find(names_.begin(), names_.end(), tag);
      ref = Sorvil::kQvFirstNamedTag + static_cast<std::uint64_t>(it - names_.begin());
      if (it == names_.end()) names_.push_back(tag);
    }
    b.var(ref);
    b.u8(type);
    b.text(value);
    ++count;
  }
  if (count == 0) return false;
  Bytes body(body_);
  if (owner >= 0) body.var(static_cast<std::uint64_t>(owner));
  body.var(count);
  body_ += items;
  ++lists_;
  return true;
}

std::string DataWriter::Finish(bool counted) const {
  std::string out;
  Bytes b(out);
  b.u8(kVersion);
  b.var(names_.size());
  for (const QvTag tag : names_) b.text(Sorvil::QvGetTagName(tag));
  if (counted) b.var(lists_);
  out += body_;
  return out;
}

namespace {

QVBReturn ReadItems(QVBCursor& in, QvBase& object, const std::vector<QvTag>& names) {
  std::uint64_t count = 0;
  // Each item takes at least three bytes.
  if (!Var(in, count) || count > in.left() / 3) return Sorvil::QVBIncorrectSize;
  for (std::uint64_t i = 0; i < count; ++i) {
    std::uint64_t ref = 0;
    unsigned type = 0;
    std::string_view value;
    if (!Var(in, ref) || !U8(in, type) || !Text(in, value)) return Sorvil::QVBIncorrectSize;
    QvTag tag = static_cast<QvTag>(ref);
    if (ref >= Sorvil::kQvFirstNamedTag) {
      if (ref - Sorvil::kQvFirstNamedTag >= names.size()) return Sorvil::QVBCheckFailed;
      tag = names[ref - Sorvil::kQvFirstNamedTag];
    }
    if (tag == Sorvil::QvNoTag || !Decode(object, tag, type, value)) return Sorvil::QVBCheckFailed;
  }
  return Sorvil::QVBSuccess;
}

}  // namespace

QVBReturn ReadData(QVBCursor& in, QvBase* object, const std::vector<QvBase*>* owners) {
  unsigned version = 0;
  std::uint64_t count = 0;
  if (!U8(in, version) || version != kVersion) return Sorvil::QVBCheckFailed;
  if (!Var(in, count) || count > in.left()) return Sorvil::QVBIncorrectSize;
  std::vector<QvTag> names;
  names.reserve(static_cast<std::size_t>(count));
  for (std::uint64_t i = 0; i < count; ++i) {
    std::string_view name;
    if (!Text(in, name) || name.empty()) return Sorvil::QVBIncorrectSize;
    names.push_back(Sorvil::QvGetTag(name));
  }
  if (!owners) return ReadItems(in, *object, names);
  if (!Var(in, count) || count > in.left() / 2) return Sorvil::QVBIncorrectSize;
  for (std::uint64_t i = 0; i < count; ++i) {
    std::uint64_t position = 0;
    if (!Var(in, position)) return Sorvil::QVBIncorrectSize;
    if (position >= owners->size()) return Sorvil::QVBCheckFailed;
    if (const QVBReturn result = ReadItems(in, *(*owners)[position], names); result != Sorvil::QVBSuccess)
      return result;
  }
  return Sorvil::QVBSuccess;
}

void AppendUnknownRecords(std::string& out, const QvBase& object) {
  if (object.NumData() == 0) return;
  for (const QvBaseData& item : object.GetDataItems())
    if (const auto* unknown = Sorvil::QvDataValue<Sorvil::QvUnknownQVBData>(item)) out += unknown->record;
}

}  // namespace Tamrin::qvb
