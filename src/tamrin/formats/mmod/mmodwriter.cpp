#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "pellar/numformat.h"
#include "pellar/qvstream.h"
#include "sorvil/error/errorhandler.h"
#include "tamrin/formats/mmod/mmod.h"
#include "tamrin/model/graphmol.h"
#include "tamrin/model/molbase.h"
#include "tamrin/perception/explicith.h"
#include "tamrin/perception/kekulize.h"

namespace Tamrin {

namespace {

using Pellar::FormatFixed;
using Pellar::FormatInt;

constexpr unsigned kSlots = 6;
// The widest "%11.6f" of a double, and a whole atom line around three of them.
constexpr std::size_t kNumberMax = Pellar::FixedChars(6);
constexpr std::size_t kLineMax = 4 + kSlots * 2 * Pellar::kIntChars + 4 * (kNumberMax + 1) + 2 * 7 + 2;

bool HasAromaticOrders(const QvMolBase& mol) {
  for (const QvBondBase& bond : mol.GetBonds())
    if (bond.GetOrder() == kQvAromaticOrder) return true;
  return false;
}

// The molecule as written: hydrogens made atoms on request, a layout where
// there are no coordinates, Kekulé bond orders.
const QvMolBase& Prepare(QvWorkingMol& work, bool add_hydrogens) {
  QvPrepareAllAtoms(work, add_hydrogens);
  if (HasAromaticOrders(work.Get())) QvKekulize(work.Copy());
  return work.Get();
}

void PutTitle(Pellar::qvostream& out, const QvMolBase& mol) {
  std::string title = mol.GetTitle();
  // The title shares the header line with the count.
  std::replace_if(title.begin(), title.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
  out.write(title.data(), title.size());
}

void PutHeader(Pellar::qvostream& out, const QvMolBase& mol) {
  char line[Pellar::kIntChars + 8 + Pellar::FixedChars(3) + 16];
  char* p = FormatInt(line, mol.NumAtoms(), 6);
  *p++ = ' ';
  *p++ = ' ';
  out.write(line, static_cast<std::size_t>(p - line));
  PutTitle(out, mol);
  const double energy = mol.GetEnergy();
  p = line;
  if (energy != 0.0) {
    p = Pellar::Pad(p, "  E = ", 0);
    p = FormatFixed(p, energy, 3);
    p = Pellar::Pad(p, " KJ/mol", 0);
  }
  *p++ = '\n';
  out.write(line, static_cast<std::size_t>(p - line));
}

// Written orders: aromatic bonds left over by a failed Kekulé assignment,
// and orders beyond triple, become single.
unsigned WrittenOrder(const QvBondBase& bond) {
  const unsigned order = bond.GetOrder();
  return order >= 1 && order <= 3 ? order : 1;
}

}  // namespace

void QvMMODWriteFxn(Pellar::qvostream& out, const QvMolBase& source, bool add_hydrogens) {
  QvWorkingMol work(source);
  const QvMolBase& mol = Prepare(work, add_hydrogens);

  std::vector<unsigned> number(mol.GetMaxAtomIdx(), 0);
  unsigned n = 0;
  for (const QvAtomBase& atom : mol.GetAtoms()) number[atom.GetIdx()] = ++n;

  PutHeader(out, mol);
  char line[kLineMax];
  for (const QvAtomBase& atom : mol.GetAtoms()) {
    char* p = FormatInt(line, QvMMODAtomType(atom), 4);
    unsigned slots = 0, bonds = 0;
    for (const QvBondBase& bond : atom.GetBonds()) {
      const QvAtomBase* nbr = bond.GetNbr(&atom);
      if (!nbr) continue;
      if (++bonds > kSlots) continue;
      *p++ = ' ';
      p = FormatInt(p, number[nbr->GetIdx()], 5);
      *p++ = ' ';
      p = FormatInt(p, WrittenOrder(bond));
      ++slots;
    }
    if (bonds > kSlots)
      Sorvil::QvErrorHandler::Warning(
          "Macromodel: atom %u has %u bonds, of which the format holds %u; the rest are left out",
          number[atom.GetIdx()], bonds, kSlots);
    for (; slots < kSlots; ++slots) p = Pellar::Pad(p, "     0 0", 0);
    double xyz[3] = {};
    mol.GetCoords(&atom, xyz);
    for (double v : xyz) {
      *p++ = ' ';
      p = FormatFixed(p, v, 11, 6);
    }
    // Residue number and colour, which Macromodel keeps there, are not ours.
    p = Pellar::Pad(p, "      0      0 ", 0);
    const double q = atom.GetPartialCharge();
    p = FormatFixed(p, q == q ? q : 0.0, 8, 5);
    *p++ = '\n';
    out.write(line, static_cast<std::size_t>(p - line));
  }
}

}  // namespace Tamrin
