// Ring perception: which atoms and bonds lie in rings, and the smallest set of
// smallest rings that the aromaticity models and the "small ring" tests need.
#pragma once

#include <cstddef>
#include <vector>

namespace Tamrin {

class QvAtomBase;
class QvBondBase;
class QvMolBase;
class QvGraphView;

// Sets the ring flag of every undeleted atom and bond and sets perception bit
// QvPerceivedRings. A bond is in a ring exactly when it is not a bridge (found
// by one iterative depth-first search with low links); an atom is in a ring
// when one of its bonds is. Bonds with an empty end are never ring bonds.
// Reads only the connectivity. O(atoms + bonds), no recursion.
void QvPerceiveRings(QvMolBase& mol);
// The same with a view of `mol` that the caller already has (a pass that
// needs ring flags and its own view builds one view, not two).
void QvPerceiveRings(QvMolBase& mol, const QvGraphView& graph);

// One ring: its atoms in walking order and its bonds, bonds[i] joining
// atoms[i] and atoms[(i + 1) % size].
struct QvRing {
  std::vector<QvAtomBase*> atoms;
  std::vector<QvBondBase*> bonds;
  std::size_t size() const { return atoms.size(); }
};

// A smallest set of smallest rings: for each ring system (connected set of
// ring bonds) a minimum cycle basis of bonds - atoms + 1 rings, smallest
// first. Candidates are Horton's cycles (a vertex, a non-tree edge and the
// two breadth-first tree paths), kept when independent of the smaller ones
// (Gaussian elimination over GF(2)). Reads only the connectivity and neither
// needs nor sets perception bits. Candidates are made in rounds of growing
// length (8, 16, ... atoms), each search cut at the depth that length needs,
// so ring systems whose basis is small rings (drug-like molecules, proteins,
// fused sheets of thousands of rings) cost time linear in their size times
// the elimination, O(E / 64) per candidate step. Large cages with long
// basis cycles cost up to O(V * E) candidates. A ring system that is one
// ring is walked, not searched; one of two rings (fused and bridged
// bicycles, spiro pairs: the three paths between two branch atoms, or the
// two loops through one) is walked too, and of two rings of one length the
// one the search would meet first is found from the first roots' candidates
// alone. Each thread keeps its last answer: asked again
// for a graph of the same shape (the next pass on an unchanged molecule), it
// gives the same rings without a search.
std::vector<QvRing> QvFindSSSR(const QvMolBase& mol);
// The same for the molecule of a graph view the caller already has.
std::vector<QvRing> QvFindSSSR(const QvGraphView& graph);

// A ring by the positions of a graph view, as QvRing has it by records.
struct QvRingPositions {
  std::vector<unsigned> atoms, bonds;
  std::size_t size() const { return atoms.size(); }
};
// The same rings by positions of `graph`: this thread's last answer, valid
// until its next call of QvFindSSSR or QvFindSSSRPositions.
const std::vector<QvRingPositions>& QvFindSSSRPositions(const QvGraphView& graph);

// The same rings from the general search for every ring system, without the
// shortcuts for systems of one ring and of two: the answer those shortcuts
// must give, for tests to compare with.
std::vector<QvRingPositions> QvFindSSSRBySearch(const QvGraphView& graph);

// The size of the smallest ring through `bond`, or 0 when there is none of at
// most `limit` atoms. Breadth-first search from one end to the other without
// the bond itself, cut at depth `limit` - 1; independent of the ring flags.
// QvSmallestRingSize(bond, 6) != 0 is the test "lies in a ring of fewer than
// 7 atoms".
unsigned QvSmallestRingSize(const QvBondBase& bond, unsigned limit);
// The same for the smallest ring through `atom`.
unsigned QvSmallestRingSize(const QvAtomBase& atom, unsigned limit);

}  // namespace Tamrin
