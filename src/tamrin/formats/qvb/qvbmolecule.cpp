// Molecule, multi-conformer and conformer records: their payloads, the read
// functions the default handler registers, and the record writers.
#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <utility>
#include <memory>
#include <span>
#include <vector>

#include <zstd.h>

#include "pellar/halffloat.h"
#include "pellar/qvgzstream.h"
#include "pellar/qvsstream.h"
#include "sorvil/error/errorhandler.h"
#include "tamrin/formats/qvb/qvb.h"
#include "tamrin/formats/qvb/qvbdata.h"
#include "tamrin/formats/qvb/qvbpayload.h"
#include "tamrin/model/model.h"

namespace Tamrin {

using Sorvil::QVBCursor;
using Sorvil::QVBReturn;
using Sorvil::QvBinaryIOHandler;
using Sorvil::QvReadFxn;

namespace {

using namespace qvb;

constexpr QVBReturn kOk = Sorvil::QVBSuccess;
constexpr QVBReturn kCheck = Sorvil::QVBCheckFailed;
constexpr QVBReturn kSize = Sorvil::QVBIncorrectSize;

// Perception bits arrive with the connection table but are applied when the
// enclosing molecule record is complete: setting coordinates and flags on
// the way clears them.
thread_local unsigned pending_perceived = 0;

float Swapped(float v) {
  std::uint32_t bits = 0;
  std::memcpy(&bits, &v, sizeof bits);
  bits = __builtin_bswap32(bits);
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

// ---- connection table ----

std::uint64_t ZigOf(std::int64_t v) { return (static_cast<std::uint64_t>(v) << 1) ^ static_cast<std::uint64_t>(v >> 63); }
std::int64_t Unzig(std::uint64_t v) { return static_cast<std::int64_t>(v >> 1) ^ -static_cast<std::int64_t>(v & 1); }

// Version 1 spends at least 8 bytes on an atom and 5 on a bond; version 2
// (written) packs the common case, an atom of a common element with only
// hydrogens and flags, into 1 byte and a common bond into 1.
constexpr unsigned kCTVersion = 2;

constexpr unsigned kAromatic = 1;
constexpr unsigned kInRing = 2;

// A version 2 atom of a common element with at most 3 implicit hydrogens is
// one byte: the element's place in this table plus one in the low bits,
// hydrogens, flags. Other atoms start with a 0 byte, then the atomic number
// and a byte of implicit hydrogens below 7 in the low bits (7: a count byte
// follows) and flags. Either form's extras bit says that a byte follows
// naming the rarer fields after it, in bit order.
constexpr unsigned kCommonElements[] = {6, 7, 8, 16, 9, 17, 35};
constexpr unsigned kShortElementMask = 0x07;
constexpr unsigned kShortHydrogenShift = 3;
constexpr unsigned kShortHydrogens = 0x03;
constexpr unsigned kShortAromatic = 0x20;
constexpr unsigned kShortInRing = 0x40;
constexpr unsigned kShortExtras = 0x80;
constexpr unsigned kHydrogenMask = 0x07;
constexpr unsigned kAtomAromatic = 0x08;
constexpr unsigned kAtomInRing = 0x10;
constexpr unsigned kAtomExtras = 0x20;
constexpr unsigned kHasIsotope = 0x01;
constexpr unsigned kHasCharge = 0x02;
constexpr unsigned kHasFlag = 0x04;
constexpr unsigned kHasMap = 0x08;
constexpr unsigned kHasAux = 0x10;
// Version 2 bond byte: the order below 15 in the low bits (15: the order
// follows as a varint), then flags. The integer type is most often the
// order itself.
constexpr unsigned kOrderMask = 0x0F;
constexpr unsigned kBondAromatic = 0x10;
constexpr unsigned kBondInRing = 0x20;
constexpr unsigned kTypeIsOrder = 0x40;
constexpr unsigned kHasIntType = 0x80;
// A version 2 bond is placed by two steps: from the previous bond's first
// atom to its own, and from there to its second atom. Bonds listed along the
// molecule take a few steps and a few kinds (the bond byte above) most of
// the time: such a bond is one byte, the place of its steps in the first
// table in the low four bits and the place of its bond byte in the second
// above them. Other bonds start with the byte 0x70, then one varint holding
// both steps (zigzag; the first in the low four bits, 15 meaning that the
// rest of it follows as a varint), then the bond byte and what it calls for.
constexpr std::pair<std::int64_t, std::int64_t> kShortBondSteps[16] = {
    {1, 1}, {0, 2}, {0, 1},  {2, 1},  {2, -1},  {1, -1}, {3, 1},  {-1, 3},
    {0, 3}, {4, 1}, {2, -2}, {0, -8}, {0, -9}, {0, -5}, {-1, 4}, {0, -6},
};
static_assert(std::ranges::none_of(kShortBondSteps, [](const auto& steps) { return steps.second == 0; }));
constexpr unsigned kShortBondFlags[7] = {0x41, 0x61, 0x42, 0x71, 0x72, 0x62, 0x43};
constexpr unsigned kShortStepMask = 0x0F;
constexpr unsigned kShortKindShift = 4;
constexpr unsigned kLongBond = 0x70;
constexpr unsigned kStepBits = 4;
constexpr unsigned kStepEscape = 15;

struct AtomFields {
  unsigned atomic_num = 0, isotope = 0, hydrogens = 0, flag = 0, map = 0, aux = 0;
  std::int64_t charge = 0;
  bool aromatic = false, in_ring = false;
};

struct BondFields {
  std::uint64_t bgn = 0, end = 0;
  unsigned order = 0, type = 0;
  bool aromatic = false, in_ring = false;
};

void AppendAtom(Bytes& b, const QvAtomBase& atom) {
  const unsigned hydrogens = atom.GetImplicitHCount();
  const unsigned extras = (atom.GetIsotope() ? kHasIsotope : 0) | (atom.GetFormalCharge() ? kHasCharge : 0) |
                          (atom.GetFlag() ? kHasFlag : 0) | (atom.GetMapIdx() ? kHasMap : 0) |
                          (atom.GetAux() ? kHasAux : 0);
  const auto common = std::find(std::begin(kCommonElements), std::end(kCommonElements), atom.GetAtomicNum());
  if (common != std::end(kCommonElements) && hydrogens <= kShortHydrogens) {
    b.u8((static_cast<unsigned>(common - std::begin(kCommonElements)) + 1) | hydrogens << kShortHydrogenShift |
         (atom.IsAromatic() ? kShortAromatic : 0) | (atom.IsInRing() ? kShortInRing : 0) |
         (extras ? kShortExtras : 0));
  } else {
    b.u8(0);
    b.var(atom.GetAtomicNum());
    b.u8(std::min(hydrogens, kHydrogenMask) | (atom.IsAromatic() ? kAtomAromatic : 0) |
         (atom.IsInRing() ? kAtomInRing : 0) | (extras ? kAtomExtras : 0));
    if (hydrogens >= kHydrogenMask) b.u8(hydrogens);
  }
  if (!extras) return;
  b.u8(extras);
  if (extras & kHasIsotope) b.var(atom.GetIsotope());
  if (extras & kHasCharge) b.zig(atom.GetFormalCharge());
  if (extras & kHasFlag) b.u8(atom.GetFlag());
  if (extras & kHasMap) b.var(atom.GetMapIdx());
  if (extras & kHasAux) b.var(atom.GetAux());
}

void AppendBond(Bytes& b, unsigned previous, unsigned bgn, unsigned end, const QvBondBase& bond) {
  const unsigned order = bond.GetOrder();
  const unsigned type = bond.GetIntType();
  const std::int64_t bgn_step = static_cast<std::int64_t>(bgn) - static_cast<std::int64_t>(previous);
  const std::int64_t end_step = static_cast<std::int64_t>(end) - static_cast<std::int64_t>(bgn);
  const unsigned flags = std::min(order, kOrderMask) | (bond.IsAromatic() ? kBondAromatic : 0) |
                         (bond.IsInRing() ? kBondInRing : 0) | (type == order ? kTypeIsOrder : type ? kHasIntType : 0);
  const auto kind = std::find(std::begin(kShortBondFlags), std::end(kShortBondFlags), flags);
  const auto steps = std::find(std::begin(kShortBondSteps), std::end(kShortBondSteps), std::pair{bgn_step, end_step});
  if (kind != std::end(kShortBondFlags) && steps != std::end(kShortBondSteps)) {
    b.u8(static_cast<unsigned>(steps - std::begin(kShortBondSteps)) |
         static_cast<unsigned>(kind - std::begin(kShortBondFlags)) << kShortKindShift);
    return;
  }
  b.u8(kLongBond);
  const std::uint64_t step = ZigOf(bgn_step);
  const std::uint64_t low = std::min<std::uint64_t>(step, kStepEscape);
  b.var(low | ZigOf(end_step) << kStepBits);
  if (low == kStepEscape) b.var(step - kStepEscape);
  b.u8(flags);
  if (order >= kOrderMask) b.var(order);
  if (type && type != order) b.var(type);
}

std::string CTPayload(const QvMolBase& mol) {
  std::string out;
  Bytes b(out);
  b.u8(kCTVersion);
  b.var(mol.NumAtoms());
  b.var(mol.NumBonds());
  unsigned perceived = 0;
  for (unsigned bit = 1; bit != 0; bit <<= 1)
    if (mol.HasPerceived(bit)) perceived |= bit;
  b.var(perceived);
  thread_local std::vector<unsigned> position;
  position.assign(mol.GetMaxAtomIdx(), 0);
  unsigned next = 0;
  for (const QvAtomBase& atom : mol.GetAtoms()) {
    position[atom.GetIdx()] = next++;
    AppendAtom(b, atom);
  }
  unsigned previous = 0;
  for (const QvBondBase& bond : mol.GetBonds()) {
    const unsigned bgn = position[bond.GetBgn()->GetIdx()];
    AppendBond(b, previous, bgn, position[bond.GetEnd()->GetIdx()], bond);
    previous = bgn;
  }
  return out;
}

bool ReadAtomV1(QVBCursor& in, AtomFields& a) {
  unsigned bits = 0;
  if (!Var32(in, a.atomic_num) || !Var32(in, a.isotope) || !Zig(in, a.charge) || !U8(in, a.hydrogens) ||
      !U8(in, a.flag) || !U8(in, bits) || !Var32(in, a.map) || !Var32(in, a.aux))
    return false;
  a.aromatic = bits & kAromatic;
  a.in_ring = bits & kInRing;
  return true;
}

// The one-byte form of a version 2 atom (its element bits are not 0):
// element, hydrogens and flags; the extras bit is the caller's.
[[gnu::always_inline]] inline AtomFields ShortAtom(unsigned lead) {
  return AtomFields{.atomic_num = kCommonElements[(lead & kShortElementMask) - 1],
                    .hydrogens = lead >> kShortHydrogenShift & kShortHydrogens,
                    .aromatic = (lead & kShortAromatic) != 0,
                    .in_ring = (lead & kShortInRing) != 0};
}

bool ReadAtomV2(QVBCursor& in, AtomFields& a) {
  unsigned lead = 0;
  unsigned bits = 0;
  unsigned extras = 0;
  if (!U8(in, lead)) return false;
  if (lead & kShortElementMask) {
    a = ShortAtom(lead);
    if (!(lead & kShortExtras)) return true;
  } else {
    if (lead != 0 || !Var32(in, a.atomic_num) || !U8(in, bits) || bits >= 2 * kAtomExtras) return false;
    a.hydrogens = bits & kHydrogenMask;
    a.aromatic = bits & kAtomAromatic;
    a.in_ring = bits & kAtomInRing;
    if (a.hydrogens == kHydrogenMask && !U8(in, a.hydrogens)) return false;
    if (!(bits & kAtomExtras)) return true;
  }
  return U8(in, extras) && extras < 2 * kHasAux && (!(extras & kHasIsotope) || Var32(in, a.isotope)) &&
         (!(extras & kHasCharge) || Zig(in, a.charge)) && (!(extras & kHasFlag) || U8(in, a.flag)) &&
         (!(extras & kHasMap) || Var32(in, a.map)) && (!(extras & kHasAux) || Var32(in, a.aux));
}

bool ReadBondV1(QVBCursor& in, BondFields& b) {
  unsigned bits = 0;
  if (!Var(in, b.bgn) || !Var(in, b.end) || !Var32(in, b.order) || !U8(in, bits) || !Var32(in, b.type))
    return false;
  b.aromatic = bits & kAromatic;
  b.in_ring = bits & kInRing;
  return true;
}

// A version 2 bond's ends from its steps, and its order and flags from its
// bond byte; the order's escape and the integer type are the caller's.
[[gnu::always_inline]] inline void PlaceBond(std::uint64_t previous, std::int64_t bgn_step, std::int64_t end_step,
                                             unsigned bits, BondFields& b) {
  // Wraps for a negative atom; the range check that follows refuses it.
  b.bgn = previous + static_cast<std::uint64_t>(bgn_step);
  b.end = b.bgn + static_cast<std::uint64_t>(end_step);
  b.order = bits & kOrderMask;
  b.aromatic = bits & kBondAromatic;
  b.in_ring = bits & kBondInRing;
}

// The one-byte form of a version 2 bond (below kLongBond): its steps and
// kind from the tables, whose orders need no escape and whose types are
// the order or none.
[[gnu::always_inline]] inline BondFields ShortBond(unsigned lead, std::uint64_t previous) {
  const unsigned bits = kShortBondFlags[lead >> kShortKindShift];
  const auto [bgn_step, end_step] = kShortBondSteps[lead & kShortStepMask];
  BondFields b;
  PlaceBond(previous, bgn_step, end_step, bits, b);
  if (bits & kTypeIsOrder) b.type = b.order;
  return b;
}

bool ReadBondV2(QVBCursor& in, std::uint64_t previous, BondFields& b) {
  unsigned lead = 0;
  std::uint64_t steps = 0;
  std::uint64_t more = 0;
  unsigned bits = 0;
  if (!U8(in, lead) || lead > kLongBond) return false;
  if (lead != kLongBond) {
    b = ShortBond(lead, previous);
    return true;
  }
  if (!Var(in, steps) || ((steps & kStepEscape) == kStepEscape && !Var(in, more)) || !U8(in, bits) ||
      (bits & kTypeIsOrder && bits & kHasIntType))
    return false;
  PlaceBond(previous, Unzig((steps & kStepEscape) + more), Unzig(steps >> kStepBits), bits, b);
  if (b.order == kOrderMask && !Var32(in, b.order)) return false;
  if (bits & kTypeIsOrder) b.type = b.order;
  return !(bits & kHasIntType) || Var32(in, b.type);
}

// Most version 2 atoms and bonds are one byte: the loop over them decodes
// those itself, in registers, and calls these for every other form.
bool ReadLongAtom(QVBCursor& in, unsigned version, AtomFields& a) {
  return version == 1 ? ReadAtomV1(in, a) : ReadAtomV2(in, a);
}

bool ReadLongBond(QVBCursor& in, unsigned version, std::uint64_t previous, BondFields& b) {
  return version == 1 ? ReadBondV1(in, b) : ReadBondV2(in, previous, b);
}

// Whether a lead byte, as QVBCursor::peek gives it (-1 at the end), is a
// whole version 2 atom or bond.
bool IsShortAtom(int lead) { return static_cast<unsigned>(lead) < kShortExtras && (lead & kShortElementMask); }
bool IsShortBond(int lead) { return static_cast<unsigned>(lead) < kLongBond; }

// Sets what differs from a new atom's zeros; false when a value is refused.
bool SetAtomFields(QvAtomBase* atom, const AtomFields& a) {
  if (!atom || atom->GetAtomicNum() != a.atomic_num || (a.isotope && !atom->SetIsotope(a.isotope)) ||
      a.charge < INT32_MIN || a.charge > INT32_MAX ||
      (a.charge && !atom->SetFormalCharge(static_cast<int>(a.charge))) ||
      (a.hydrogens && !atom->SetImplicitHCount(a.hydrogens)) || (a.map && !atom->SetMapIdx(a.map)))
    return false;
  if (a.flag) atom->SetFlag(static_cast<std::uint8_t>(a.flag));
  if (a.aux) atom->SetAux(a.aux);
  if (a.aromatic) atom->SetAromatic(true);
  if (a.in_ring) atom->SetInRing(true);
  return true;
}

bool SetBondFields(QvBondBase* bond, const BondFields& b) {
  if (!bond || bond->GetOrder() != b.order || (b.type && !bond->SetIntType(b.type))) return false;
  if (b.aromatic) bond->SetAromatic(true);
  if (b.in_ring) bond->SetInRing(true);
  return true;
}

// Builds atoms and bonds through the molecule's virtual interface.
class AnyBuilder {
 public:
  explicit AnyBuilder(QvMolBase& mol) : mol_(mol) {
    // Kept per thread: a file of small molecules allocates this once.
    thread_local std::vector<QvAtomBase*> made;
    made.clear();
    made_ = &made;
  }
  bool Atom(const AtomFields& a) {
    QvAtomBase* atom = mol_.NewAtom(a.atomic_num);
    if (!SetAtomFields(atom, a)) return false;
    made_->push_back(atom);
    return true;
  }
  void BeginBonds() {}
  // The ends are two different atoms this builder made (checked by the caller).
  bool Bond(const BondFields& b) {
    return SetBondFields(mol_.NewBond((*made_)[b.bgn], (*made_)[b.end], b.order), b);
  }

 private:
  QvMolBase& mol_;
  std::vector<QvAtomBase*>* made_;
};

// Builds into the toolkit's own molecule classes, each atom and bond made
// with all its fields at once; the molecule had no atoms, so atom i is the
// i-th of its list.
template <class Graph>
class GraphBuilder {
 public:
  GraphBuilder(Graph& mol, std::uint64_t atoms, std::uint64_t bonds) : mol_(mol) {
    mol.PrepareFill(static_cast<unsigned>(atoms), static_cast<unsigned>(bonds));
  }
  // False for a charge the model cannot hold, as SetFormalCharge would refuse it.
  bool Atom(const AtomFields& a) {
    if (a.charge < INT16_MIN || a.charge > INT16_MAX) return false;
    mol_.AddAtom(QvAtomFields{.atomic_num = a.atomic_num,
                              .isotope = a.isotope,
                              .map_idx = a.map,
                              .aux = a.aux,
                              .formal_charge = static_cast<std::int16_t>(a.charge),
                              .implicit_h = static_cast<std::uint8_t>(a.hydrogens),
                              .flag = static_cast<std::uint8_t>(a.flag),
                              .aromatic = a.aromatic,
                              .in_ring = a.in_ring});
    return true;
  }
  // After the last atom: the list no longer moves, and its start is kept
  // here rather than read through the molecule for every bond.
  void BeginBonds() { atoms_ = mol_.AtomList().data(); }
  // The ends are two different atoms of the table (checked by the caller).
  bool Bond(const BondFields& b) {
    mol_.AddBond(static_cast<QvAtom*>(atoms_[b.bgn]), static_cast<QvAtom*>(atoms_[b.end]),
                 QvBondFields{.order = b.order, .int_type = b.type, .aromatic = b.aromatic, .in_ring = b.in_ring});
    return true;
  }

 private:
  Graph& mol_;
  QvAtomBase* const* atoms_ = nullptr;
};

// Version 1 has no one-byte forms: its loops do not look for them.
template <unsigned Version, class Builder>
QVBReturn ReadAtomsAndBonds(QVBCursor& in, std::uint64_t atoms, std::uint64_t bonds, Builder builder) {
  constexpr bool kShortForms = Version != 1;
  for (std::uint64_t i = 0; i < atoms; ++i) {
    if (const int lead = in.peek(); kShortForms && IsShortAtom(lead)) {
      in.get();
      if (!builder.Atom(ShortAtom(static_cast<unsigned>(lead)))) return kCheck;
      continue;
    }
    AtomFields a;
    if (!ReadLongAtom(in, Version, a)) return kSize;
    if (!builder.Atom(a)) return kCheck;
  }
  builder.BeginBonds();
  // Two atoms of the table; a one-byte bond always joins two different ones.
  const auto add = [&](const BondFields& b) { return b.bgn < atoms && b.end < atoms && builder.Bond(b); };
  std::uint64_t previous = 0;
  for (std::uint64_t i = 0; i < bonds; ++i) {
    if (const int lead = in.peek(); kShortForms && IsShortBond(lead)) {
      in.get();
      const BondFields b = ShortBond(static_cast<unsigned>(lead), previous);
      if (!add(b)) return kCheck;
      previous = b.bgn;
      continue;
    }
    BondFields b;
    if (!ReadLongBond(in, Version, previous, b)) return kSize;
    if (b.bgn == b.end || !add(b)) return kCheck;
    previous = b.bgn;
  }
  return kOk;
}

QVBReturn ReadCT(QVBCursor& in, QvMolBase& mol, const QvBinaryIOHandler&) {
  unsigned version = 0;
  std::uint64_t atoms = 0;
  std::uint64_t bonds = 0;
  unsigned perceived = 0;
  if (!U8(in, version) || (version != 1 && version != kCTVersion)) return kCheck;
  if (!Var(in, atoms) || !Var(in, bonds) || !Var32(in, perceived)) return kSize;
  if (mol.HasAtoms()) return kCheck;
  // The smallest encodings: 8 and 5 bytes in version 1, 1 and 1 in version 2.
  const std::uint64_t atom_bytes = version == 1 ? 8 : 1;
  const std::uint64_t bond_bytes = version == 1 ? 5 : 1;
  if (atoms > in.left() / atom_bytes || bonds > (in.left() - atoms * atom_bytes) / bond_bytes) return kSize;
  // The counts are within what the bytes left can hold. A molecule without
  // atoms may still hold deleted ones: only a fresh list numbers atoms by place.
  // Version 1 tables, from older files only, go through the general builder.
  QVBReturn result = kOk;
  if (version == 1) {
    result = ReadAtomsAndBonds<1>(in, atoms, bonds, AnyBuilder(mol));
  } else if (auto* graph = Sorvil::QvCast<QvMolBaseImpl>(&mol); graph && graph->AtomList().empty()) {
    result = ReadAtomsAndBonds<kCTVersion>(in, atoms, bonds, GraphBuilder<QvMolGraphImpl<QvMolBase>>(*graph, atoms, bonds));
  } else if (auto* mc = Sorvil::QvCast<QvMol>(&mol); mc && mc->AtomList().empty()) {
    result = ReadAtomsAndBonds<kCTVersion>(in, atoms, bonds, GraphBuilder<QvMolGraphImpl<QvMCMolBase>>(*mc, atoms, bonds));
  } else {
    result = ReadAtomsAndBonds<kCTVersion>(in, atoms, bonds, AnyBuilder(mol));
  }
  if (result != kOk) return result;
  pending_perceived = perceived;
  return in.at_end() ? kOk : kSize;
}

// ---- coordinates, title, energy, dimension ----

// The molecule's coordinates in atom order; empty when all are (0, 0, 0).
std::vector<float> AtomCoords(const QvMolBase& mol, const QvConfBase* conf) {
  std::vector<float> all(3 * static_cast<std::size_t>(mol.GetMaxAtomIdx()));
  if (conf ? !conf->GetCoords(all.data()) : !mol.GetCoords(all.data())) return {};
  std::vector<float> out;
  out.reserve(3 * static_cast<std::size_t>(mol.NumAtoms()));
  bool any = false;
  for (const QvAtomBase& atom : mol.GetAtoms())
    for (unsigned k = 0; k < 3; ++k) {
      const float v = all[3 * static_cast<std::size_t>(atom.GetIdx()) + k];
      any = any || v != 0.0f;
      out.push_back(v);
    }
  if (!any) out.clear();
  return out;
}

std::string MarkedFloats(const float* values, std::size_t n) {
  std::string out(1, static_cast<char>(kMarker));
  out.append(reinterpret_cast<const char*>(values), n * sizeof(float));
  return out;
}

// Room for a large molecule's coordinates, kept per thread; apart, so that
// small molecules do not look up the thread's storage.
[[gnu::noinline]] float* LargeCoords(std::size_t n) {
  thread_local std::vector<float> large;
  large.resize(n);
  return large.data();
}

QVBReturn ReadFloatCoord(QVBCursor& in, QvMolBase& mol, const QvBinaryIOHandler&) {
  unsigned marker = 0;
  if (!U8(in, marker)) return kSize;
  const std::size_t n = 3 * static_cast<std::size_t>(mol.NumAtoms());
  if (in.left() != n * sizeof(float) || mol.GetMaxAtomIdx() != mol.NumAtoms()) return kSize;
  // A small molecule's values pass through the stack.
  constexpr std::size_t kOnStack = 3 * 128;
  float stack[kOnStack];
  float* const xyz = n <= kOnStack ? stack : LargeCoords(n);
  if (n) std::memcpy(xyz, in.pos(), n * sizeof(float));  // no atoms: the payload may have no storage
  if (marker != kMarker)
    for (float& v : std::span(xyz, n)) v = Swapped(v);
  const unsigned char* rest = nullptr;
  in.take(in.left(), rest);
  if (!mol.SetCoords(xyz)) return kCheck;
  mol.SetDimension(3);
  return kOk;
}

template <class T>
QVBReturn ReadTitle(QVBCursor& in, T& object, const QvBinaryIOHandler&) {
  std::string_view title;
  in.take(in.left(), title);
  object.SetTitle(std::string(title));
  return kOk;
}

template <class T>
QVBReturn ReadEnergy(QVBCursor& in, T& object, const QvBinaryIOHandler&) {
  unsigned marker = 0;
  float energy = 0.0f;
  if (!U8(in, marker) || !Raw(in, energy) || !in.at_end()) return kSize;
  object.SetEnergy(marker == kMarker ? energy : Swapped(energy));
  return kOk;
}

template <class T>
QVBReturn ReadDimension(QVBCursor& in, T& object, const QvBinaryIOHandler&) {
  unsigned dimension = 0;
  if (!U8(in, dimension) || !in.at_end()) return kSize;
  return object.SetDimension(dimension) ? kOk : kCheck;
}

std::string EnergyPayload(float energy) { return MarkedFloats(&energy, 1); }

bool WantsEnergy(float energy) { return energy != 0.0f && !std::isnan(energy); }

// ---- generic data ----

template <class T>
QVBReturn ReadObjectData(QVBCursor& in, T& object, const QvBinaryIOHandler&) {
  return ReadData(in, object);
}

// Without deleted records the lists are the owners, no record asked.
template <bool Atoms>
QVBReturn ReadOwnedData(QVBCursor& in, QvMolBase& mol, const QvBinaryIOHandler&) {
  if constexpr (Atoms) {
    if (mol.DeletedAtomCount() == 0) return ReadOwnersData(in, std::span<QvAtomBase* const>(mol.AtomList()));
    std::vector<QvAtomBase*> owners;
    for (QvAtomBase& atom : mol.GetAtoms()) owners.push_back(&atom);
    return ReadOwnersData(in, std::span<QvAtomBase* const>(owners));
  } else {
    if (mol.DeletedBondCount() == 0) return ReadOwnersData(in, std::span<QvBondBase* const>(mol.BondList()));
    std::vector<QvBondBase*> owners;
    for (QvBondBase& bond : mol.GetBonds()) owners.push_back(&bond);
    return ReadOwnersData(in, std::span<QvBondBase* const>(owners));
  }
}

template <class Range>
std::string OwnedDataPayload(Range objects) {
  DataWriter writer;
  long position = 0;
  for (const auto& object : objects) writer.Items(object, position++);
  return writer.Lists() ? writer.Finish(true) : std::string();
}

std::string ObjectDataPayload(const Sorvil::QvBase& object) {
  DataWriter writer;
  return writer.Items(object) ? writer.Finish(false) : std::string();
}

// The records a graph molecule and a multi-conformer molecule share.
void AppendGraphRecords(std::string& out, const QvMolBase& mol) {
  if (*mol.GetTitle()) Sorvil::QVBAppendRecord(out, "QvMolTitle", mol.GetTitle());
  Sorvil::QVBAppendRecord(out, "QvMolCT", CTPayload(mol));
}

void AppendDataRecords(std::string& out, const QvMolBase& mol) {
  Sorvil::QVBAppendRecord(out, "QvBasePOD", ObjectDataPayload(mol));
  Sorvil::QVBAppendRecord(out, "QvAtomPOD", OwnedDataPayload(mol.GetAtoms()));
  Sorvil::QVBAppendRecord(out, "QvBondPOD", OwnedDataPayload(mol.GetBonds()));
  AppendUnknownRecords(out, mol);
}

// ---- the graph molecule record ----

QVBReturn ReadMolRecord(QVBCursor& in, QvMolBase& mol, const QvBinaryIOHandler& handler) {
  mol.SetDimension(3);
  pending_perceived = 0;
  const QVBReturn result = handler.ReadRecords(in, mol, QvMolBase::TypeId);
  mol.ClearPerceived();
  mol.SetPerceived(pending_perceived, true);
  return result;
}

std::string MolPayload(const QvMolBase& mol) {
  std::string out;
  AppendGraphRecords(out, mol);
  if (mol.HasAtoms()) {
    const std::vector<float> xyz = AtomCoords(mol, nullptr);
    if (!xyz.empty()) Sorvil::QVBAppendRecord(out, "QvMolFloatCoord", MarkedFloats(xyz.data(), xyz.size()));
    if (WantsEnergy(mol.GetEnergy())) Sorvil::QVBAppendRecord(out, "QvMolEnergy", EnergyPayload(mol.GetEnergy()));
  }
  // After the coordinates, which set 3.
  if (mol.GetDimension() != 3) {
    const char dimension = static_cast<char>(mol.GetDimension());
    Sorvil::QVBAppendRecord(out, "QvMolDimension", std::string_view(&dimension, 1));
  }
  AppendDataRecords(out, mol);
  return out;
}

// ---- conformers ----

enum class CoordForm { Float, Half, Double };

// Coordinates read from decimal text (4 decimals in SD files) are stored as
// integers scaled by a power of ten: small numbers that compress, where a
// float's low bits do not. The writer uses this form only when every value
// comes back bit for bit.
constexpr unsigned char kScaledMarker = 0x01;
constexpr unsigned kMaxDecimals = 6;
constexpr unsigned kDecimalsMask = 0x07;
constexpr unsigned kZeroZ = 0x10;
constexpr unsigned kZeroXY = 0x20;
constexpr unsigned kNegativeZeros = 0x40;
// A drawn conformer says so here rather than in a dimension record.
constexpr unsigned kFlat = 0x80;
constexpr double kPow10[kMaxDecimals + 1] = {1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6};

// The one conversion both directions use, so that a value the writer checked
// is the value the reader makes.
float Unscaled(std::int64_t scaled, unsigned decimals) {
  return static_cast<float>(static_cast<double>(scaled) / kPow10[decimals]);
}

// The scaled values of `xyz` (atom-major), or false when some value does not
// come back exactly with `decimals` (NaN, infinity and values beyond 2^50
// never do). Text gives -0 ("-0.0000") often enough that those values are
// listed apart, in `negative_zeros`, and scaled as 0.
bool Scaled(const std::vector<float>& xyz, unsigned decimals, std::vector<std::int64_t>& out,
            std::vector<std::size_t>& negative_zeros) {
  out.clear();
  negative_zeros.clear();
  for (const float v : xyz) {
    if (v == 0.0f && std::signbit(v)) negative_zeros.push_back(out.size());
    const double s = static_cast<double>(v) * kPow10[decimals];
    if (!(std::fabs(s) < 0x1p50)) return false;
    const auto i = static_cast<std::int64_t>(std::llround(s));
    if (std::bit_cast<std::uint32_t>(Unscaled(i, decimals)) != std::bit_cast<std::uint32_t>(std::fabs(v) == 0 ? 0.0f : v))
      return false;
    out.push_back(i);
  }
  return true;
}

// Each atom's x and y are predicted from atoms placed before it and only the
// miss is stored. Drawn molecules have one bond length and a few angles, so
// turning the bond into an atom's parent by one of these angles lands within
// a unit or two of the atom. Fixed point (1 = 2^14) keeps the prediction the
// same on every machine; it need not be accurate, only repeatable.
//
// An atom's x and y take one byte when some predictor misses by at most one
// unit on each axis: predictor + 16 * (dx + 1 + 3 * (dy + 1)), below 144.
// Otherwise the byte is 144 + predictor and the misses follow as zigzag
// varints.
constexpr unsigned kPredictors = 16;
constexpr unsigned kLongMiss = 144;
constexpr std::int64_t kTurnOne = 1 << 14;
struct Turn {
  std::int64_t c, s;
};
// Predictor 2 + i; 0 is the previous atom, 1 the parent atom.
constexpr Turn kTurns[kPredictors - 2] = {
    {8192, 14189},   {8192, -14189},  {16384, 0},      {5063, 15582}, {5063, -15582},
    {0, 16384},      {0, -16384},     {-8192, 14189},  {-8192, -14189}, {13255, 9630},
    {13255, -9630},  {-13255, 9630},  {-13255, -9630}, {-16384, 0},
};
// Beyond this a turned bond could overflow; such atoms are predicted from the
// parent alone.
constexpr std::int64_t kTurnLimit = std::int64_t{1} << 40;

// For each atom, its bonded atom of highest position before it, or -1.
void Parents(const QvMolBase& mol, std::vector<long>& parent) {
  thread_local std::vector<unsigned> position;
  position.assign(mol.GetMaxAtomIdx(), 0);
  unsigned next = 0;
  for (const QvAtomBase& atom : mol.GetAtoms()) position[atom.GetIdx()] = next++;
  parent.assign(next, -1);
  for (const QvBondBase& bond : mol.GetBonds()) {
    const unsigned a = position[bond.GetBgn()->GetIdx()];
    const unsigned b = position[bond.GetEnd()->GetIdx()];
    if (a == b) continue;
    const unsigned hi = std::max(a, b);
    parent[hi] = std::max(parent[hi], static_cast<long>(std::min(a, b)));
  }
}

// The prediction of atom i's x and y by `predictor`, from the values of the
// atoms before it. Unsigned, so that values a damaged record makes up wrap
// instead of overflowing.
std::pair<std::uint64_t, std::uint64_t> Predict(const std::vector<std::uint64_t>& x, const std::vector<std::uint64_t>& y,
                                                const std::vector<long>& parent, std::size_t i, unsigned predictor) {
  const long p = parent[i];
  if (predictor == 0 || p < 0) return i == 0 ? std::pair<std::uint64_t, std::uint64_t>{0, 0} : std::pair{x[i - 1], y[i - 1]};
  const long g = parent[static_cast<std::size_t>(p)];
  if (predictor == 1 || g < 0) return {x[p], y[p]};
  const auto vx = static_cast<std::int64_t>(x[p] - x[g]);
  const auto vy = static_cast<std::int64_t>(y[p] - y[g]);
  if (vx <= -kTurnLimit || vx >= kTurnLimit || vy <= -kTurnLimit || vy >= kTurnLimit) return {x[p], y[p]};
  const Turn t = kTurns[predictor - 2];
  // Rounded to nearest; >> of a negative number is a floor in C++20.
  const std::int64_t rx = (t.c * vx - t.s * vy + kTurnOne / 2) >> 14;
  const std::int64_t ry = (t.s * vx + t.c * vy + kTurnOne / 2) >> 14;
  return {x[p] + static_cast<std::uint64_t>(rx), y[p] + static_cast<std::uint64_t>(ry)};
}


unsigned VarBytes(std::uint64_t v) {
  unsigned n = 1;
  while (v >>= 7) ++n;
  return n;
}

// Appends the scaled form of `xyz`, or returns false for raw floats.
bool AppendScaled(std::string& out, const QvMolBase& mol, const std::vector<float>& xyz, bool flat) {
  thread_local std::vector<std::int64_t> scaled;
  thread_local std::vector<std::size_t> negative_zeros;
  unsigned decimals = 0;
  while (!Scaled(xyz, decimals, scaled, negative_zeros))
    if (++decimals > kMaxDecimals) return false;
  const std::size_t n = scaled.size() / 3;
  bool zero_z = true;
  bool zero_xy = true;
  for (std::size_t i = 0; i < n; ++i) {
    zero_xy = zero_xy && scaled[3 * i] == 0 && scaled[3 * i + 1] == 0;
    zero_z = zero_z && scaled[3 * i + 2] == 0;
  }
  Bytes b(out);
  b.u8(kScaledMarker);
  b.u8(decimals | (zero_z ? kZeroZ : 0) | (zero_xy ? kZeroXY : 0) | (negative_zeros.empty() ? 0 : kNegativeZeros) |
       (flat ? kFlat : 0));
  if (!zero_xy) {
    thread_local std::vector<long> parent;
    thread_local std::vector<std::uint64_t> x, y;
    Parents(mol, parent);
    x.resize(n);
    y.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
      x[i] = static_cast<std::uint64_t>(scaled[3 * i]);
      y[i] = static_cast<std::uint64_t>(scaled[3 * i + 1]);
    }
    for (std::size_t i = 0; i < n; ++i) {
      unsigned best_bytes = UINT_MAX;
      unsigned best = 0;
      std::int64_t best_x = 0, best_y = 0;
      for (unsigned k = 0; k < kPredictors && best_bytes > 1; ++k) {
        const auto [px, py] = Predict(x, y, parent, i, k);
        const auto dx = static_cast<std::int64_t>(x[i] - px);
        const auto dy = static_cast<std::int64_t>(y[i] - py);
        const unsigned bytes = dx >= -1 && dx <= 1 && dy >= -1 && dy <= 1 ? 1 : 1 + VarBytes(ZigOf(dx)) + VarBytes(ZigOf(dy));
        if (bytes < best_bytes) {
          best_bytes = bytes;
          best = k;
          best_x = dx;
          best_y = dy;
        }
      }
      if (best_bytes == 1) {
        b.u8(best + kPredictors * static_cast<unsigned>(best_x + 1 + 3 * (best_y + 1)));
      } else {
        b.u8(kLongMiss + best);
        b.zig(best_x);
        b.zig(best_y);
      }
    }
  }
  if (!zero_z) {
    std::int64_t last = 0;
    for (std::size_t i = 0; i < n; ++i) {
      b.zig(scaled[3 * i + 2] - last);
      last = scaled[3 * i + 2];
    }
  }
  if (!negative_zeros.empty()) {
    b.var(negative_zeros.size());
    std::size_t previous = 0;
    for (const std::size_t at : negative_zeros) {
      b.var(at - previous);
      previous = at;
    }
  }
  return true;
}

bool ReadScaled(QVBCursor& in, const QvMolBase& mol, std::vector<float>& xyz, bool& flat) {
  unsigned form = 0;
  if (!U8(in, form) || (form & ~(kDecimalsMask | kZeroZ | kZeroXY | kNegativeZeros | kFlat)) ||
      (form & kDecimalsMask) > kMaxDecimals)
    return false;
  flat = form & kFlat;
  const unsigned decimals = form & kDecimalsMask;
  const std::size_t n = xyz.size() / 3;
  // Each stored value takes at least a byte.
  if (n * ((form & kZeroXY ? 0 : 1) + (form & kZeroZ ? 0 : 1)) > in.left()) return false;
  thread_local std::vector<std::uint64_t> x, y;
  x.assign(n, 0);
  y.assign(n, 0);
  if (!(form & kZeroXY)) {
    thread_local std::vector<long> parent;
    Parents(mol, parent);
    if (parent.size() != n) return false;
    for (std::size_t i = 0; i < n; ++i) {
      unsigned lead = 0;
      std::int64_t dx = 0, dy = 0;
      if (!U8(in, lead) || lead >= kLongMiss + kPredictors) return false;
      if (lead >= kLongMiss) {
        if (!Zig(in, dx) || !Zig(in, dy)) return false;
        lead -= kLongMiss;
      } else {
        dx = static_cast<std::int64_t>(lead / kPredictors % 3) - 1;
        dy = static_cast<std::int64_t>(lead / kPredictors / 3) - 1;
        lead %= kPredictors;
      }
      const auto [px, py] = Predict(x, y, parent, i, lead);
      x[i] = px + static_cast<std::uint64_t>(dx);
      y[i] = py + static_cast<std::uint64_t>(dy);
    }
  }
  std::uint64_t z = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (!(form & kZeroZ)) {
      std::int64_t dz = 0;
      if (!Zig(in, dz)) return false;
      z += static_cast<std::uint64_t>(dz);
    }
    xyz[3 * i] = Unscaled(static_cast<std::int64_t>(x[i]), decimals);
    xyz[3 * i + 1] = Unscaled(static_cast<std::int64_t>(y[i]), decimals);
    xyz[3 * i + 2] = Unscaled(static_cast<std::int64_t>(z), decimals);
  }
  std::uint64_t count = 0;
  std::uint64_t at = 0;
  if (form & kNegativeZeros) {
    if (!Var(in, count) || count > in.left()) return false;
    for (std::uint64_t k = 0; k < count; ++k) {
      std::uint64_t step = 0;
      if (!Var(in, step) || step >= xyz.size() || (at += step) >= xyz.size() || xyz[at] != 0.0f) return false;
      xyz[at] = -0.0f;
    }
  }
  return true;
}

template <CoordForm Form>
QVBReturn ReadConfRecord(QVBCursor& in, QvMCMolBase& mol, const QvBinaryIOHandler& handler) {
  unsigned marker = 0;
  if (in.peek() < 0 || mol.GetMaxAtomIdx() != mol.NumAtoms()) return kSize;
  const std::size_t n = 3 * static_cast<std::size_t>(mol.NumAtoms());
  thread_local std::vector<float> xyz;
  xyz.resize(n);
  bool flat = false;
  if (Form == CoordForm::Float && in.peek() == kScaledMarker) {
    in.get();
    if (!ReadScaled(in, mol, xyz, flat)) return kSize;
  } else {
    U8(in, marker);
    const std::size_t width = Form == CoordForm::Half ? 2 : Form == CoordForm::Float ? 4 : 8;
    const unsigned char* bytes = nullptr;
    if (!in.take(n * width, bytes)) return kSize;
    for (std::size_t i = 0; i < n; ++i) {
      if constexpr (Form == CoordForm::Half) {
        std::uint16_t h = 0;
        std::memcpy(&h, bytes + 2 * i, 2);
        xyz[i] = Pellar::QvHalfToFloat(marker == kMarker ? h : __builtin_bswap16(h));
      } else if constexpr (Form == CoordForm::Float) {
        std::memcpy(&xyz[i], bytes + 4 * i, 4);
        if (marker != kMarker) xyz[i] = Swapped(xyz[i]);
      } else {
        std::uint64_t bits = 0;
        std::memcpy(&bits, bytes + 8 * i, 8);
        if (marker != kMarker) bits = __builtin_bswap64(bits);
        xyz[i] = static_cast<float>(std::bit_cast<double>(bits));
      }
    }
  }
  QvConfBase* conf = mol.NewConf(xyz.data());
  if (!conf) return kCheck;
  conf->SetDimension(flat ? 2 : 3);
  return handler.ReadRecords(in, *conf, QvConfBase::TypeId);
}

std::string ConfPayload(const QvMCMolBase& mol, const QvConfBase& conf, bool half) {
  std::vector<float> xyz = AtomCoords(mol, &conf);
  xyz.resize(3 * static_cast<std::size_t>(mol.NumAtoms()), 0.0f);
  std::string out;
  bool flat = false;
  if (half) {
    out.push_back(static_cast<char>(kMarker));
    for (const float v : xyz) {
      const std::uint16_t h = Pellar::QvFloatToHalf(v);
      out.append(reinterpret_cast<const char*>(&h), 2);
    }
  } else if (AppendScaled(out, mol, xyz, conf.GetDimension() == 2)) {
    flat = conf.GetDimension() == 2;
  } else {
    out.push_back(static_cast<char>(kMarker));
    out.append(reinterpret_cast<const char*>(xyz.data()), xyz.size() * sizeof(float));
  }
  if (*conf.GetTitle()) Sorvil::QVBAppendRecord(out, "QvConfTitle", conf.GetTitle());
  if (WantsEnergy(conf.GetEnergy())) Sorvil::QVBAppendRecord(out, "QvConfEnergy", EnergyPayload(conf.GetEnergy()));
  if (conf.GetDimension() != 3 && !flat) {
    const char dimension = static_cast<char>(conf.GetDimension());
    Sorvil::QVBAppendRecord(out, "QvConfDimension", std::string_view(&dimension, 1));
  }
  Sorvil::QVBAppendRecord(out, "QvConfPOD", ObjectDataPayload(conf));
  AppendUnknownRecords(out, conf);
  return out;
}

// ---- the multi-conformer record ----

QVBReturn ReadMCChildren(QVBCursor& in, QvMCMolBase& mol, const QvBinaryIOHandler& handler) {
  pending_perceived = 0;
  const QVBReturn result = handler.ReadRecords(in, mol, QvMCMolBase::TypeId);
  mol.ClearPerceived();
  mol.SetPerceived(pending_perceived, true);
  return result;
}

QVBReturn ReadMCRecord(QVBCursor& in, QvMCMolBase& mol, const QvBinaryIOHandler& handler, std::string_view method) {
  if (method.empty()) return ReadMCChildren(in, mol, handler);
  std::string_view packed;
  in.take(in.left(), packed);
  std::string bytes;
  if (!QvDecompress(method, packed, bytes) || bytes.empty()) return kCheck;
  QVBCursor children(bytes);
  return ReadMCChildren(children, mol, handler);
}

QVBReturn ReadMC(QVBCursor& in, QvMCMolBase& mol, const QvBinaryIOHandler& handler) {
  return ReadMCRecord(in, mol, handler, "");
}
QVBReturn ReadZstdMC(QVBCursor& in, QvMCMolBase& mol, const QvBinaryIOHandler& handler) {
  return ReadMCRecord(in, mol, handler, "zstd");
}
QVBReturn ReadGzipMC(QVBCursor& in, QvMCMolBase& mol, const QvBinaryIOHandler& handler) {
  return ReadMCRecord(in, mol, handler, "gz");
}

// A graph molecule written as a multi-conformer record has one conformer
// with its coordinates, energy and dimension.
std::string MCPayload(const QvMolBase& mol) {
  std::string out;
  AppendGraphRecords(out, mol);
  AppendDataRecords(out, mol);
  if (const auto* mc = Sorvil::QvCast<QvMCMolBase>(&mol)) {
    const bool half = mc->GetData<bool>(Sorvil::QvGetTag(kQvHalfFloatConfsTag));
    for (const QvConfBase& conf : mc->GetConfs())
      Sorvil::QVBAppendRecord(out, half ? "QvMCMolCartConfHalfFloat" : "QvMCMolCartConf",
                              ConfPayload(*mc, conf, half));
    return out;
  }
  QvMol single;
  if (!single.Copy(mol) || !single.GetActive()) return {};
  Sorvil::QVBAppendRecord(out, "QvMCMolCartConf", ConfPayload(single, *single.GetActive(), false));
  return out;
}

// Records are small and written once: the strongest ordinary level costs
// little per record, and the context is kept per thread.
bool ZstdCompress(std::string_view in, std::string& out) {
  thread_local std::unique_ptr<ZSTD_CCtx, decltype(&ZSTD_freeCCtx)> ctx(ZSTD_createCCtx(), ZSTD_freeCCtx);
  if (!ctx) return false;
  out.resize(ZSTD_compressBound(in.size()));
  const std::size_t n = ZSTD_compressCCtx(ctx.get(), out.data(), out.size(), in.data(), in.size(), 19);
  if (ZSTD_isError(n)) return false;
  out.resize(n);
  return true;
}

// One decompression context per thread: making one costs more than
// decompressing a small record.
ZSTD_DCtx* ZstdContext() {
  thread_local std::unique_ptr<ZSTD_DCtx, decltype(&ZSTD_freeDCtx)> ctx(ZSTD_createDCtx(), ZSTD_freeDCtx);
  if (ctx) ZSTD_DCtx_reset(ctx.get(), ZSTD_reset_session_only);
  return ctx.get();
}

bool ZstdDecompress(std::string_view in, std::string& out) {
  ZSTD_DCtx* ctx = ZstdContext();
  if (!ctx) return false;
  // The size a single frame declares is trusted only as far as the input
  // could plausibly expand; beyond that the output grows as it is produced.
  const unsigned long long declared = ZSTD_getFrameContentSize(in.data(), in.size());
  if (declared != ZSTD_CONTENTSIZE_UNKNOWN && declared != ZSTD_CONTENTSIZE_ERROR &&
      declared <= 64 * in.size() + 4096 && ZSTD_findFrameCompressedSize(in.data(), in.size()) == in.size()) {
    out.resize(static_cast<std::size_t>(declared));
    const std::size_t n = ZSTD_decompressDCtx(ctx, out.data(), out.size(), in.data(), in.size());
    return !ZSTD_isError(n) && n == declared;
  }
  ZSTD_inBuffer source{in.data(), in.size(), 0};
  std::size_t used = 0;
  out.resize(std::min(kQvMaxInflated, 4 * in.size() + 1024));
  for (;;) {
    ZSTD_outBuffer target{out.data() + used, out.size() - used, 0};
    const std::size_t result = ZSTD_decompressStream(ctx, &target, &source);
    if (ZSTD_isError(result)) return false;
    used += target.pos;
    if (result == 0 && source.pos == source.size) break;
    if (used == out.size()) {
      // Output grows only when it is full, so memory follows what the
      // frames actually hold.
      if (out.size() >= kQvMaxInflated) return false;
      out.resize(std::min(kQvMaxInflated, 2 * out.size()));
    } else if (source.pos == source.size) {
      return false;  // a frame cut short
    }
  }
  out.resize(used);
  return true;
}

bool GzipDecompress(std::string_view in, std::string& out) {
  if (in.empty()) return false;
  Pellar::qvisstream raw(in.data(), in.size());
  Pellar::qvigzstream gz(raw);
  char chunk[2048];
  for (;;) {
    const std::size_t n = gz.read(chunk, sizeof chunk);
    if (out.size() + n > kQvMaxInflated) return false;
    out.append(chunk, n);
    if (n < sizeof chunk) break;
  }
  // The gzip stream reports a damaged member itself and passes data
  // without the gzip magic through unchanged.
  return !out.empty();
}

}  // namespace

