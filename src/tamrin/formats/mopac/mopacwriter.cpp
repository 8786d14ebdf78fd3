#include <algorithm>
#include <cctype>
#include <string>
#include <string_view>

#include "pellar/numformat.h"
#include "pellar/qvstream.h"
#include "sorvil/base/tagdata.h"
#include "tamrin/chem/elements.h"
#include "tamrin/formats/mopac/mopac.h"
#include "tamrin/model/graphmol.h"
#include "tamrin/model/molbase.h"
#include "tamrin/perception/explicith.h"

namespace Tamrin {

namespace {

using QvOFlavor::MOPAC::AddHydrogens;
using QvOFlavor::MOPAC::Optimise;

// The widest " %13.8f %d" of a double, three of them, the symbol and the line end.
constexpr std::size_t kLineMax = 4 + 3 * (Pellar::FixedChars(8) + 4) + 1;

// One line of text: line breaks in it would shift the deck's lines.
void PutTextLine(Pellar::qvostream& out, std::string text) {
  std::replace_if(text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
  text += '\n';
  out.write(text.data(), text.size());
}

int NetCharge(const QvMolBase& mol) {
  int charge = 0;
  for (const QvAtomBase& atom : mol.GetAtoms()) charge += atom.GetFormalCharge();
  return charge;
}

std::string Keywords(const QvMolBase& mol, bool optimise) {
  std::string keywords = Sorvil::QvHasSDData(mol, kQvMOPACKeywordsTag) ? Sorvil::QvGetSDData(mol, kQvMOPACKeywordsTag)
                         : optimise                                    ? "PM7"
                                                                       : "PM7 1SCF";
  std::string upper = keywords;
  std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
  const int charge = NetCharge(mol);
  if (charge != 0 && upper.find("CHARGE=") == std::string::npos) {
    keywords += " CHARGE=";
    Pellar::AppendInt(keywords, charge);
  }
  return keywords;
}

// MOPAC's symbols, with "XX" for its dummy atom.
std::string_view SymbolOf(unsigned atomic_num) {
  const char* symbol = QvGetAtomicSymbol(atomic_num);
  return *symbol ? symbol : "XX";
}

}  // namespace

void QvMOPACWriteFxn(Pellar::qvostream& out, const QvMolBase& source, unsigned options) {
  QvWorkingMol work(source);
  const QvMolBase& mol = QvPrepareAllAtoms(work, options & AddHydrogens);
  const bool optimise = options & Optimise;

  // A deck ends at a blank line or at the end of the file; readers that take
  // one deck per file refuse a blank line after the last atom.
  if (out.tell() > 0) out.put('\n');
  PutTextLine(out, Keywords(mol, optimise));
  PutTextLine(out, mol.GetTitle());
  PutTextLine(out, Sorvil::QvGetSDData(mol, kQvMOPACCommentTag));

  const char flag = optimise ? '1' : '0';
  char line[kLineMax];
  for (const QvAtomBase& atom : mol.GetAtoms()) {
    char* p = Pellar::Pad(line, SymbolOf(atom.GetAtomicNum()), 2, Pellar::Align::Left);
    double xyz[3] = {};
    mol.GetCoords(&atom, xyz);
    for (double v : xyz) {
      *p++ = ' ';
      p = Pellar::FormatFixed(p, v, 13, 8);
      *p++ = ' ';
      *p++ = flag;
    }
    *p++ = '\n';
    out.write(line, static_cast<std::size_t>(p - line));
  }
}

}  // namespace Tamrin
