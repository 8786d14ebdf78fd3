#include "tamrin/perception/valence.h"

#include <array>

namespace Tamrin {

namespace {

// Valence families: the neutral elements and what a charge of ±1 turns them into.
enum Family { kNone, kBoron, kCarbon, kNitrogen, kOxygen, kSulfur, kHalogen };

Family FamilyOf(unsigned atomic_num) {
  switch (atomic_num) {
    case 5: return kBoron;
    case 6: return kCarbon;
    case 7: case 15: case 33: return kNitrogen;
    case 8: return kOxygen;
    case 16: case 34: case 52: return kSulfur;
    case 9: case 17: case 35: case 53: return kHalogen;
    default: return kNone;
  }
}

constexpr std::array<unsigned, 0> kNothing{};
constexpr std::array<unsigned, 1> k0{0}, k1{1}, k2{2}, k3{3}, k4{4};
constexpr std::array<unsigned, 2> k35{3, 5};
constexpr std::array<unsigned, 3> k246{2, 4, 6};

std::span<const unsigned> Neutral(Family family) {
  switch (family) {
    case kBoron: return k3;
    case kCarbon: return k4;
    case kNitrogen: return k35;
    case kOxygen: return k2;
    case kSulfur: return k246;
    case kHalogen: return k1;
    default: return kNothing;
  }
}

std::span<const unsigned> Cation(Family family) {
  switch (family) {
    case kBoron: return k2;
    case kCarbon: return k3;
    case kNitrogen: return k4;
    case kOxygen: return k3;
    case kSulfur: return k35;
    case kHalogen: return k2;
    default: return kNothing;
  }
}

std::span<const unsigned> Anion(Family family) {
  switch (family) {
    case kBoron: return k4;
    case kCarbon: return k3;
    case kNitrogen: return k2;
    case kOxygen: case kSulfur: return k1;
    case kHalogen: return k0;
    default: return kNothing;
  }
}

}  // namespace

std::span<const unsigned> QvStandardValences(unsigned atomic_num, int charge) {
  const Family family = FamilyOf(atomic_num);
  switch (charge) {
    case 0: return Neutral(family);
    case 1: return Cation(family);
    case -1: return Anion(family);
    default: return kNothing;
  }
}

unsigned QvTargetValence(unsigned atomic_num, int charge, unsigned used) {
  for (const unsigned valence : QvStandardValences(atomic_num, charge))
    if (valence >= used) return valence;
  return 0;
}

}  // namespace Tamrin