bool QvDecompress(std::string_view method, std::string_view in, std::string& out) {
  out.clear();
  if (method == "zstd") return ZstdDecompress(in, out);
  if (method == "gz") return GzipDecompress(in, out);
  return false;
}

namespace {

// The handler with its functions, made once; every record read asks for it.
QvBinaryIOHandler MakeDefaultHandler() {
  using Mol = QvMolBase;
  using MC = QvMCMolBase;
  using Conf = QvConfBase;
  // Records the two molecule kinds share are read into either as a QvMolBase.
  static const QvReadFxn<Mol> mol_record("QvMolBase", ReadMolRecord);
  static const QvReadFxn<Mol> title("QvMolTitle", ReadTitle<Mol>);
  static const QvReadFxn<Mol> ct("QvMolCT", ReadCT);
  static const QvReadFxn<Mol> coords("QvMolFloatCoord", ReadFloatCoord);
  static const QvReadFxn<Mol> energy("QvMolEnergy", ReadEnergy<Mol>);
  static const QvReadFxn<Mol> dimension("QvMolDimension", ReadDimension<Mol>);
  static const QvReadFxn<Mol> mol_data("QvBasePOD", ReadObjectData<Mol>);
  static const QvReadFxn<Mol> atom_data("QvAtomPOD", ReadOwnedData<true>);
  static const QvReadFxn<Mol> bond_data("QvBondPOD", ReadOwnedData<false>);
  static const QvReadFxn<Mol> mc_title("QvMolTitle", ReadTitle<Mol>, MC::TypeId);
  static const QvReadFxn<Mol> mc_ct("QvMolCT", ReadCT, MC::TypeId);
  static const QvReadFxn<Mol> mc_data("QvBasePOD", ReadObjectData<Mol>, MC::TypeId);
  static const QvReadFxn<Mol> mc_atom_data("QvAtomPOD", ReadOwnedData<true>, MC::TypeId);
  static const QvReadFxn<Mol> mc_bond_data("QvBondPOD", ReadOwnedData<false>, MC::TypeId);
  static const QvReadFxn<MC> conf_float("QvMCMolCartConf", ReadConfRecord<CoordForm::Float>);
  static const QvReadFxn<MC> conf_half("QvMCMolCartConfHalfFloat", ReadConfRecord<CoordForm::Half>);
  static const QvReadFxn<MC> conf_double("QvMCMolCartConfDouble", ReadConfRecord<CoordForm::Double>);
  static const QvReadFxn<MC> mc_plain("QvMCMolBase", ReadMC);
  static const QvReadFxn<MC> mc_gzip("zQvMCMolBase", ReadGzipMC);
  static const QvReadFxn<MC> mc_zstd("zstdQvMCMolBase", ReadZstdMC);
  static const QvReadFxn<Conf> conf_data("QvConfPOD", ReadObjectData<Conf>);
  static const QvReadFxn<Conf> conf_title("QvConfTitle", ReadTitle<Conf>);
  static const QvReadFxn<Conf> conf_energy("QvConfEnergy", ReadEnergy<Conf>);
  static const QvReadFxn<Conf> conf_dimension("QvConfDimension", ReadDimension<Conf>);
  QvBinaryIOHandler h;
  const Sorvil::QvReadFxnBase* const order[] = {
      &mol_record, &title,      &ct,          &coords,      &energy,       &dimension,   &mol_data,
      &atom_data,  &bond_data,   &conf_float,  &conf_half,    &conf_double, &mc_plain,
      &mc_gzip,    &mc_zstd,    &mc_title,    &mc_ct,       &mc_data,      &mc_atom_data,
      &mc_bond_data, &conf_data, &conf_title, &conf_energy, &conf_dimension};
  for (const Sorvil::QvReadFxnBase* fxn : order) h.Register(*fxn);
  return h;
}

// Whether the next top-level record is a graph molecule record, told by its
// tag's code byte; false at the end of the input.
bool NextIsGraphRecord(Pellar::qvistream& in) {
  static const int code = Sorvil::QVBTagCode("QvMolBase");
  return in.peek() == code;
}

}  // namespace

