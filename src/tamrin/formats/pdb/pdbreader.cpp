#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "pellar/numparse.h"
#include "sorvil/base/tagdata.h"
#include "sorvil/base/tagregistry.h"
#include "sorvil/error/errorhandler.h"
#include "tamrin/chem/elements.h"
#include "tamrin/formats/pdb/pdb.h"
#include "tamrin/formats/pdb/pdbperception.h"
#include "tamrin/model/coordtable.h"
#include "tamrin/model/molbase.h"
#include "tamrin/model/residue.h"
#include "tamrin/streams/molstream.h"

namespace Tamrin {

namespace {

using Pellar::TrimBlanks;
using Sorvil::QvErrorHandler;
namespace Flag = QvIFlavor::PDB;

// Card images: whatever stands past column 80 is not part of the record.
constexpr std::size_t kLineMax = 80;

// Columns `first` to `last` (1-based, inclusive), cut at the end of the line.
std::string_view Cols(std::string_view line, std::size_t first, std::size_t last) {
  if (line.size() < first) return {};
  return line.substr(first - 1, std::min(last, line.size()) - first + 1);
}

char Col(std::string_view line, std::size_t col) { return line.size() >= col ? line[col - 1] : ' '; }

// A float is read as a double and narrowed as a molecule narrows its
// coordinates.
template <class T>
bool ParseCols(std::string_view line, std::size_t first, std::size_t last, T& value) {
  if constexpr (std::is_same_v<T, float>) {
    double wide;
    if (!ParseCols(line, first, last, wide)) return false;
    value = QvNarrow<float>(wide);
    return true;
  } else {
    return Pellar::ParseWhole(TrimBlanks(Cols(line, first, last)), value);
  }
}

// Columns of atom records nearly always hold a number as the format lays it
// out: for reals "%W.Df" (blanks, a '-', digits, the '.' in its column, D
// digits), for integers blanks, a '-' and digits. Such a field is read here
// on the spot, to the value the general parser gives it (its digits over an
// exact power of ten); any other text goes to that parser.
//
// A float takes the digits times the reciprocal of that power, rounded once:
// the same float as the quotient rounded to a double and then to a float.
// The quotient is never within 1e-10 (relative) of a value halfway between
// two floats, which has 25 significant bits and a power of two below it,
// and the product is off by 2^-52 at most; a multiplication does not keep
// the reader waiting as a division does.
template <std::size_t Decimals, class T>
bool ParseColsFast(std::string_view line, std::size_t first, std::size_t last, T& value) {
  static_assert(Decimals < 7);
  constexpr double kScale = Decimals == 0 ? 1.0 : Decimals == 1 ? 1e1 : Decimals == 2 ? 1e2 : Decimals == 3 ? 1e3
                          : Decimals == 4 ? 1e4 : Decimals == 5 ? 1e5 : 1e6;
  const std::size_t width = last - first + 1;
  if (line.size() >= last && width > Decimals + 1 && width < 16) {
    const char* const field = line.data() + first - 1;
    const std::size_t point = Decimals == 0 ? width : width - Decimals - 1;
    std::size_t i = 0;
    while (i < point && field[i] == ' ') ++i;
    const bool negative = i < point && field[i] == '-';
    i += negative;
    // Every character is taken and checked after: no branch per digit, and
    // the decimals, a fixed count, run unrolled.
    bool bad = i == point;
    std::uint64_t digits = 0;
    const auto take = [&](char c) {
      const unsigned digit = static_cast<unsigned char>(c) - unsigned{'0'};
      bad |= digit > 9;
      digits = digits * 10 + digit;
    };
    for (; i < point; ++i) take(field[i]);
    if constexpr (Decimals > 0) {
      bad |= field[point] != '.';
      for (i = point + 1; i < width; ++i) take(field[i]);
    }
    if (!bad) {
      if constexpr (std::is_same_v<T, float>) {
        const float magnitude = static_cast<float>(static_cast<double>(digits) * (1.0 / kScale));
        value = negative ? -magnitude : magnitude;
      } else if constexpr (std::is_floating_point_v<T>) {
        const double magnitude = static_cast<double>(digits) / kScale;
        value = negative ? -magnitude : magnitude;
      } else {
        value = negative ? -static_cast<T>(digits) : static_cast<T>(digits);
      }
      return true;
    }
  }
  return ParseCols(line, first, last, value);
}

bool StartsWith(std::string_view line, std::string_view prefix) { return line.substr(0, prefix.size()) == prefix; }

// The record name: the leading letters and digits of the first six columns.
std::string_view RecordName(std::string_view line) {
  std::size_t n = 0;
  while (n < 6 && n < line.size() && line[n] != ' ') ++n;
  return line.substr(0, n);
}

// Residue names are a few characters: appended one by one into the
// string's own buffer, without a library call.
void AppendShort(std::string& text, std::string_view chars) {
  for (const char c : chars) text.push_back(c);
}

std::string Chain(char c) { return c == ' ' ? std::string() : std::string(1, c); }

// The element of a one-letter symbol of either case (D and T are
// hydrogen), 0 for none; looked up in a table, as every atom asks.
unsigned OneLetterElement(char c) {
  static const std::array<std::uint8_t, 26> kByLetter = [] {
    std::array<std::uint8_t, 26> table{};
    for (char letter = 'A'; letter <= 'Z'; ++letter)
      table[letter - 'A'] = static_cast<std::uint8_t>(QvGetAtomicNum(std::string_view(&letter, 1)));
    return table;
  }();
  if (c == 'D' || c == 'T') return 1;
  const unsigned upper = static_cast<unsigned char>(c) & ~0x20u;
  return upper >= 'A' && upper <= 'Z' ? kByLetter[upper - 'A'] : 0;
}

// Columns 77-78 when they name an element; otherwise the atom name, whose
// element stands right-aligned in columns 13-14. Names that begin in column
// 13 with a letter are either two-letter elements ("FE  ", "CL1 ") or long
// names of a one-letter element ("HG21", "HN19"); in polymer (ATOM) records
// a leading H is always hydrogen, elsewhere a two-letter element wins.
unsigned ElementOf(std::string_view line, bool hetero, unsigned& isotope) {
  isotope = 0;
  const char c77 = Col(line, 77), c78 = Col(line, 78);
  if (c77 == ' ' && c78 >= 'A' && c78 <= 'Z') {
    // The common layout: one capital right-aligned.
    if (c78 == 'D') isotope = 2;
    if (c78 == 'T') isotope = 3;
    if (const unsigned z = OneLetterElement(c78)) return z;
  } else if (const std::string_view columns = TrimBlanks(Cols(line, 77, 78)); !columns.empty()) {
    if (columns == "D") isotope = 2;
    if (columns == "T") isotope = 3;
    if (isotope) return 1;
    if (const unsigned z = QvGetAtomicNum(columns)) return z;
  }
  const char c13 = Col(line, 13), c14 = Col(line, 14);
  const bool letter13 = (c13 >= 'A' && c13 <= 'Z') || (c13 >= 'a' && c13 <= 'z');
  const bool letter14 = (c14 >= 'A' && c14 <= 'Z') || (c14 >= 'a' && c14 <= 'z');
  char one = c14;
  if (letter13) {
    if (letter14 && !(c13 == 'H' && !hetero)) {
      const char two[2] = {c13, c14};
      if (const unsigned z = QvGetAtomicNum(std::string_view(two, 2))) return z;
    }
    one = c13;
  } else if (!letter14) {
    // Names shifted one column ("  C1") or left-aligned after a digit.
    one = Col(line, 15);
  }
  if (one == 'D') isotope = 2;
  if (one == 'T') isotope = 3;
  return OneLetterElement(one);
}

// What a molecule's records say beyond its atoms, applied once they are all read.
struct Pending {
  std::vector<std::string> conect;
  std::vector<std::string> links;
  // The entry's, carried to a later model: models of an NMR entry need not
  // all hold the atoms a link names, so those that find none say nothing.
  std::vector<std::string> carried;
  struct Range {
    char kind;
    std::string chain;
    int first, last;
  };
  std::vector<Range> secondary;
};

class Reader {
 public:
  // `coords` and `by_serial` are working arrays, whatever they held before,
  // kept at their size: the models of a file grow them once. The
  // coordinates of the atoms the molecule has already are kept; a slot of a
  // new atom is written before it is read, and those past the last atom are
  // cut off in Finish.
  Reader(QvMolBase& mol, unsigned flags, std::vector<float>& coords, std::vector<QvAtomBase*>& by_serial)
      : mol_(mol), flags_(flags), coords_(coords), by_serial_(by_serial) {
    coords_.resize(std::max(coords_.size(), 3 * std::size_t{mol_.GetMaxAtomIdx()}));
    if (mol_.GetMaxAtomIdx() > 0) mol_.GetCoords(coords_.data());
    std::fill(by_serial_.begin(), by_serial_.end(), nullptr);
  }

