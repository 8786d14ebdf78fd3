// Fingerprints of molecules: a path screen that rules records out before a
// substructure match, and a circular fingerprint for similarity.
//
// Screen. A molecule's screen has a bit for each of its features:
//   - every simple path of 0 to kQvScreenMaxPathBonds bonds over the atoms
//     that are not hydrogen, as the atom codes and bond codes along it;
//   - the same paths once more, in a second hash family, when every bond of
//     the path is a ring bond (for 0 bonds: the atom is a ring atom);
//   - every simple cycle of 3 to kQvScreenMaxPathBonds + 1 atoms;
//   - each path, ring path and cycle of at least one bond again at coarser
//     levels: bonds with single and aromatic coded alike (SMARTS's default
//     bond, "single or aromatic") or all alike ("any bond"), and atoms with
//     the halogens alike or all alike ("any heavy atom"); single atoms at
//     the first two atom levels;
//   - every charged atom that is not hydrogen, as its element and charge
//     and as its charge alone;
//   - every aromatic element.
// A substructure match maps query atoms one to one onto target atoms of the
// same code and query bonds onto target bonds of the same code. It therefore
// maps each path of the query onto a path of the target with the same codes,
// a cycle onto a cycle, and a ring bond onto a ring bond (the image of a cycle
// is a cycle). So every feature of the query is a feature of the target, and
// screen(query) is a subset of screen(target) whenever the query matches: a
// screen never rejects a true match. The invariant holds only when both sides
// code atoms and bonds alike, in particular with the same aromaticity model;
// QvScreenAtomCode and QvScreenBondCode are the one definition. A query side
// that cannot be sure of a code leaves features out: a path is coded at the
// finest level all its atoms and bonds are sure of (an atom list of halogens
// at the halogen level, of other heavy atoms or an aromatic "a" at the last;
// a bond that may be single or aromatic at the middle level, an "any" bond
// at the last), and no path goes through an atom that may be hydrogen. An
// atom adds what its expression is sure of beyond that: a charge, and the
// screens of the $(...) queries it demands (of an "or", what both sides are
// sure of), whose matches are part of every match.
//
// Similarity fingerprint: circular (ECFP4-like: radius 2, so environments
// of up to two bonds around each heavy atom), 2048 bits. Atom invariants
// are the element, heavy-atom degree, hydrogen count, formal charge,
// isotope, ring membership and aromaticity; each round hashes an atom's
// identifier with its neighbours' identifiers and bond codes, sorted.
//
// Both read the molecule's aromatic flags as they stand, and its ring flags
// when rings are perceived (otherwise rings are perceived on a copy).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace Tamrin {

class QvMolBase;
class QvQMolBase;

inline constexpr unsigned kQvFingerprintBits = 2048;
inline constexpr unsigned kQvFingerprintWords = kQvFingerprintBits / 64;
// Bit i is bit (i % 64) of word i / 64.
using QvFingerprint = std::array<std::uint64_t, kQvFingerprintWords>;

inline constexpr unsigned kQvScreenMaxPathBonds = 6;
// Changes whenever the features of a screen change, so that stored screens
// made by another version are refused rather than compared with new ones.
inline constexpr std::uint32_t kQvScreenFeatureVersion = 2;

// Codes of atoms and bonds as the screen compares them. An atom's code is
// its element alone: a query written with an aliphatic atom may match an
// aromatic one (a SMILES used as a query compares elements and bond types),
// and aromaticity still shows in the codes of the atom's ring bonds.
constexpr std::uint32_t QvScreenAtomCode(unsigned atomic_num) { return atomic_num; }
// 1, 2 and 3 for single, double and triple bonds, 4 for aromatic, 5 for
// higher orders and 6 for order 0.
constexpr std::uint8_t QvScreenBondCode(unsigned order, bool aromatic) {
  if (aromatic) return 4;
  if (order == 0) return 6;
  return order <= 3 ? static_cast<std::uint8_t>(order) : 5;
}

// The code of a bond at the middle level: single and aromatic alike.
constexpr std::uint8_t QvScreenCoarseBondCode(std::uint8_t code) { return code == 4 ? 1 : code; }

// Path, RingPath and Cycle at the exact bond level, then at the middle level
// (Coarse*), then at the level where bonds are not told apart (Skeleton*).
// Charge: one atom, coded as element * 16 + (charge & 15). AromaticAtom:
// one aromatic atom, coded as its element.
enum class QvScreenFeature : std::uint8_t {
  Path = 1, RingPath, Cycle,
  CoarsePath, CoarseRingPath, CoarseCycle,
  SkeletonPath, SkeletonRingPath, SkeletonCycle,
  Charge, AromaticAtom,
};

// The hash of one feature, whichever way it is walked. Paths and ring paths
// (and Charge): atoms.size() == bonds.size() + 1, bonds[i] joining atoms[i]
// and atoms[i + 1]; either direction gives the same hash. Cycles: as many
// atoms as bonds (at least 3), bonds[i] joining atoms[i] and
// atoms[(i + 1) % n]; every starting atom and direction give the same hash.
// 0 for other sizes.
std::uint64_t QvScreenFeatureHash(QvScreenFeature kind, std::span<const std::uint32_t> atoms,
                                  std::span<const std::uint8_t> bonds);

inline void QvSetFeatureBit(QvFingerprint& fp, std::uint64_t hash) {
  const unsigned bit = static_cast<unsigned>(hash % kQvFingerprintBits);
  fp[bit / 64] |= std::uint64_t{1} << (bit % 64);
}

// Paths walked per molecule before its screen gives up and sets every bit (a
// saturated screen rejects nothing, so the invariant survives). Drug-like
// molecules walk a few thousand; dense cages and fullerenes reach the limit.
inline constexpr std::size_t kQvScreenMaxPaths = 250'000;

// The screen of a target molecule. False when the walk reached
// kQvScreenMaxPaths and the screen was saturated.
bool QvScreenFingerprint(const QvMolBase& mol, QvFingerprint& fp);
QvFingerprint QvScreenFingerprint(const QvMolBase& mol);
// The screen of a query: the features every match of it is sure to find in
// its target, so that it is a subset of the screen of any molecule the query
// matches (the target's aromaticity model is the one the matcher reads).
QvFingerprint QvScreenFingerprint(const QvQMolBase& query);

// The similarity fingerprint.
QvFingerprint QvCircularFingerprint(const QvMolBase& mol);

// Whether every bit of `sub` is set in `super`.
bool QvFingerprintContains(const QvFingerprint& super, const QvFingerprint& sub);

unsigned QvPopCount(const QvFingerprint& fp);
// |a & b| / |a | b|; 0 when both are empty.
double QvTanimoto(const QvFingerprint& a, const QvFingerprint& b);

// Tanimoto of `query` with each of `count` fingerprints stored one after
// another from `fps` (kQvFingerprintWords words each); scores[i] for the
// i-th. Uses the processor's popcount instruction when it has one.
void QvBulkTanimoto(const QvFingerprint& query, const std::uint64_t* fps, std::size_t count, double* scores);

}  // namespace Tamrin
