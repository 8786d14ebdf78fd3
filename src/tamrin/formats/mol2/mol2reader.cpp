#include <array>
#include <cctype>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "pellar/numparse.h"
#include "sorvil/base/tagregistry.h"
#include "sorvil/error/errorhandler.h"
#include "tamrin/chem/elements.h"
#include "tamrin/formats/mol2/mol2.h"
#include "tamrin/model/molbase.h"
#include "tamrin/model/residue.h"
#include "tamrin/perception/atomcompletion.h"
#include "tamrin/perception/kekulize.h"
#include "tamrin/perception/tripos.h"
#include "tamrin/streams/molstream.h"

namespace Tamrin {

namespace {

using Pellar::NextField;
using Pellar::ParseWhole;
using Pellar::TrimBlanks;
using Sorvil::QvErrorHandler;

constexpr std::string_view kMarker = "@<TRIPOS>";
constexpr std::string_view kMolecule = "@<TRIPOS>MOLECULE";
constexpr unsigned kAromaticType = 5;

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

bool IEquals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

// The section name of a header line ("ATOM"), empty for other lines.
std::string_view SectionOf(std::string_view line) {
  line = TrimBlanks(line);
  if (!StartsWith(line, kMarker)) return {};
  line.remove_prefix(kMarker.size());
  std::size_t end = 0;
  while (end < line.size() && !Pellar::IsBlank(line[end])) ++end;
  return line.substr(0, end);
}

struct Failure {
  std::string reason;
};

// The nine columns of an atom line; bond and attribute lines use fewer.
using Fields = Pellar::LineFields<9>;

// "%d" at the start of the text as scanf reads it: the number may be
// followed by anything.
bool LeadingInt(std::string_view text, std::int64_t& value) {
  text = Pellar::TrimBlanksLeft(text);
  const auto [end, ec] = Pellar::ParseInt(text.data(), text.data() + text.size(), value);
  return end != text.data() && ec == std::errc();
}

bool IsInt(std::string_view field) {
  std::int64_t v;
  return ParseWhole(field, v);
}

// "%g": a number at the start of the field; what follows it is left to the
// next conversion by scanf, which for blank-separated columns is an error
// here as well.
bool Real(std::string_view field, double& value) { return ParseWhole(field, value); }

// The element a Tripos type names: its first letter, with the second when
// that forms a two-letter element (Cl, Br, Fe, Na, Co.oh). Upper-case pairs
// are taken only where the one letter is no element (RH) or for CL, BR and
// FE, so force-field types such as CA, NB and OS keep their first letter;
// lower-case types (GAFF: ca, n3, os) name their element by the first letter
// except cl and br.
unsigned ElementOfType(std::string_view type) {
  if (type.empty()) return 0;
  const char first = type[0];
  const bool lower = std::islower(static_cast<unsigned char>(first));
  char symbol[3] = {static_cast<char>(std::toupper(static_cast<unsigned char>(first))), 0, 0};
  const unsigned one = QvGetAtomicNum(std::string_view(symbol, 1));
  if (type.size() >= 2 && type[1] != '.' && std::isalpha(static_cast<unsigned char>(type[1]))) {
    symbol[1] = static_cast<char>(std::tolower(static_cast<unsigned char>(type[1])));
    const unsigned two = QvGetAtomicNum(std::string_view(symbol, 2));
    const std::string_view pair(symbol, 2);
    const bool upper_second = std::isupper(static_cast<unsigned char>(type[1]));
    bool take = false;
    if (two != 0) {
      if (lower) take = pair == "Cl" || pair == "Br";
      else if (!upper_second) take = true;
      else take = one == 0 || pair == "Cl" || pair == "Br" || pair == "Fe";
    }
    if (take) return two;
  }
  return one;
}

// A substructure name that stands for no residue: empty, "<0>", and the
// "<n>" groups that writers give atoms outside residues.
bool IsGroupName(std::string_view name) {
  if (name.empty()) return true;
  if (name.size() < 3 || name.front() != '<' || name.back() != '>') return false;
  return IsInt(name.substr(1, name.size() - 2));
}

// "ALA12" is residue ALA number 12: the digits that end a substructure name
// are the residue number writers append, so reading them back keeps a
// written residue as it was. A name without them takes the substructure id.
QvResidue ResidueOf(std::string_view name, std::int64_t id) {
  std::size_t digits = name.size();
  while (digits > 0 && std::isdigit(static_cast<unsigned char>(name[digits - 1]))) --digits;
  QvResidue residue;
  std::int32_t number = 0;
  if (digits > 0 && digits < name.size() && name.size() - digits <= 9 && ParseWhole(name.substr(digits), number)) {
    residue.name = std::string(name.substr(0, digits));
    residue.number = number;
  } else {
    residue.name = std::string(name);
    residue.number = static_cast<std::int32_t>(id);
  }
  return residue;
}

struct Reader {
  qvmolistream& in;
  QvMolBase& mol;
  bool residues;
  std::string_view line;
  long atoms_announced = 0;
  long bonds_announced = 0;
  bool atoms_seen = false;
  bool bonds_seen = false;

