#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pellar/numparse.h"
#include "tamrin/formats/mmod/mmod.h"
#include "tamrin/model/molbase.h"
#include "tamrin/streams/molstream.h"

namespace Tamrin {

namespace {

using Pellar::ParseWhole;
using Pellar::TrimBlanks;

// The type, six (neighbour, order) pairs, x, y, z, two integer fields and the
// partial charge; what follows is not read.
constexpr std::size_t kCoordField = 13;
constexpr std::size_t kChargeField = 18;
using AtomFields = Pellar::LineFields<kChargeField + 1>;

struct Header {
  unsigned count = 0;
  std::string_view title;
  bool has_energy = false;
  double energy = 0;
};

// "count title" with an optional "E = value KJ/mol" after the title, as
// Macromodel writes a minimised structure's energy.
bool ParseHeader(std::string_view line, Header& h) {
  std::size_t pos = 0;
  std::string_view field;
  std::uint32_t count = 0;
  if (!Pellar::NextField(line, pos, field) || !ParseWhole(field, count)) return false;
  h.count = count;
  std::string_view rest = line.substr(pos);
  const std::size_t e = rest.rfind("E =");
  if (e != std::string_view::npos && (e == 0 || Pellar::IsBlank(rest[e - 1]))) {
    const Pellar::LineFields<2> value(rest.substr(e + 3));
    if (value.count >= 1 && ParseWhole(value.field[0], h.energy)) {
      h.has_energy = true;
      rest = rest.substr(0, e);
    }
  }
  h.title = TrimBlanks(rest);
  return true;
}

struct PendingBond {
  unsigned from, to, order;
};

// One atom line; its bonds go to `bonds` for when every atom exists.
bool ReadAtom(std::string_view line, unsigned number, unsigned count, QvMolBase& mol,
              std::vector<PendingBond>& bonds, std::vector<unsigned>& types) {
  const AtomFields fields(line);
  unsigned type = 0;
  if (fields.count < kCoordField + 3 || !ParseWhole(fields.field[0], type)) return false;
  QvAtomBase* atom = mol.NewAtom(QvMMODTypeElement(type));
  atom->SetFormalCharge(QvMMODTypeCharge(type));
  types.push_back(type);

  for (std::size_t i = 0; i < 6; ++i) {
    unsigned to = 0, order = 0;
    if (!ParseWhole(fields.field[1 + 2 * i], to) || !ParseWhole(fields.field[2 + 2 * i], order)) return false;
    if (to == 0 || to == number) continue;
    if (to > count) return false;
    // Macromodel orders are 1 to 3; anything else still joins the atoms.
    bonds.push_back({number, to, order >= 1 && order <= 3 ? order : 1});
  }

  double xyz[3];
  for (std::size_t i = 0; i < 3; ++i)
    if (!ParseWhole(fields.field[kCoordField + i], xyz[i])) return false;
  mol.SetCoords(atom, xyz);

  double charge;
  if (fields.count > kChargeField && ParseWhole(fields.field[kChargeField], charge)) atom->SetPartialCharge(charge);
  return true;
}

// Each bond is normally listed from both ends, but one end is enough.
void AddBonds(QvMolBase& mol, const std::vector<PendingBond>& bonds) {
  std::vector<QvAtomBase*> atoms;
  for (QvAtomBase& atom : mol.GetAtoms()) atoms.push_back(&atom);
  for (const PendingBond& b : bonds) {
    QvAtomBase* from = atoms[b.from - 1];
    QvAtomBase* to = atoms[b.to - 1];
    if (!from->IsConnected(to)) mol.NewBond(from, to, b.order);
  }
}

// The oxide type (18) stands for both oxygens of a carboxylate; the one
// without a double bond carries the charge.
void ChargeOxides(QvMolBase& mol, const std::vector<unsigned>& types) {
  std::size_t i = 0;
  for (QvAtomBase& atom : mol.GetAtoms()) {
    if (types[i++] != 18) continue;
    bool double_bonded = false;
    for (const QvBondBase& bond : atom.GetBonds()) double_bonded |= bond.GetOrder() == 2;
    if (!double_bonded) atom.SetFormalCharge(-1);
  }
}

bool AllFlat(const QvMolBase& mol) {
  for (const QvAtomBase& atom : mol.GetAtoms()) {
    double xyz[3];
    mol.GetCoords(&atom, xyz);
    if (xyz[2] != 0.0) return false;
  }
  return true;
}

}  // namespace

bool QvMMODReadFxn(qvmolistream& in, QvMolBase& mol) {
  std::string_view line;
  do {
    if (!in.GetLine(line)) return false;
  } while (Pellar::IsBlankLine(line));
  Header header;
  if (!ParseHeader(line, header)) return false;
  mol.SetTitle(std::string(header.title));

  std::vector<PendingBond> bonds;
  std::vector<unsigned> types;
  // No reservation from the count: it is unchecked input and may be huge.
  for (unsigned i = 1; i <= header.count; ++i) {
    if (!in.GetLine(line)) return false;
    if (!ReadAtom(line, i, header.count, mol, bonds, types)) {
      // The rest of the record goes too, so that the next read starts at a
      // header rather than at an atom line whose type would pass for a count.
      for (; i < header.count && in.GetLine(line); ++i) {
      }
      return false;
    }
  }
  AddBonds(mol, bonds);
  ChargeOxides(mol, types);
  mol.SetDimension(mol.NumAtoms() != 0 && AllFlat(mol) ? 2 : 3);
  // Last: changes to the atoms clear what was set on the molecule.
  if (header.has_energy) mol.SetEnergy(header.energy);
  return true;
}

}  // namespace Tamrin