const QvBinaryIOHandler& QvDefaultBinaryHandler() {
  static const QvBinaryIOHandler handler = MakeDefaultHandler();
  return handler;
}

bool QvAppendQVBRecord(std::string& out, const QvMolBase& mol, QvQVBForm form) {
  const bool graph = !Sorvil::QvCast<QvMCMolBase>(&mol);
  if (graph && form == QvQVBForm::Plain) return Sorvil::QVBAppendRecord(out, "QvMolBase", MolPayload(mol));
  const std::string payload = MCPayload(mol);
  if (payload.empty()) return false;
  // A small record can come out of zstd larger than it went in (a frame
  // costs 9 bytes or so); it is then stored as it is, which every reader of
  // the format takes as well.
  std::string packed;
  if (form == QvQVBForm::Zstd && !ZstdCompress(payload, packed)) return false;
  if (form != QvQVBForm::Zstd || packed.size() >= payload.size())
    return Sorvil::QVBAppendRecord(out, "QvMCMolBase", payload);
  return Sorvil::QVBAppendRecord(out, "zstdQvMCMolBase", packed);
}

Sorvil::QVBReturn QvReadQVBRecord(Pellar::qvistream& in, QvMCMolBase& mol, std::string& buffer, bool* lost) {
  if (in.peek() < 0) return Sorvil::QVBEndOfFile;
  if (!NextIsGraphRecord(in)) return QvDefaultBinaryHandler().ReadRecord(in, mol, QvMCMolBase::TypeId, buffer, lost);
  QvGraphMol graph;
  const QVBReturn result = QvDefaultBinaryHandler().ReadRecord(in, graph.GetMol(), QvMolBase::TypeId, buffer, lost);
  if (result == kOk && !mol.Copy(graph.GetMol())) return kCheck;
  return result;
}

Sorvil::QVBReturn QvReadQVBRecord(Pellar::qvistream& in, QvMolBase& mol, std::string& buffer,
                                  std::vector<std::unique_ptr<QvMolBase>>* more, bool* lost) {
  if (in.peek() < 0) return Sorvil::QVBEndOfFile;
  if (NextIsGraphRecord(in)) return QvDefaultBinaryHandler().ReadRecord(in, mol, QvMolBase::TypeId, buffer, lost);
  QvMol mc;
  const QVBReturn result = QvDefaultBinaryHandler().ReadRecord(in, mc, QvMCMolBase::TypeId, buffer, lost);
  if (result != kOk || mc.NumConfs() == 0) return result;
  bool first = true;
  for (const QvConfBase& conf : mc.GetConfs()) {
    if (first) {
      if (!QvCopyConf(mol, conf)) return kCheck;
      first = false;
    } else if (more) {
      auto next = std::make_unique<QvGraphMolImpl>();
      if (!QvCopyConf(*next, conf)) return kCheck;
      more->push_back(std::move(next));
    }
  }
  return kOk;
}

}  // namespace Tamrin