  // The next line, or false at the end of data or at the next record's
  // header, which is handed back for the next call.
  bool Next() {
    if (!in.GetLine(line)) return false;
    if (StartsWith(TrimBlanks(line), kMolecule)) {
      in.PushBackLine(std::string(line));
      return false;
    }
    return true;
  }

  // The title, the counts and the lines up to the first section; true when
  // a section header follows (it is in `line`).
  bool Header() {
    if (!Next()) throw Failure{"a MOLECULE section without a title"};
    const std::string_view title = Pellar::TrimBlanksRight(line);
    mol.SetTitle(title == "*****" ? std::string() : std::string(title));
    if (!Next()) throw Failure{"a MOLECULE section without counts"};
    Counts(std::string(line));
    // The molecule type and the charge type, then the comment: the first
    // text that is not the "****" of an empty status field.
    unsigned texts = 0;
    bool commented = false;
    while (Next()) {
      if (!SectionOf(line).empty()) return true;
      const std::string_view text = TrimBlanks(line);
      if (text.empty() || commented) continue;
      if (++texts <= 2 || text.find_first_not_of('*') == std::string_view::npos) continue;
      static const Sorvil::QvTag tag = Sorvil::QvGetTag("QvMolComment");
      mol.SetData(tag, std::string(text));
      commented = true;
    }
    return false;
  }

  void Counts(const std::string& text) {
    std::int64_t atoms = 0, bonds = 0;
    std::size_t pos = 0;
    std::string_view first, second;
    if (!NextField(text, pos, first) || !NextField(text, pos, second) || !LeadingInt(first, atoms) ||
        !LeadingInt(second, bonds)) {
      QvErrorHandler::Warning("Malformed atom and bond count block in MOL2 format = (%s)", text.c_str());
      throw Failure{"its counts line"};
    }
    if (atoms < 0 || atoms > std::numeric_limits<int>::max()) {
      QvErrorHandler::Warning("Invalid number of atoms in MOL2 format = (%s)", text.c_str());
      throw Failure{"its atom count"};
    }
    if (bonds < 0 || bonds > std::numeric_limits<int>::max()) {
      QvErrorHandler::Warning("Invalid number of bonds in MOL2 format = (%s)", text.c_str());
      throw Failure{"its bond count"};
    }
    atoms_announced = static_cast<long>(atoms);
    bonds_announced = static_cast<long>(bonds);
  }

  // Lines up to the next section header; true when there is one.
  bool Skip() {
    while (Next())
      if (!SectionOf(line).empty()) return true;
    return false;
  }

  // Reads the section whose header is in `line`; true when another header
  // follows.
  bool Section() {
    const std::string_view name = SectionOf(line);
    if (name == "ATOM") return Atoms();
    if (name == "BOND") return Bonds();
    if (name == "UNITY_ATOM_ATTR") return AtomAttributes();
    return Skip();
  }

  // The next non-blank line of a table, false at a section header or the
  // end of the record.
  bool TableLine() {
    while (Next()) {
      if (!SectionOf(line).empty()) return false;
      if (!Pellar::IsBlankLine(line)) return true;
    }
    line = {};
    return false;
  }

  bool Atoms() {
    if (atoms_seen) return Skip();
    atoms_seen = true;
    for (long i = 0; i < atoms_announced; ++i) {
      if (!TableLine())
        throw Failure{"an ATOM section of fewer lines than its " + std::to_string(atoms_announced) + " atoms"};
      Atom(Fields(line));
    }
    return Skip();
  }

  // "%*d %s %g %g %g %s %d %s %g", else "%*d %s %g %g %g %s %*s %s %g".
  // The substructure and charge columns are optional: many writers stop
  // after the type.
  void Atom(const Fields& f) {
    double xyz[3];
    if (f.count < 6 || !IsInt(f.field[0]) || !Real(f.field[2], xyz[0]) || !Real(f.field[3], xyz[1]) ||
        !Real(f.field[4], xyz[2]))
      throw Failure{"a malformed ATOM line: " + std::string(TrimBlanks(line))};
    const std::string_view type = f.field[5];
    QvAtomBase* atom = mol.NewAtom(IEquals(type, "Du") || IEquals(type, "Lp") ? 0u : ElementOfType(type));
    atom->SetName(std::string(f.field[1]));
    atom->SetType(std::string(type));
    mol.SetCoords(atom, xyz);
    double charge = 0;
    if (f.count >= 9 && Real(f.field[8], charge)) atom->SetPartialCharge(charge);
    std::int64_t id = 0;
    if (residues && f.count >= 8 && !IsGroupName(f.field[7])) {
      if (!ParseWhole(f.field[6], id)) id = 0;
      QvSetResidue(*atom, ResidueOf(f.field[7], id));
    }
  }

  bool Bonds() {
    if (bonds_seen) return Skip();
    bonds_seen = true;
    const unsigned n = mol.NumAtoms();
    std::vector<QvAtomBase*> atoms;
    atoms.reserve(n);
    for (QvAtomBase& atom : mol.GetAtoms()) atoms.push_back(&atom);
    for (long i = 0; i < bonds_announced; ++i) {
      if (!TableLine()) throw Failure{"a BOND section of fewer lines than its " + std::to_string(bonds_announced) + " bonds"};
      const Fields f(line);
      std::int64_t a = 0, b = 0;
      if (f.count < 4 || !IsInt(f.field[0]) || !ParseWhole(f.field[1], a) || !ParseWhole(f.field[2], b))
        throw Failure{"a malformed BOND line: " + std::string(TrimBlanks(line))};
      if (a < 1 || b < 1 || a > n || b > n || a == b) continue;
      QvAtomBase* bgn = atoms[static_cast<std::size_t>(a - 1)];
      QvAtomBase* end = atoms[static_cast<std::size_t>(b - 1)];
      const std::string_view type = f.field[3];
      if (bgn->IsConnected(end) || IEquals(type, "nc")) continue;
      Bond(bgn, end, type);
    }
    return Skip();
  }

  void Bond(QvAtomBase* bgn, QvAtomBase* end, std::string_view type) {
    unsigned int_type = 1;
    if (type[0] == '2' || type[0] == '3' || type[0] == '4') int_type = static_cast<unsigned>(type[0] - '0');
    else if (IEquals(type, "ar")) int_type = kAromaticType;
    else if (IEquals(type, "du")) int_type = 0;
    if (int_type == 0) return;  // made and deleted again: no trace
    const unsigned order = int_type == kAromaticType ? kQvAromaticOrder : int_type == 4 ? 1 : int_type;
    QvBondBase* bond = mol.NewBond(bgn, end, order);
    bond->SetIntType(int_type);
    bond->SetType(std::string(type));
  }

  // Formal charges as some writers give them: "atom count" lines, each
  // followed by `count` attribute lines ("charge -1").
  bool AtomAttributes() {
    const unsigned n = mol.NumAtoms();
    std::vector<QvAtomBase*> atoms;
    for (QvAtomBase& atom : mol.GetAtoms()) atoms.push_back(&atom);
    while (TableLine()) {
      const Fields f(line);
      std::int64_t index = 0, count = 0;
      if (f.count < 2 || !ParseWhole(f.field[0], index) || !ParseWhole(f.field[1], count)) continue;
      for (std::int64_t k = 0; k < count; ++k) {
        if (!TableLine()) return !SectionOf(line).empty();
        const Fields attr(line);
        std::int64_t charge = 0;
        if (attr.count >= 2 && attr.field[0] == "charge" && ParseWhole(attr.field[1], charge) && index >= 1 &&
            index <= n && charge >= -15 && charge <= 15)
          atoms[static_cast<std::size_t>(index - 1)]->SetFormalCharge(static_cast<int>(charge));
      }
    }
    return !SectionOf(line).empty();
  }

