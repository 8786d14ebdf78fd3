// The V3000 connection table, for molecules the V2000 layout cannot hold:
// more than 999 atoms or bonds, or stereo groups beyond the chiral flag.
#include <string>

#include "tamrin/formats/mdl/mdlwriter.h"
#include "tamrin/model/atombase.h"

namespace Tamrin {

namespace MDLWrite {

namespace {

// "%f".
void AppendFloat(std::string& out, float value) { AppendFixed(out, value, 6); }

void AppendKeyword(std::string& out, const char* keyword, long value) {
  out += keyword;
  AppendInt(out, value);
}

// RAD for one or two hydrogens fewer than the valence model gives (a doublet
// or a singlet, as the reader takes them back); any other difference is
// said by VAL.
const char* Radical(const AtomOut& atom) {
  if (atom.hydrogens + 1 == atom.default_hydrogens) return " RAD=2";
  if (atom.hydrogens + 2 == atom.default_hydrogens) return " RAD=1";
  return "";
}

void AppendValence(std::string& out, const AtomOut& atom) {
  if (atom.hydrogens == atom.default_hydrogens || *Radical(atom)) return;
  const unsigned total = atom.explicit_valence + atom.hydrogens;
  AppendKeyword(out, " VAL=", total == 0 ? -1L : static_cast<long>(total));
}

void AppendAtom(std::string& out, unsigned number, const AtomOut& atom) {
  out += "M  V30 ";
  AppendInt(out, number);
  out += ' ';
  out.append(atom.symbol.substr(0, 3));
  for (float v : atom.xyz) {
    out += ' ';
    AppendFloat(out, v);
  }
  out += ' ';
  AppendInt(out, atom.map);
  if (atom.charge != 0) AppendKeyword(out, " CHG=", atom.charge);
  out += Radical(atom);
  if (atom.parity != 0) AppendKeyword(out, " CFG=", atom.parity);
  if (atom.isotope != 0) AppendKeyword(out, " MASS=", atom.isotope);
  AppendValence(out, atom);
  out += '\n';
}

const char* BondConfig(const BondOut& bond) {
  switch (bond.wedge) {
    case QvWedge::Up: return " CFG=1";
    case QvWedge::Hash: return " CFG=3";
    case QvWedge::Either:
    case QvWedge::EitherDouble: return " CFG=2";
    default: return bond.wedge == 0 && bond.unspecified_double ? " CFG=2" : "";
  }
}

void AppendBond(std::string& out, unsigned number, const BondOut& bond) {
  out += "M  V30 ";
  AppendInt(out, number);
  out += ' ';
  out += bond.order == 2 ? '2' : bond.order == 3 ? '3' : '1';
  out += ' ';
  AppendInt(out, bond.first);
  out += ' ';
  AppendInt(out, bond.second);
  out += BondConfig(bond);
  out += '\n';
}

void AppendGroup(std::string& out, const GroupOut& group) {
  out += "M  V30 MDLV30/";
  switch (group.kind) {
    case QvStereoGroupKind::Or: out += "STEREL"; break;
    case QvStereoGroupKind::And: out += "STERAC"; break;
    default: out += "STEABS"; break;
  }
  if (group.kind != QvStereoGroupKind::Absolute) AppendInt(out, group.number);
  out += " ATOMS=(";
  AppendInt(out, static_cast<long>(group.atoms.size()));
  for (unsigned atom : group.atoms) {
    out += ' ';
    AppendInt(out, atom);
  }
  out += ")\n";
}

}  // namespace

void AppendV3000(std::string& out, const Table& table) {
  out += "  0  0  0     0  0            999 V3000\nM  V30 BEGIN CTAB\nM  V30 COUNTS ";
  AppendInt(out, static_cast<long>(table.atoms.size()));
  out += ' ';
  AppendInt(out, static_cast<long>(table.bonds.size()));
  out += table.chiral ? " 0 0 1\n" : " 0 0 0\n";
  out += "M  V30 BEGIN ATOM\n";
  for (std::size_t i = 0; i < table.atoms.size(); ++i) AppendAtom(out, static_cast<unsigned>(i + 1), table.atoms[i]);
  out += "M  V30 END ATOM\nM  V30 BEGIN BOND\n";
  for (std::size_t i = 0; i < table.bonds.size(); ++i) AppendBond(out, static_cast<unsigned>(i + 1), table.bonds[i]);
  out += "M  V30 END BOND\n";
  if (!table.groups.empty()) {
    out += "M  V30 BEGIN COLLECTION\n";
    for (const GroupOut& group : table.groups) AppendGroup(out, group);
    out += "M  V30 END COLLECTION\n";
  }
  out += "M  V30 END CTAB\nM  END\n";
}

}  // namespace MDLWrite

}  // namespace Tamrin
