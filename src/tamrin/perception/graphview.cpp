#include "tamrin/perception/graphview.h"

#include <algorithm>
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

  // The storage of the view that went last stays as it is, for
  // Finished(), until the next view goes.
  void Give(std::unique_ptr<QvGraphView::Storage> s) {
    constexpr size_t kMaxKept = 8, kMaxEntries = 1 << 16;
    if (!s || s->shape.arcs.capacity() > kMaxEntries || s->atom_pos.capacity() > kMaxEntries ||
        s->bond_pos.capacity() > kMaxEntries)
      return;
    if (last_ && spare_.size() < kMaxKept) spare_.push_back(std::move(last_));
    last_ = std::move(s);
  }

  const QvGraphView::Shape* Finished(unsigned long long serial) const {
    return last_ && last_->serial == serial ? &last_->shape : nullptr;
  }

 private:
  std::vector<std::unique_ptr<QvGraphView::Storage>> spare_;
  std::unique_ptr<QvGraphView::Storage> last_;
  unsigned long long serial_ = 0;
};

// This thread's storage, through a call: named directly, a thread-local
// object of a shared library costs a call into the dynamic linker at each
// use, which the compiler repeats within a function rather than keep the
// address.
[[gnu::noinline]] SpareStorage& Spare() {
  thread_local SpareStorage spare;
  return spare;
}

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

// The first `n` entries of `v`, each set to `value`, resized once rather
// than filled entry by entry.
template <class T>
T* Filled(std::vector<T>& v, std::size_t n, T value) {
  v.resize(n);
  std::fill_n(v.data(), n, value);
  return v.data();
}

}  // namespace

QvGraphView::QvGraphView(const QvMolBase& mol) : s_(Spare().Take()) {
  Storage& s = *s_;
  const QvAtomVector& atom_list = mol.AtomList();
  const QvBondVector& bond_list = mol.BondList();
  // The lists are sized for every record and cut to those kept: entries are
  // written, not pushed.
  unsigned* atom_pos = Filled(s.atom_pos, mol.GetMaxAtomIdx(), kQvNoPos);
  unsigned* bond_pos = Filled(s.bond_pos, mol.GetMaxBondIdx(), kQvNoPos);
  s.atoms.resize(atom_list.size());
  s.bonds.resize(bond_list.size());
  s.shape.ends.resize(2 * bond_list.size());
  // The raw lists, because the view hands out records that passes may change.
  const bool deleted_atoms = mol.DeletedAtomCount() != 0, deleted_bonds = mol.DeletedBondCount() != 0;
  // Local pointers: the records' calls could change anything the storage
  // holds, as far as the compiler knows, and locals need no reloading.
  QvAtomBase** kept_atoms = s.atoms.data();
  QvBondBase** kept_bonds = s.bonds.data();
  unsigned* ends = s.shape.ends.data();
  const std::size_t atom_idx_end = s.atom_pos.size();
  unsigned atoms = 0, bonds = 0;
  for (QvAtomBase* atom : atom_list) {
    if (deleted_atoms && atom->IsDeleted()) continue;
    atom_pos[atom->GetIdx()] = atoms;
    kept_atoms[atoms++] = atom;
  }
  // An end that is empty (or an atom whose index was changed by hand onto
  // another's) leaves the bond out rather than inventing a neighbour.
  const auto pos_of = [&](const QvAtomBase* atom) {
    if (!atom) return kQvNoPos;
    const unsigned idx = atom->GetIdx();
    const unsigned pos = idx < atom_idx_end ? atom_pos[idx] : kQvNoPos;
    return pos != kQvNoPos && kept_atoms[pos] == atom ? pos : kQvNoPos;
  };
  for (QvBondBase* bond : bond_list) {
    if (deleted_bonds && bond->IsDeleted()) continue;
    const unsigned bgn = pos_of(bond->GetBgn());
    const unsigned end = pos_of(bond->GetEnd());
    if (bgn == kQvNoPos || end == kQvNoPos) continue;
    bond_pos[bond->GetIdx()] = bonds;
    kept_bonds[bonds] = bond;
    ends[2 * bonds] = bgn;
    ends[2 * bonds + 1] = end;
    ++bonds;
  }
  s.atoms.resize(atoms);
  s.bonds.resize(bonds);
  s.shape.ends.resize(2 * bonds);
  Filled(s.shape.start, atoms + 1, 0u);
  s.shape.arcs.resize(2 * bonds);
  if (ArcsInBondOrder()) return;
  std::vector<unsigned>& start = s.shape.start;
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
  const unsigned atoms = NumAtoms(), bonds = NumBonds();
  const unsigned* ends = s.shape.ends.data();
  unsigned* start = s.shape.start.data();
  Arc* arcs = s.shape.arcs.data();
  for (unsigned k = 0; k < 2 * bonds; ++k) ++start[ends[k] + 1];
  for (unsigned pos = 0; pos < atoms; ++pos) start[pos + 1] += start[pos];
  s.next_arc.assign(start, start + atoms);
  unsigned* next = s.next_arc.data();
  for (unsigned b = 0; b < bonds; ++b) {
    const unsigned bgn = ends[2 * b], end = ends[2 * b + 1];
    arcs[next[bgn]++] = {end, b};
    arcs[next[end]++] = {bgn, b};
  }
  QvBondBase* const* bond_of = s.bonds.data();
  QvAtomBase* const* atom_of = s.atoms.data();
  for (unsigned pos = 0; pos < atoms; ++pos) {
    const QvBondList& list = atom_of[pos]->BondList();
    const unsigned first = start[pos], count = start[pos + 1] - first;
    if (list.size() != count) return false;
    QvBondBase* const* listed = list.data();
    for (unsigned k = 0; k < count; ++k)
      if (listed[k] != bond_of[arcs[first + k].bond]) return false;
  }
  return true;
}

QvGraphView::~QvGraphView() { Spare().Give(std::move(s_)); }

const QvGraphView::Shape* QvGraphView::FinishedShape(unsigned long long serial) {
  return Spare().Finished(serial);
}

bool QvGraphView::SameShape(const Shape& shape) const {
  return s_->shape.ends == shape.ends && s_->shape.start == shape.start && s_->shape.arcs == shape.arcs;
}

unsigned QvGraphView::Pos(const QvAtomBase* atom) const { return PosIn(s_->atom_pos, s_->atoms, atom); }

unsigned QvGraphView::Pos(const QvBondBase* bond) const { return PosIn(s_->bond_pos, s_->bonds, bond); }

}  // namespace Tamrin