  void Body() {
    for (bool more = Header(); more;) more = Section();
    if (atoms_announced > 0 && !atoms_seen) throw Failure{"no ATOM section for its " + std::to_string(atoms_announced) + " atoms"};
    if (bonds_announced > 0 && !bonds_seen && mol.NumAtoms() > 0)
      throw Failure{"no BOND section for its " + std::to_string(bonds_announced) + " bonds"};
  }
};

// Atoms with one neighbour on aromatic bonds are the oxygens of carboxylate,
// nitro, sulfonate, phosphate and perchlorate groups that some writers type
// "ar": their central atom gets its double bonds back.
void ResolveTerminalAromaticBonds(QvMolBase& mol) {
  std::vector<QvAtomBase*> centres;
  for (QvBondBase& bond : mol.GetBonds()) {
    if (bond.GetIntType() != kAromaticType) continue;
    if (bond.GetBgn()->GetExplicitDegree() == 1) centres.push_back(bond.GetEnd());
    else if (bond.GetEnd()->GetExplicitDegree() == 1) centres.push_back(bond.GetBgn());
  }
  for (QvAtomBase* centre : centres) {
    unsigned k;
    switch (centre->GetAtomicNum()) {
      case 6: k = std::string_view(centre->GetTypeName()) == "C.cat" ? 0 : 1; break;
      case 7:
      case 16: k = 2; break;
      case 15: k = 1; break;
      case 17: k = 3; break;
      default: continue;
    }
    for (QvBondBase& bond : centre->GetBonds()) {
      if (bond.GetIntType() != kAromaticType) continue;
      const unsigned type = k > 0 ? 2 : 1;
      if (k > 0) --k;
      bond.SetIntType(type);
      bond.SetOrder(type);
    }
  }
}

bool HasHydrogenAtom(const QvMolBase& mol) {
  for (const QvAtomBase& atom : mol.GetAtoms())
    if (atom.GetAtomicNum() == 1) return true;
  return false;
}

void SetExpectedHydrogens(QvMolBase& mol) {
  for (QvAtomBase& atom : mol.GetAtoms())
    if (const unsigned h = QvTriposExpectedHCount(atom); h > 0) atom.SetImplicitHCount(h);
}

// The file lists the hydrogens it means: no atom gets implicit ones.
void CleanupHydrogens(QvMolBase& mol) {
  for (QvAtomBase& atom : mol.GetAtoms()) atom.SetImplicitHCount(0);
}

void Finish(QvMolBase& mol, bool keep_hydrogens) {
  keep_hydrogens = keep_hydrogens || HasHydrogenAtom(mol);
  ResolveTerminalAromaticBonds(mol);
  // Kekulization needs the hydrogens the types imply.
  if (!keep_hydrogens) SetExpectedHydrogens(mol);
  QvAssignTriposBondOrders(mol);
  if (keep_hydrogens) CleanupHydrogens(mol);
  else SetExpectedHydrogens(mol);
  QvCompleteAtoms(mol);
  mol.SetDimension(3);
}

}  // namespace

bool ReadMOL2Record(qvmolistream& in, QvMolBase& mol, bool keep_hydrogens) {
  std::string_view line;
  for (;;) {
    if (!in.GetLine(line)) return false;
    if (StartsWith(TrimBlanks(line), kMolecule)) break;
  }
  const bool residues = in.GetFormat() == QvFormat::MOL2 && (in.GetFlavor() & QvIFlavor::MOL2::Residues);
  Reader reader{in, mol, residues, {}};
  try {
    reader.Body();
  } catch (const Failure& failure) {
    QvErrorHandler::Warning("Unable to read MOL2 file because of %s", failure.reason.c_str());
    mol.Clear();
    return false;
  }
  Finish(mol, keep_hydrogens);
  return true;
}

}  // namespace Tamrin