  // False when the line ends the molecule.
  bool Line(std::string_view line) {
    if (line.size() > kLineMax) line = line.substr(0, kLineMax);
    const std::string_view name = RecordName(line);
    if (name == "ATOM" || name == "HETATM" || StartsWith(line, "HETA")) {
      Atom(line, line[0] == 'H');
    } else if (name == "ANISOU") {
      AnisoU(line);
    } else if (name == "CONECT") {
      if (line.size() >= 16) pending_.conect.emplace_back(line);
    } else if (name == "TER" || name == "END" || name == "ENDMDL") {
      const unsigned flag = name == "TER" ? Flag::TER : name == "END" ? Flag::END : Flag::ENDMDL;
      if (name == "TER") ++fragment_;
      return !((flags_ & flag) && mol_.NumAtoms() > 0);
    } else if (name == "MODEL") {
      Model(line);
    } else if (name == "MASTER" || name.empty()) {
      // Counts that the writer recomputes; blank lines.
    } else {
      Header(line, name);
    }
    return true;
  }

  // The LINK records of an entry's header hold for each of its models: a
  // model without its own takes those of the entry (`carried`), and a
  // header with LINK records, or a new entry, replaces them there.
  void Finish(std::vector<std::string>& carried) {
    if (header_links_ || new_entry_)
      carried = pending_.links;
    else if (model_seen_ && pending_.carried.empty())
      pending_.carried = carried;
    if (atoms_read_) {
      coords_.resize(3 * std::size_t{mol_.GetMaxAtomIdx()});
      mol_.SetCoords(coords_.data());
    }
    for (const std::string& line : pending_.conect) Conect(line);
    for (const std::string& line : pending_.links) Link(line, true);
    for (const std::string& line : pending_.carried) Link(line, false);
    if (!pending_.secondary.empty()) SecondaryStructure();
  }

