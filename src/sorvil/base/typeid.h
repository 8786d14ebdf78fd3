// 64-bit type identifiers for toolkit classes and generic-data value types.
//
// An identifier is the FNV-1a hash of a fixed, namespace-qualified name, so it
// is the same in every build and every process: binary records may store it.
// Two types must never be declared with the same name.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Sorvil {

using QvTypeId = std::uint64_t;

constexpr QvTypeId QvTypeIdFromName(std::string_view name) {
  QvTypeId hash = 0xcbf29ce484222325ull;
  for (const char c : name) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ull;
  }
  return hash;
}

// The identifier of a class template instantiated for the class `argument`.
constexpr QvTypeId QvTemplateTypeId(std::string_view name, QvTypeId argument) {
  QvTypeId hash = QvTypeIdFromName(name);
  for (int shift = 0; shift < 64; shift += 8) {
    hash ^= (argument >> shift) & 0xffu;
    hash *= 0x100000001b3ull;
  }
  return hash;
}

// Identifies the value type of a generic-data item. Specialise it with
// QV_DATA_TYPE (at global scope) for every type stored as generic data.
template <class T>
struct QvDataType;

class QvTagData;

// The six integers of an atom's anisotropic displacement (built-in tag 67).
using QvAnisoValues = std::array<std::int32_t, 6>;

}  // namespace Sorvil

#define QV_DATA_TYPE(Type, Name)                                          \
  namespace Sorvil {                                                      \
  template <>                                                             \
  struct QvDataType<Type> {                                               \
    static constexpr const char* name = Name;                             \
    static constexpr QvTypeId id = QvTypeIdFromName(Name);                \
  };                                                                      \
  }

QV_DATA_TYPE(bool, "bool")
QV_DATA_TYPE(std::int32_t, "int")
QV_DATA_TYPE(std::uint32_t, "unsigned int")
QV_DATA_TYPE(std::int64_t, "long long")
QV_DATA_TYPE(float, "float")
QV_DATA_TYPE(double, "double")
QV_DATA_TYPE(std::string, "std::string")
QV_DATA_TYPE(std::vector<std::int32_t>, "std::vector<int>")
QV_DATA_TYPE(Sorvil::QvAnisoValues, "std::array<int,6>")
QV_DATA_TYPE(std::vector<float>, "std::vector<float>")
QV_DATA_TYPE(std::vector<double>, "std::vector<double>")
QV_DATA_TYPE(Sorvil::QvTagData, "Sorvil::QvTagData")

// Declares the class identifier of a QvBase-derived class and the two virtual
// operations that report it. `Base` is the direct base whose IsA is asked next.
#define QV_DECLARE_TYPE(Name, Base)                                            \
 public:                                                                       \
  static constexpr ::Sorvil::QvTypeId TypeId = ::Sorvil::QvTypeIdFromName(Name); \
  ::Sorvil::QvTypeId GetType() const override { return TypeId; }               \
  bool IsA(::Sorvil::QvTypeId type) const override {                           \
    return type == TypeId || Base::IsA(type);                                  \
  }                                                                            \
                                                                               \
 private:
