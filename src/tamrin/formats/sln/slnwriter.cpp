// The SLN writer: a depth-first walk over the atoms in input order, run
// twice: the first run finds the ring closures, so that the atoms they
// return to carry their ids when the second run writes them. Both runs keep
// an explicit stack, so long chains cannot exhaust the call stack.
//
// Between the runs each atom's children are ordered so that the subtree
// whose ring closures return above the atom continues the chain instead of
// opening a branch: parsers that build each branch apart (RDKit's among
// them) mis-join closures made inside branches, and cannot close one from a
// branch of a single atom without hydrogens at all, while a closure on the
// main chain is what every parser reads. A part where such a one-atom branch
// is left is walked again from other atoms, a few at most.
#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "pellar/numformat.h"
#include "tamrin/chem/elements.h"
#include "tamrin/formats/sln/sln.h"
#include "tamrin/model/molbase.h"
#include "tamrin/perception/canonical.h"

namespace Tamrin {

namespace {

constexpr unsigned kNone = ~0U;
constexpr unsigned kMaxStarts = 16;

// "Any" stands for a wildcard or an atomic number without a symbol.
std::string_view Symbol(const QvAtomBase& atom) {
  const std::string_view symbol = atom.GetAtomicNum() ? QvGetAtomicSymbol(atom.GetAtomicNum()) : "";
  return symbol.empty() ? std::string_view("Any") : symbol;
}

class SLNWalk {
 public:
  explicit SLNWalk(const QvMolBase& mol)
      : view_(mol, /*fold_hydrogens=*/true, /*keep_isotopic=*/true),
        seen_(view_.NumAtoms(), false),
        id_(view_.NumAtoms(), 0),
        children_(view_.NumAtoms()),
        closures_(view_.NumAtoms()) {}

  std::string Write();

 private:
  struct Frame {
    unsigned atom;
    unsigned parent_bond;
    unsigned next;  // next arc (first run) or child (second run)
    bool paren;
  };
  struct Link {
    unsigned nbr;
    unsigned bond;
  };

  bool Classify(unsigned start);
  void Forget();
  void WriteComponent(unsigned start, std::string& out) const;
  void AppendAtom(unsigned atom, std::string& out) const;
  void AppendBond(unsigned bond, unsigned to, std::string& out) const;

