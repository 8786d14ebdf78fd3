// The query molecule: a graph whose atoms and bonds carry boolean expressions
// over properties of the atoms and bonds they may stand for. SMARTS text is
// parsed into it (smarts.h) and the matcher (substructure.h) compiles it.
//
// Expressions of all atoms and bonds share one node pool. A node is a
// primitive test or an operator over earlier nodes; And keeps whether it came
// from the high-precedence '&' (or adjacency) or from ';', so that the text
// written back parses to the same tree.
//
// Stereo is stored independent of any text order. A chirality mark holds for
// the atom's query neighbours taken in the order of their bonds in Bonds(),
// followed, for an atom with three of them, by its fourth neighbour in the
// molecule (hydrogen, lone pair or an atom the query does not name). A
// direction mark on a bond reads as if written "bgn/end" or "bgn\end"; two
// of them around a double bond make it cis or trans.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace Tamrin {

enum class QvQOp : std::uint8_t { Prim, Not, And, Or, AndLow };

// Atom primitives. A value of -1 is the primitive written without a number
// where that does not mean 1 (R, r, x: "in a ring"; h: "has implicit H").
enum class QvQAtomPrim : std::uint8_t {
  Any,               // *
  AtomicNum,         // #n, or a bracketed symbol such as [Cl] or [se] without case meaning
  AliphaticElement,  // C, [N]: element n, not aromatic
  AromaticElement,   // c, [n]: element n, aromatic
  Aromatic,          // a
  Aliphatic,         // A
  Isotope,           // leading mass number
  Charge,            // + - with count or number
  TotalH,            // H: implicit plus hydrogen neighbours
  ImplicitH,         // h
  Degree,            // D: explicit connections
  Connectivity,      // X: connections including implicit hydrogens
  Valence,           // v: bond orders plus hydrogens
  RingCount,         // R: how many smallest-set rings hold the atom
  RingSize,          // r: size of the smallest of them
  RingConnectivity,  // x: ring bonds
  Chirality,         // @ (1) or @@ (2); a constraint only when matching with stereo
  Recursive,         // $(...): value is the index of the nested query
};

enum class QvQBondPrim : std::uint8_t {
  Default,  // no symbol: single or aromatic
  Any,      // ~
  Single,   // -
  Double,   // =
  Triple,   // #
  Aromatic, // :
  Ring,     // @
  Up,       // /  (a single bond; gives the cis/trans of a double bond when matching with stereo)
  Down,     // \  (likewise)
};

struct QvQNode {
  QvQOp op = QvQOp::Prim;
  std::uint8_t prim = 0;  // a QvQAtomPrim or QvQBondPrim, by context
  int value = 0;
  unsigned left = 0, right = 0;  // operands of Not (left) and the binary operators
};

class QvQMolBase;

struct QvQAtom {
  unsigned expr = 0;       // root node
  unsigned map = 0;        // atom map number, 0 for none
  unsigned component = 0;  // component-level group "(...)", numbered from 1; 0 for none
};

struct QvQBond {
  unsigned bgn = 0, end = 0;  // atom positions
  unsigned expr = 0;
};

class QvQMolBase {
 public:
  QvQMolBase() = default;
  QvQMolBase(const QvQMolBase& other);
  QvQMolBase& operator=(const QvQMolBase& other);
  QvQMolBase(QvQMolBase&&) noexcept = default;
  QvQMolBase& operator=(QvQMolBase&&) noexcept = default;

  void Clear();
  unsigned NumAtoms() const { return static_cast<unsigned>(atoms_.size()); }
  unsigned NumBonds() const { return static_cast<unsigned>(bonds_.size()); }
  const std::vector<QvQAtom>& Atoms() const { return atoms_; }
  const std::vector<QvQBond>& Bonds() const { return bonds_; }
  const std::vector<QvQNode>& Nodes() const { return nodes_; }
  const QvQNode& Node(unsigned idx) const { return nodes_[idx]; }
  // Nested queries of $(...) primitives; their first atom is the anchor.
  const std::vector<std::unique_ptr<QvQMolBase>>& Recursive() const { return recursive_; }

  unsigned AddNode(const QvQNode& node) {
    nodes_.push_back(node);
    return static_cast<unsigned>(nodes_.size() - 1);
  }
  unsigned AddPrim(unsigned prim, int value) { return AddNode({QvQOp::Prim, static_cast<std::uint8_t>(prim), value, 0, 0}); }
  unsigned AddOp(QvQOp op, unsigned left, unsigned right = 0) { return AddNode({op, 0, 0, left, right}); }
  unsigned AddAtom(unsigned expr, unsigned map, unsigned component = 0) {
    atoms_.push_back({expr, map, component});
    return NumAtoms() - 1;
  }
  // Rewrites a node in place (the parser turns stereo marks into the stored
  // order with it).
  QvQNode& MutableNode(unsigned idx) { return nodes_[idx]; }
  void AddBond(unsigned bgn, unsigned end, unsigned expr) { bonds_.push_back({bgn, end, expr}); }
  unsigned AddRecursive(std::unique_ptr<QvQMolBase> query) {
    recursive_.push_back(std::move(query));
    return static_cast<unsigned>(recursive_.size() - 1);
  }

 private:
  std::vector<QvQAtom> atoms_;
  std::vector<QvQBond> bonds_;
  std::vector<QvQNode> nodes_;
  std::vector<std::unique_ptr<QvQMolBase>> recursive_;
};

// The element an atom expression demands, or 0: a primitive naming one, or
// one named anywhere along a chain of ands.
unsigned QvQDemandedElement(const QvQMolBase& q, unsigned expr);

}  // namespace Tamrin