 private:
  void Atom(std::string_view line, bool hetero) {
    const char alt = Col(line, 17);
    const std::string_view res_name = TrimBlanks(Cols(line, 18, 20));
    if (!(flags_ & Flag::ALL) &&
        ((alt != ' ' && alt != 'A' && alt != '1') || Cols(line, 13, 14) == " Q" || res_name == "DUM" ||
         (Col(line, 31) == '9' && Cols(line, 31, 54) == "9999.0009999.0009999.000")))
      return;

    float xyz[3];
    if (!ParseColsFast<3>(line, 31, 38, xyz[0]) || !ParseColsFast<3>(line, 39, 46, xyz[1]) ||
        !ParseColsFast<3>(line, 47, 54, xyz[2])) {
      QvErrorHandler::Warning("Skipping invalid atom record: %.*s", static_cast<int>(line.size()), line.data());
      return;
    }
    unsigned isotope = 0;
    const unsigned z = ElementOf(line, hetero, isotope);
    QvAtomBase* atom = mol_.NewAtom(z);
    if (isotope) atom->SetIsotope(isotope);
    // Stored here and handed over at once when the molecule is complete.
    const std::size_t at = 3 * std::size_t{atom->GetIdx()};
    if (coords_.size() < at + 3) coords_.resize(std::max(at + 3, 2 * coords_.size()));
    std::copy_n(xyz, 3, coords_.begin() + static_cast<std::ptrdiff_t>(at));
    atoms_read_ = true;
    // A new atom has no data yet: its name and residue are appended as they
    // are made, each made in place and the residue filled where it will
    // live, with nothing to look up. The order of the items is that of the
    // setters.
    atom->AddData(
        std::make_unique<Sorvil::QvBaseDataT<std::string>>(Sorvil::QvNameTag, std::in_place, Cols(line, 13, 16)));
    auto item = std::make_unique<Sorvil::QvBaseDataT<QvResidue>>(Sorvil::QvResidueTag, std::in_place);
    QvResidue& res = item->Get();
    AppendShort(res.name, res_name);
    if (const char chain = Col(line, 22); chain != ' ') res.chain.push_back(chain);
    // Unreadable numbers (hybrid-36 serials past 99999) stay 0: the atom is
    // still good, only its CONECT records cannot find it.
    ParseColsFast<0>(line, 23, 26, res.number);
    res.insertion_code = Col(line, 27);
    res.alternate_location = alt;
    ParseColsFast<0>(line, 7, 11, res.serial);
    res.model = model_;
    res.fragment = fragment_;
    res.hetero = hetero;
    if (line.size() >= 60) {
      double radius;
      if (!(flags_ & Flag::Radius))
        ParseColsFast<2>(line, 55, 60, res.occupancy);
      else if (ParseColsFast<2>(line, 55, 60, radius))
        atom->SetRadius(radius);
    }
    if (line.size() >= 66) {
      double charge;
      if (!(flags_ & Flag::Charge))
        ParseBFactor(line, res.b_factor);
      else if (ParseBFactor(line, charge))
        atom->SetPartialCharge(charge);
    }
    if ((flags_ & Flag::FormalCharge) && line.size() >= 79) {
      const char digit = line[78];
      if (digit >= '1' && digit <= '9') atom->SetFormalCharge(Col(line, 80) == '-' ? '0' - digit : digit - '0');
    }
    Remember(res.serial, atom);
    atom->AddData(std::move(item));
    last_ = atom;
  }