  QvRankGraph view_;
  std::vector<bool> seen_;
  std::vector<unsigned> id_;  // ring id by atom position, 0 for none
  std::vector<std::vector<Link>> children_;
  std::vector<std::vector<Link>> closures_;  // written at the later atom
  std::vector<bool> on_path_;
  std::vector<unsigned> order_;  // preorder number by atom position
  std::vector<unsigned> low_;    // lowest preorder a closure in the subtree returns to
  std::vector<unsigned> size_;   // atoms in the subtree
  std::vector<unsigned> part_;   // atoms of the part being walked
  unsigned ids_ = 0;
};

std::string SLNWalk::Write() {
  on_path_.assign(view_.NumAtoms(), false);
  order_.assign(view_.NumAtoms(), 0);
  low_.assign(view_.NumAtoms(), kNone);
  size_.assign(view_.NumAtoms(), 1);
  std::vector<unsigned> starts;
  for (unsigned pos = 0; pos < view_.NumAtoms(); ++pos) {
    if (seen_[pos]) continue;
    const unsigned ids = ids_;
    unsigned start = pos;
    if (!Classify(pos)) {
      const std::vector<unsigned> part = part_;
      const unsigned tries = std::min<unsigned>(kMaxStarts, static_cast<unsigned>(part.size()));
      bool clean = false;
      for (unsigned i = 1; i < tries && !clean; ++i) {
        Forget();
        ids_ = ids;
        start = part[i];
        clean = Classify(start);
      }
      if (!clean) {
        Forget();
        ids_ = ids;
        start = pos;
        Classify(pos);
      }
    }
    starts.push_back(start);
  }
  std::string out;
  for (unsigned start : starts) {
    if (!out.empty()) out += '.';
    WriteComponent(start, out);
  }
  return out;
}

void SLNWalk::Forget() {
  for (unsigned atom : part_) {
    seen_[atom] = false;
    id_[atom] = 0;
    children_[atom].clear();
    closures_[atom].clear();
    low_[atom] = kNone;
    size_[atom] = 1;
  }
}

// A bond to an atom still on the path is a ring closure; one to an atom
// already finished was met from that atom's side. False when a branch is
// left that RDKit cannot close (see above).
bool SLNWalk::Classify(unsigned start) {
  part_.clear();
  part_.push_back(start);
  bool clean = true;
  std::vector<Frame> stack{{start, kNone, 0, false}};
  seen_[start] = on_path_[start] = true;
  unsigned visited = 0;
  order_[start] = visited++;
  while (!stack.empty()) {
    Frame& frame = stack.back();
    const unsigned atom = frame.atom;
    const auto arcs = view_.Arcs(atom);
    if (frame.next == arcs.size()) {
      on_path_[atom] = false;
      auto& kids = children_[atom];
      const auto escapes = [&](const Link& kid) { return low_[kid.nbr] <= order_[atom]; };
      // RDKit drops the closure of a branch that has no bond of its own (one
      // atom without hydrogens); such an atom is best kept on the chain too.
      const auto bare = [&](const Link& kid) {
        return size_[kid.nbr] == 1 && view_.Hydrogens(kid.nbr) == 0 && !closures_[kid.nbr].empty();
      };
      std::stable_sort(kids.begin(), kids.end(), [&](const Link& a, const Link& b) {
        if (escapes(a) != escapes(b)) return escapes(b);
        if (bare(a) != bare(b)) return bare(b);
        return size_[a.nbr] < size_[b.nbr];
      });
      for (std::size_t i = 0; i + 1 < kids.size(); ++i) clean = clean && !bare(kids[i]);
      stack.pop_back();
      if (!stack.empty()) {
        const unsigned parent = stack.back().atom;
        low_[parent] = std::min(low_[parent], low_[atom]);
        size_[parent] += size_[atom];
      }
      continue;
    }
    const QvRankGraph::Arc arc = arcs[frame.next++];
    if (arc.bond == frame.parent_bond) continue;
    if (!seen_[arc.nbr]) {
      children_[frame.atom].push_back({arc.nbr, arc.bond});
      seen_[arc.nbr] = on_path_[arc.nbr] = true;
      order_[arc.nbr] = visited++;
      part_.push_back(arc.nbr);
      stack.push_back({arc.nbr, arc.bond, 0, false});
    } else if (on_path_[arc.nbr]) {
      if (id_[arc.nbr] == 0) id_[arc.nbr] = ++ids_;
      closures_[frame.atom].push_back({arc.nbr, arc.bond});
      low_[frame.atom] = std::min(low_[frame.atom], order_[arc.nbr]);
    }
  }
  return clean;
}

void SLNWalk::WriteComponent(unsigned start, std::string& out) const {
  std::vector<Frame> stack{{start, kNone, 0, false}};
  AppendAtom(start, out);
  while (!stack.empty()) {
    Frame& frame = stack.back();
    const auto& kids = children_[frame.atom];
    if (frame.next == kids.size()) {
      if (frame.paren) out += ')';
      stack.pop_back();
      continue;
    }
    // The last child continues the chain, the others are branches.
    const Link child = kids[frame.next++];
    const bool paren = frame.next < kids.size();
    if (paren) out += '(';
    AppendBond(child.bond, child.nbr, out);
    AppendAtom(child.nbr, out);
    stack.push_back({child.nbr, child.bond, 0, paren});
  }
}

void SLNWalk::AppendAtom(unsigned atom, std::string& out) const {
  const QvAtomBase& a = *view_.Atom(atom);
  out += Symbol(a);

  const unsigned isotope = a.GetIsotope();
  const int charge = a.GetFormalCharge();
  if (id_[atom] || isotope || charge) {
    out += '[';
    if (id_[atom]) Pellar::AppendInt(out, id_[atom]);
    if (id_[atom] && (isotope || charge)) out += ':';
    if (isotope) {
      out += "I=";
      Pellar::AppendInt(out, isotope);
      if (charge) out += ';';
    }
    if (charge) {
      out += charge > 0 ? '+' : '-';
      const unsigned size = static_cast<unsigned>(charge > 0 ? charge : -charge);
      if (size > 1) Pellar::AppendInt(out, size);
    }
    out += ']';
  }
  const unsigned h = view_.Hydrogens(atom);
  if (h) {
    out += 'H';
    if (h > 1) Pellar::AppendInt(out, h);
  }
  for (const Link& closure : closures_[atom]) {
    AppendBond(closure.bond, kNone, out);
    out += '@';
    Pellar::AppendInt(out, id_[closure.nbr]);
  }
}

void SLNWalk::AppendBond(unsigned bond, unsigned to, std::string& out) const {
  switch (view_.Bond(bond)->GetOrder()) {
    case 2: out += '='; return;
    case 3: out += '#'; return;
    case 5: out += ':'; return;  // aromatic, left unkekulized by the reader
    default: break;
  }
  if (to != kNone && Symbol(*view_.Atom(to)).starts_with('H')) out += '-';
}

}  // namespace

std::string QvSLNString(const QvMolBase& mol) { return SLNWalk(mol).Write(); }

}  // namespace Tamrin
