// The molfile writer: header and V2000 connection table, with the switch to
// V3000 (mdlwriter_v3000.cpp) when the table needs it. A record is built in
// one per-thread text buffer and handed to the stream in a single write; the
// stream passes it on when its buffer fills or it is flushed or closed, not
// line by line (a system call per line would cost more than the writing).
#include <algorithm>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "pellar/qvstream.h"
#include "sorvil/error/errorhandler.h"
#include "tamrin/formats/mdl/mdl.h"
#include "tamrin/formats/mdl/mdlwriter.h"
#include "tamrin/model/graphmol.h"
#include "tamrin/model/molbase.h"
#include "tamrin/streams/molstream.h"

namespace Tamrin {

namespace MDLWrite {

namespace {

using Sorvil::QvErrorHandler;

constexpr std::size_t kLineWidth = 80;

Sorvil::QvTag MolCommentTag() {
  static const Sorvil::QvTag tag = Sorvil::QvGetTag("QvMolComment");
  return tag;
}

// "%02d%02d%02d%02d%02d" of month, day, year, hour and minute of the local
// time. Many records are written within one minute, so the text is kept.
const char* LocalDate() {
  thread_local std::time_t last = -1;
  thread_local char text[11] = "";
  const std::time_t now = std::time(nullptr);
  if (now / 60 != last / 60 || last < 0) {
    std::tm tm{};
    localtime_r(&now, &tm);
    const int fields[5] = {tm.tm_mon + 1, tm.tm_mday, tm.tm_year % 100, tm.tm_hour, tm.tm_min};
    for (int i = 0; i < 5; ++i) {
      text[2 * i] = static_cast<char>('0' + fields[i] / 10 % 10);
      text[2 * i + 1] = static_cast<char>('0' + fields[i] % 10);
    }
    last = now;
  }
  return text;
}

void AppendHeader(std::string& out, const QvMolBase& mol, unsigned dimension, unsigned flavor) {
  const char* title = mol.GetTitle();
  const std::size_t length = std::strlen(title);
  if (length > kLineWidth) QvErrorHandler::Warning("Truncating title to 80 characters for %s", title);
  out.append(title, std::min(length, kLineWidth));
  out += "\n  -Tamrin-";
  out.append((flavor & Flavor::BlankDate) ? "          " : LocalDate(), 10);
  out += dimension < 3 ? '2' : '3';
  out += "D\n";
  if (const auto* comment = mol.GetDataPtr<std::string>(MolCommentTag())) {
    if (comment->size() > kLineWidth)
      QvErrorHandler::Warning("Truncating comment to 80 characters for %s", title);
    out.append(*comment, 0, kLineWidth);
  }
  out += '\n';
}

// "%10.4f", or the widest value of the field when the number needs more.
void AppendCoord(std::string& out, float value) {
  char text[Pellar::FixedChars(4)];
  const auto n = static_cast<std::size_t>(Pellar::FormatFixed(text, value, 4) - text);
  if (n > 10) {
    out += value > 0 ? "99999.9999" : "-9999.9999";
    return;
  }
  out.append(10 - n, ' ');
  out.append(text, n);
}

// The per-atom record kept for the property lines.
struct AtomScratch {
  unsigned number;
  unsigned radical;
  int charge;
  unsigned isotope;
  unsigned rgroup;
};

char ChargeCode(int charge, bool radical) {
  switch (charge) {
    case 0: return radical ? '4' : '0';
    case 1: return '3';
    case 2: return '2';
    case 3: return '1';
    case -1: return '5';
    case -2: return '6';
    case -3: return '7';
    default: return '0';
  }
}

// Isotope minus the standard mass, when the atom block's two columns can say it.
int MassDifference(const AtomOut& atom, bool& forced) {
  if (atom.isotope == 0) return 0;
  const unsigned standard = StandardMass(atom.atom->GetAtomicNum());
  const long diff = static_cast<long>(atom.isotope) - static_cast<long>(standard);
  if (standard != 0 && diff >= -3 && diff <= 4 && diff != 0) return static_cast<int>(diff);
  forced = true;
  return 0;
}

char BondStereoCode(const BondOut& bond) {
  switch (bond.wedge) {
    case QvWedge::Up: return '1';
    case QvWedge::Hash: return '6';
    case QvWedge::Either: return '4';
    case QvWedge::EitherDouble: return '3';
    default: return bond.wedge == 0 && bond.unspecified_double ? '3' : '0';
  }
}

void AppendPropertyLine(std::string& out, const char* name, const std::pair<unsigned, long>* entries,
                        std::size_t count) {
  out += "M  ";
  out += name;
  AppendInt(out, static_cast<long>(count), 3);
  for (std::size_t k = 0; k < count; ++k) {
    out += ' ';
    AppendInt(out, entries[k].first, 3);
    out += ' ';
    AppendInt(out, entries[k].second, 3);
  }
  out += '\n';
}

// "M  XXX" lines of " %3d %3d" entries (atom number, value), eight to a
// line, for the atoms whose value is not 0.
template <class Value>
void AppendProperty(std::string& out, const char* name, const std::vector<AtomScratch>& atoms, Value value) {
  std::pair<unsigned, long> entries[8];
  std::size_t count = 0;
  for (const AtomScratch& atom : atoms) {
    const long v = value(atom);
    if (v == 0) continue;
    entries[count++] = {atom.number, v};
    if (count == 8) {
      AppendPropertyLine(out, name, entries, count);
      count = 0;
    }
  }
  if (count > 0) AppendPropertyLine(out, name, entries, count);
}

void AppendAtom(std::string& out, const AtomOut& atom, bool& charge_forced, bool& isotope_forced,
                AtomScratch& scratch) {
  const bool radical = atom.charge == 0 && atom.hydrogens + 1 == atom.default_hydrogens;
  const unsigned total = atom.explicit_valence + atom.hydrogens;
  const unsigned valence = atom.hydrogens == atom.default_hydrogens || radical ? 0 : total == 0 ? 15 : total;
  if (atom.charge >= 4 || atom.charge <= -4) charge_forced = true;
  for (float v : atom.xyz) AppendCoord(out, v);
  out += ' ';
  out.append(atom.symbol.substr(0, 3));
  out.append(3 - std::min<std::size_t>(atom.symbol.size(), 3), ' ');
  AppendInt(out, MassDifference(atom, isotope_forced), 2);
  out += "  ";
  out += ChargeCode(atom.charge, radical);
  out += "  ";
  AppendInt(out, atom.parity);
  out += "  0  0";
  AppendInt(out, valence, 3);
  out += "  0  0  0";
  AppendInt(out, atom.atom->GetAtomicNum() != 0 ? atom.map : 0, 3);
  out += "  0  0\n";
  scratch = {scratch.number, radical ? 2u : 0u, atom.charge, atom.isotope, atom.rgroup};
}

}  // namespace

void AppendV2000(std::string& out, const Table& table, unsigned flavor) {
  AppendInt(out, static_cast<long>(table.atoms.size()), 3);
  AppendInt(out, static_cast<long>(table.bonds.size()), 3);
  out += "  0   ";
  AppendInt(out, table.chiral ? 1 : 0, 3);
  out += "  0  0  0  0  0999 V2000\n";

  thread_local std::vector<AtomScratch> scratch;
  scratch.resize(table.atoms.size());
  bool charge_forced = false;
  bool isotope_forced = false;
  for (std::size_t i = 0; i < table.atoms.size(); ++i) {
    scratch[i].number = static_cast<unsigned>(i + 1);
    AppendAtom(out, table.atoms[i], charge_forced, isotope_forced, scratch[i]);
  }
  for (const BondOut& bond : table.bonds) {
    AppendInt(out, bond.first, 3);
    AppendInt(out, bond.second, 3);
    out += "  ";
    out += bond.order == 2 ? '2' : bond.order == 3 ? '3' : '1';
    out += "  ";
    out += BondStereoCode(bond);
    out += "  0  0  0\n";
  }
  for (std::size_t i = 0; i < table.atoms.size(); ++i) {
    if (table.atoms[i].alias.empty()) continue;
    out += "A  ";
    AppendInt(out, static_cast<long>(i + 1), 3);
    out += '\n';
    out.append(table.atoms[i].alias);
    out += '\n';
  }
  if ((flavor & Flavor::ChargeLines) || charge_forced) {
    AppendProperty(out, "CHG", scratch, [](const AtomScratch& a) { return a.charge; });
    AppendProperty(out, "RAD", scratch, [](const AtomScratch& a) { return a.radical; });
  }
  if ((flavor & Flavor::IsotopeLines) || isotope_forced)
    AppendProperty(out, "ISO", scratch, [](const AtomScratch& a) { return a.isotope; });
  // R-group atoms always get their numbers: the atom block has no place for them.
  AppendProperty(out, "RGP", scratch, [](const AtomScratch& a) { return a.rgroup; });
  out += "M  END\n";
}

}  // namespace MDLWrite

void WriteMDLRecord(qvmolostream& out, const QvMolBase& mol, unsigned oflavor) {
  thread_local MDLWrite::Table table;
  thread_local std::string text;
  QvWorkingMol work(mol);
  const QvMolBase& prepared = MDLWrite::Prepare(work, oflavor, table);
  const unsigned flavor = oflavor & MDLWrite::Flavor::TableMask;
  text.clear();
  MDLWrite::AppendHeader(text, prepared, table.dimension, flavor);
  if (MDLWrite::NeedsV3000(table, flavor))
    MDLWrite::AppendV3000(text, table);
  else
    MDLWrite::AppendV2000(text, table, flavor);
  out.GetStream().write(text.data(), text.size());
}

}  // namespace Tamrin