  // Columns 61-66, or 61-67 unless column 67 is blank, as it is in files
  // that keep to "%6.2f" there.
  template <class T>
  static bool ParseBFactor(std::string_view line, T& value) {
    return line.size() > 66 && line[66] != ' ' ? ParseCols(line, 61, 67, value) : ParseColsFast<2>(line, 61, 66, value);
  }

  void Remember(int serial, QvAtomBase* atom) {
    if (serial <= 0) return;
    const auto s = static_cast<std::size_t>(serial);
    if (s >= by_serial_.size()) by_serial_.resize(std::max(s + 1, 2 * by_serial_.size()), nullptr);
    QvAtomBase*& slot = by_serial_[s];
    if (!slot || !atom->IsHydrogen()) slot = atom;
  }

  QvAtomBase* BySerial(int serial) const {
    return serial > 0 && static_cast<std::size_t>(serial) < by_serial_.size() ? by_serial_[serial] : nullptr;
  }

  void AnisoU(std::string_view line) {
    int serial = 0;
    if (!last_ || !ParseCols(line, 7, 11, serial) || serial != QvGetResidue(*last_)->serial) return;
    QvAnisoU u;
    for (std::size_t i = 0; i < 6; ++i)
      if (!ParseCols(line, 29 + 7 * i, 35 + 7 * i, u.u[i])) return;
    last_->SetData(Sorvil::QvAnisoTag, u);
  }

