#include "tamrin/perception/graphview.h"

#include <utility>

#include "tamrin/model/molbase.h"

namespace Tamrin {

namespace {

// Storage of finished views, kept per thread for the views that follow.
// Storage grown for a very large molecule is let go rather than kept.
class SpareStorage {
 public:
  // Storage for a new view, with the view's serial number.
  std::unique_ptr<QvGraphView::Storage> Take() {
    std::unique_ptr<QvGraphView::Storage> s;
    if (spare_.empty()) {
      s = std::make_unique<QvGraphView::Storage>();
    } else {
      s = std::move(spare_.back());
      spare_.pop_back();
    }
    s->serial = ++serial_;
    return s;
  }

  void Give(std::unique_ptr<QvGraphView::Storage> s) {
    constexpr size_t kMaxKept = 8, kMaxEntries = 1 << 16;
    if (!s || spare_.size() == kMaxKept || s->shape.arcs.capacity() > kMaxEntries ||
        s->atom_pos.capacity() > kMaxEntries || s->bond_pos.capacity() > kMaxEntries)
      return;
    spare_.push_back(std::move(s));
  }

 private:
  std::vector<std::unique_ptr<QvGraphView::Storage>> spare_;
  unsigned long long serial_ = 0;
};

thread_local SpareStorage spare_storage;

// A record is the one at its position or none of this view's: the index
// finds the position, the pointer confirms it. Local, so that building a
// view inlines it.
template <class Record>
unsigned PosIn(const std::vector<unsigned>& pos_of, const std::vector<Record*>& records, const Record* record) {
  if (!record) return kQvNoPos;
  const unsigned idx = record->GetIdx();
  const unsigned pos = idx < pos_of.size() ? pos_of[idx] : kQvNoPos;
  return pos != kQvNoPos && records[pos] == record ? pos : kQvNoPos;
}

}  // namespace

QvGraphView::QvGraphView(const QvMolBase& mol) : s_(spare_storage.Take()) {
  Storage& s = *s_;
  std::vector<unsigned>& ends = s.shape.ends;
  std::vector<unsigned>& start = s.shape.start;
  s.atoms.clear();
  s.bonds.clear();
  ends.clear();
  s.atom_pos.assign(mol.GetMaxAtomIdx(), kQvNoPos);
  s.bond_pos.assign(mol.GetMaxBondIdx(), kQvNoPos);
  // The raw lists, because the view hands out records that passes may change.
  const bool deleted_atoms = mol.DeletedAtomCount() != 0, deleted_bonds = mol.DeletedBondCount() != 0;
  for (QvAtomBase* atom : mol.AtomList()) {
    if (deleted_atoms && atom->IsDeleted()) continue;
    s.atom_pos[atom->GetIdx()] = NumAtoms();
    s.atoms.push_back(atom);
  }
  for (QvBondBase* bond : mol.BondList()) {
    if (deleted_bonds && bond->IsDeleted()) continue;
    // An end that is empty (or an atom whose index was changed by hand onto
    // another's) leaves the bond out rather than inventing a neighbour.
    const unsigned bgn = PosIn(s.atom_pos, s.atoms, bond->GetBgn());
    const unsigned end = PosIn(s.atom_pos, s.atoms, bond->GetEnd());
    if (bgn == kQvNoPos || end == kQvNoPos) continue;
    s.bond_pos[bond->GetIdx()] = NumBonds();
    s.bonds.push_back(bond);
    ends.push_back(bgn);
    ends.push_back(end);
  }
  start.assign(NumAtoms() + 1, 0);
  s.shape.arcs.resize(2 * NumBonds());
  if (ArcsInBondOrder()) return;
  for (unsigned pos = 0; pos < NumAtoms(); ++pos) {
    start[pos + 1] = start[pos];
    for (const QvBondBase& bond : s.atoms[pos]->GetBonds()) {
      const unsigned b = PosIn(s.bond_pos, s.bonds, &bond);
      if (b != kQvNoPos) s.shape.arcs[start[pos + 1]++] = {Other(b, pos), b};
    }
  }
}

// Each atom's arcs in the order of the view's bonds, which is the order of
// its bond list when bonds were made one after another (every reader's
// case): then no bond needs to be looked up. False, with the arcs left to
// the caller, when some atom's list holds its bonds in another order (or
// holds a bond the view left out).
bool QvGraphView::ArcsInBondOrder() {
  Storage& s = *s_;
  std::vector<unsigned>& start = s.shape.start;
  std::vector<unsigned>& next = s.next_arc;
  for (unsigned b = 0; b < NumBonds(); ++b) {
    ++start[BondBgn(b) + 1];
    ++start[BondEnd(b) + 1];
  }
  for (unsigned pos = 0; pos < NumAtoms(); ++pos) start[pos + 1] += start[pos];
  next.assign(start.begin(), start.end() - 1);
  for (unsigned b = 0; b < NumBonds(); ++b) {
    const unsigned bgn = BondBgn(b), end = BondEnd(b);
    s.shape.arcs[next[bgn]++] = {end, b};
    s.shape.arcs[next[end]++] = {bgn, b};
  }
  for (unsigned pos = 0; pos < NumAtoms(); ++pos) {
    const QvBondList& list = s.atoms[pos]->BondList();
    const std::span<const Arc> arcs = Arcs(pos);
    if (list.size() != arcs.size()) return false;
    for (size_t k = 0; k < arcs.size(); ++k)
      if (list[k] != s.bonds[arcs[k].bond]) return false;
  }
  return true;
}

QvGraphView::~QvGraphView() { spare_storage.Give(std::move(s_)); }

bool QvGraphView::SameShape(const Shape& shape) const {
  return s_->shape.ends == shape.ends && s_->shape.start == shape.start && s_->shape.arcs == shape.arcs;
}

unsigned QvGraphView::Pos(const QvAtomBase* atom) const { return PosIn(s_->atom_pos, s_->atoms, atom); }

unsigned QvGraphView::Pos(const QvBondBase* bond) const { return PosIn(s_->bond_pos, s_->bonds, bond); }

}  // namespace Tamrin