  void Model(std::string_view line) {
    model_seen_ = true;
    if (line.size() < 14) return;
    // "%d" after the record name: blanks, then a number as far as it goes.
    const std::string_view rest = Pellar::TrimBlanksLeft(line.substr(6));
    int number;
    const auto got = Pellar::ParseInt(rest.data(), rest.data() + rest.size(), number);
    if (got.ec == std::errc()) model_ = number;
  }

  void Header(std::string_view line, std::string_view name) {
    if (name == "COMPND") Compound(line);
    if (name == "HELIX" || name == "SHEET") Secondary(line, name == "HELIX");
    if (name == "HEADER") new_entry_ = true;
    if (name == "LINK") {
      // Within a model it is the entry's, carried there (QvPDBTokenizer):
      // the header with the first model keeps it.
      if (model_seen_) {
        pending_.carried.emplace_back(line);
        return;
      }
      pending_.links.emplace_back(line);
      header_links_ = true;
    }
    QvAddPDBData(mol_, name, line.substr(name.size()));
  }

  void Compound(std::string_view line) {
    const std::string_view text = line.size() > 10 ? line.substr(10) : std::string_view();
    if (Pellar::IsBlankLine(Cols(line, 7, 10))) {
      if (StartsWith(text, "MOL_ID:")) return;
      mol_.SetTitle(std::string(TrimBlanks(text)));
      title_from_compound_ = true;
    } else if (StartsWith(text, " MOLECULE:") && !title_from_compound_) {
      std::string_view title = TrimBlanks(text.substr(10));
      if (!title.empty() && title.back() == ';') title.remove_suffix(1);
      mol_.SetTitle(std::string(title));
      title_from_compound_ = true;
    }
  }

  // HELIX: chain 20, residues 22-25 to 34-37; SHEET: chain 22, residues
  // 23-26 to 34-37.
  void Secondary(std::string_view line, bool helix) {
    Pending::Range range{helix ? 'H' : 'S', Chain(Col(line, helix ? 20 : 22)), 0, 0};
    if (line.size() < 37 || !ParseCols(line, helix ? 22 : 23, helix ? 25 : 26, range.first) ||
        !ParseCols(line, 34, 37, range.last) || range.last < range.first) {
      QvErrorHandler::Warning("Skipping invalid secondary structure record: %.*s", static_cast<int>(line.size()),
                              line.data());
      return;
    }
    pending_.secondary.push_back(std::move(range));
  }

  void SecondaryStructure() {
    for (QvAtomBase& atom : mol_.GetAtoms()) {
      const QvResidue* res = QvGetResidue(atom);
      if (!res) continue;
      for (const Pending::Range& range : pending_.secondary) {
        if (res->chain == range.chain && res->number >= range.first && res->number <= range.last) {
          QvResidue updated = *res;
          updated.secondary_structure = range.kind;
          QvSetResidue(atom, std::move(updated));
          break;
        }
      }
    }
  }

  void Conect(std::string_view line) {
    int serial = 0;
    QvAtomBase* atom = ParseCols(line, 7, 11, serial) ? BySerial(serial) : nullptr;
    if (!atom) return;
    int previous = 0;
    unsigned run = 0;
    for (std::size_t col = 12; col <= line.size(); col += 5) {
      int other = 0;
      if (!ParseCols(line, col, col + 4, other) || other == 0) break;
      if (other == serial) continue;
      run = other == previous ? run + 1 : 1;
      previous = other;
      QvAtomBase* nbr = BySerial(other);
      if (!nbr || nbr == atom) continue;
      // Orders count within one record only: files that list a double bond
      // from both ends ("CONECT 1 2 2", "CONECT 2 1 1") mean one double bond.
      const unsigned order = std::min(run, 4u);
      if (QvBondBase* bond = mol_.GetBond(atom, nbr)) {
        if (bond->GetOrder() < order) bond->SetOrder(order);
      } else {
        mol_.NewBond(atom, nbr, order);
      }
    }
  }

  // LINK: name 13-16, residue 18-20, chain 22, number 23-26, insertion 27;
  // the second atom the same at 43-57.
  void Link(std::string_view line, bool warn) {
    struct Key {
      std::string_view name, residue;
      char chain, insertion;
      int number = 0;
    } key[2];
    bool ok = line.size() >= 56;
    for (std::size_t i = 0; ok && i < 2; ++i) {
      const std::size_t o = 30 * i;
      key[i] = {TrimBlanks(Cols(line, 13 + o, 16 + o)), TrimBlanks(Cols(line, 18 + o, 20 + o)), Col(line, 22 + o),
                Col(line, 27 + o)};
      ok = !key[i].name.empty() && ParseCols(line, 23 + o, 26 + o, key[i].number);
    }
    const std::string_view rest = Pellar::TrimBlanksRight(line.substr(std::min<std::size_t>(6, line.size())));
    if (!ok) {
      if (warn)
        QvErrorHandler::Warning("Skipping invalid LINK record: %.*s", static_cast<int>(line.size()), line.data());
      return;
    }
    QvAtomBase* found[2] = {nullptr, nullptr};
    for (QvAtomBase& atom : mol_.GetAtoms()) {
      const QvResidue* res = QvGetResidue(atom);
      if (!res) continue;
      for (std::size_t i = 0; i < 2; ++i) {
        if (!found[i] && res->number == key[i].number && res->name == key[i].residue &&
            res->insertion_code == key[i].insertion && res->chain == Chain(key[i].chain) &&
            TrimBlanks(atom.GetName()) == key[i].name)
          found[i] = &atom;
      }
    }
    if (!found[0] || !found[1] || found[0] == found[1]) {
      if (warn)
        QvErrorHandler::Warning("Failed to find atoms matching LINK %.*s", static_cast<int>(rest.size()), rest.data());
      return;
    }
    if (!mol_.GetBond(found[0], found[1])) mol_.NewBond(found[0], found[1], 1);
  }

  QvMolBase& mol_;
  const unsigned flags_;
  int model_ = 0;
  int fragment_ = 0;
  bool title_from_compound_ = false;
  bool model_seen_ = false;
  bool header_links_ = false;
  bool new_entry_ = false;
  bool atoms_read_ = false;
  QvAtomBase* last_ = nullptr;
  std::vector<float>& coords_;
  std::vector<QvAtomBase*>& by_serial_;
  Pending pending_;
};

Sorvil::QvTag PDBDataTag() {
  static const Sorvil::QvTag tag = Sorvil::QvGetTag("PDBData");
  return tag;
}

}  // namespace

void QvAddPDBData(QvMolBase& mol, std::string_view record, std::string_view rest) {
  mol.AddData(PDBDataTag(), Sorvil::QvTagData(std::string(record), std::string(rest)));
}

std::vector<std::pair<std::string, std::string>> QvGetPDBData(const QvMolBase& mol) {
  std::vector<std::pair<std::string, std::string>> pairs;
  for (const Sorvil::QvBaseData& item : mol.GetDataItems(PDBDataTag()))
    if (const auto* pair = Sorvil::QvDataValue<Sorvil::QvTagData>(item)) pairs.emplace_back(pair->GetTag(), pair->GetValue());
  return pairs;
}

void QvClearPDBData(QvMolBase& mol) { mol.DeleteData(PDBDataTag()); }

const QvAnisoU* QvGetAnisoU(const QvAtomBase& atom) { return atom.GetDataPtr<QvAnisoU>(Sorvil::QvAnisoTag); }

bool QvPDBReadFxn(qvmolistream& in, QvMolBase& mol, unsigned flags) {
  mol.SetDimension(3);
  QvPDBInputState& state = QvPDBStateOf(in);
  Reader reader(mol, flags, state.coords, state.by_serial);
  std::string_view line;
  while (in.GetLine(line))
    if (!reader.Line(line)) break;
  reader.Finish(state.links);
  return mol.NumAtoms() > 0;
}

}  // namespace Tamrin
