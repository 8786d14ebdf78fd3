// The V2000 connection table: counts, atom block, bond block, atom lists and
// the properties block up to "M  END".
//
// Every numeric column is read by one forgiving rule (ColumnInt) and every
// coordinate by one strict one (FixedCoord), both straight from the line.
#include <cmath>
#include <cstdint>
#include <exception>
#include <new>
#include <string>
#include <string_view>

#include "pellar/numparse.h"
#include "sorvil/base/tagregistry.h"
#include "sorvil/error/errorhandler.h"
#include "tamrin/chem/elements.h"
#include "tamrin/formats/mdl/mdlv3000.h"
#include "tamrin/model/molbase.h"
#include "tamrin/perception/stereoperception.h"

namespace Tamrin {

using Sorvil::QvErrorHandler;

namespace mdlread {

namespace {

using Pellar::ColumnInt;

long FixedCount(std::string_view line, std::size_t col) { return std::max(0L, ColumnInt(line, col, 3)); }

// A "%10.4f" field (see Pellar::FixedPointField).
float FixedCoord(std::string_view f) { return static_cast<float>(Pellar::FixedPointField(f, 4)); }

void SetCharge(AtomScratch& a, long code) {
  switch (code) {
    case 1: a.atom->SetFormalCharge(3); break;
    case 2: a.atom->SetFormalCharge(2); break;
    case 3: a.atom->SetFormalCharge(1); break;
    case 4: a.radical = kDoublet; break;
    case 5: a.atom->SetFormalCharge(-1); break;
    case 6: a.atom->SetFormalCharge(-2); break;
    case 7: a.atom->SetFormalCharge(-3); break;
    case -1: a.atom->SetFormalCharge(5); break;
    default: break;
  }
}

// The columns after the symbol; each is read only when the line reaches it.
void ReadAtomColumns(Record& r, AtomScratch& a, std::string_view s) {
  QvAtomBase& atom = *a.atom;
  if (s.size() >= 36 && atom.GetAtomicNum() != 0) {
    const long difference = ColumnInt(s, 35, 2);
    const long mass = std::lround(QvGetAtomicMass(atom.GetAtomicNum())) + difference;
    if (difference != 0 && mass > 0) atom.SetIsotope(static_cast<unsigned>(mass));
  }
  if (s.size() >= 39) SetCharge(a, ColumnInt(s, 37, 3));
  if (s.size() >= 42) {
    if (const long parity = ColumnInt(s, 40, 3); parity != 0) {
      atom.SetData(r.tags.atom_parity, static_cast<int>(parity));
      r.parities = r.parities || parity == 1 || parity == 2;
    }
  }
  if (s.size() >= 45) {
    if (const long h = ColumnInt(s, 43, 3); h >= 1 && h <= 5) {
      atom.SetImplicitHCount(static_cast<unsigned>(h - 1));
      a.hcount = true;
    }
  }
  if (s.size() >= 51) {
    if (const long v = ColumnInt(s, 49, 3); v >= 1 && v <= kZeroValence) a.valence = static_cast<std::uint8_t>(v);
  }
  if (s.size() >= 63) {
    if (const long map = ColumnInt(s, 61, 3); map > 0) atom.SetMapIdx(static_cast<unsigned>(map));
  }
}

bool ReadAtom(Record& r) {
  if (!r.Next()) return false;
  const std::string_view s = r.Fixed();
  if (s.size() < 30) return false;
  std::string_view symbol = s.size() > 31 ? s.substr(31, 3) : std::string_view();
  AtomScratch& a = NewAtomFromSymbol(r, Pellar::TrimBlanks(symbol));
  const float xyz[3] = {FixedCoord(s.substr(0, 10)), FixedCoord(s.substr(10, 10)), FixedCoord(s.substr(20, 10))};
  r.mol.SetCoords(a.atom, xyz);
  ReadAtomColumns(r, a, s);
  return true;
}

// Integer bond types: what the file's bond type became.
constexpr int kSingleType = 1, kDoubleType = 2, kTripleType = 3, kAromaticType = 5;

}  // namespace

QvBondBase* NewBond(Record& r, AtomScratch& a, AtomScratch& b) {
  r.unspecified.push_back(0);
  return r.mol.NewBond(a.atom, b.atom, 1);
}

void SetBondType(Record& r, QvBondBase& bond, long type) {
  switch (type) {
    case 2: bond.SetOrder(2), bond.SetIntType(kDoubleType); break;
    case 3: bond.SetOrder(3), bond.SetIntType(kTripleType); break;
    case 4:
      bond.SetIntType(kAromaticType);
      r.aromatic_bonds = true;
      break;
    default: bond.SetIntType(kSingleType); break;
  }
}

void SetBondStereo(Record& r, QvBondBase& bond, long stereo, unsigned number) {
  const int mark = [&] {
    switch (bond.GetIntType()) {
      case kSingleType:
        return stereo == 1 ? QvWedge::Up : stereo == 6 ? QvWedge::Hash : stereo == 4 ? QvWedge::Either : 0;
      case kDoubleType:
        if (stereo == 3) return QvWedge::EitherDouble;
        if (stereo == 4) {
          QvErrorHandler::Warning("Invalid double either stereomark corrected on bond number %d of %s", number,
                                  r.mol.GetTitle());
          return QvWedge::EitherDouble;
        }
        // 0 is what every writer puts on an ordinary double bond: the
        // drawing decides its cis/trans. A mark that makes no sense here
        // leaves the bond without one, as "either" does.
        if (stereo != 0) {
          QvErrorHandler::Warning("Invalid double bond stereomark ignored on bond number %d of %s", number,
                                  r.mol.GetTitle());
          r.unspecified.back() = 1;
        }
        return 0;
      default:
        if (stereo != 0)
          QvErrorHandler::Warning("Invalid bond stereomark ignored on bond number %d of %s", number,
                                  r.mol.GetTitle());
        return 0;
    }
  }();
  if (mark == 0) return;
  bond.SetData(Sorvil::QvBondStereoTag, mark);
  r.wedges = r.wedges || mark != QvWedge::EitherDouble;
}

namespace {

bool ReadBond(Record& r, unsigned number) {
  if (!r.Next()) return false;
  const std::string_view s = r.Fixed();
  AtomScratch* a = AtomAt(r, ColumnInt(s, 1, 3));
  AtomScratch* b = AtomAt(r, ColumnInt(s, 4, 3));
  if (!a || !b || a == b || a->atom->IsConnected(b->atom)) {
    QvErrorHandler::Warning("Illegal bond specification for \"%s\": \"%.*s\"", r.mol.GetTitle(),
                            static_cast<int>(s.size()), s.data());
    return false;
  }
  QvBondBase* bond = NewBond(r, *a, *b);
  if (s.size() < 9) return false;
  SetBondType(r, *bond, ColumnInt(s, 7, 3));
  if (s.size() >= 12) SetBondStereo(r, *bond, ColumnInt(s, 10, 3), number);
  return true;
}

// ---- properties block ----

// The free-format lists of the M lines: a count n, then n pairs (atom
// number, value); a list cut short applies the pairs it has.
template <class Apply>
void ForEachPair(std::string_view rest, Apply apply) {
  const char* p = rest.data();
  const char* const end = p + rest.size();
  auto next = [&](long& v) {
    while (p != end && (*p == ' ' || *p == '\t')) ++p;
    const auto [stop, ec] = Pellar::ParseInt(p, end, v);
    p = stop;
    return ec == std::errc();
  };
  long count = 0;
  if (!next(count)) return;
  for (long i = 0; i < count; ++i) {
    long atom = 0, value = 0;
    if (!next(atom) || !next(value)) return;
    apply(atom, value);
  }
}

// What the properties block has done so far in this record.
struct Properties {
  bool charges_reset = false;  // by the first CHG or RAD line
  bool isotopes_reset = false;
  bool sgroups_warned = false;
};

void ResetCharges(Record& r, Properties& p) {
  if (p.charges_reset) return;
  p.charges_reset = true;
  for (AtomScratch& a : r.atoms) {
    a.atom->SetFormalCharge(0);
    a.radical = kNoRadical;
  }
}

void ReadCharges(Record& r, Properties& p) {
  ResetCharges(r, p);
  ForEachPair(std::string_view(r.line).substr(6), [&](long n, long value) {
    AtomScratch* a = AtomAt(r, n);
    if (a && value != 0 && value >= -15 && value <= 15) a->atom->SetFormalCharge(static_cast<int>(value));
  });
}

void ReadRadicals(Record& r, Properties& p) {
  ResetCharges(r, p);
  ForEachPair(std::string_view(r.line).substr(6), [&](long n, long value) {
    AtomScratch* a = AtomAt(r, n);
    if (a && value >= kNoRadical && value <= kTriplet) a->radical = static_cast<std::uint8_t>(value);
  });
}

void ReadIsotopes(Record& r, Properties& p) {
  if (!p.isotopes_reset) {
    p.isotopes_reset = true;
    for (AtomScratch& a : r.atoms) a.atom->SetIsotope(0);
  }
  ForEachPair(std::string_view(r.line).substr(6), [&](long n, long value) {
    AtomScratch* a = AtomAt(r, n);
    if (a && value >= 0 && value <= 999) a->atom->SetIsotope(static_cast<unsigned>(value));
  });
}

void ReadRGroups(Record& r) {
  bool warned = false;
  ForEachPair(std::string_view(r.line).substr(6), [&](long n, long value) {
    AtomScratch* a = AtomAt(r, n);
    if (!a || value < 0 || value > 999) return;
    if (a->rgp_label) {
      if (!warned) QvErrorHandler::Warning("Ignored unsupported multiple Rgroup labels at line: %s", std::string(r.line).c_str());
      warned = true;
      return;
    }
    a->rgp_label = true;
    a->rgroup = static_cast<std::uint32_t>(value);
  });
}

// One line of the block; false when the record cannot go on.
bool ReadProperty(Record& r, Properties& p) {
  const std::string_view line = r.line;
  if (StartsWith(line, "A  ")) {
    AtomScratch* a = AtomAt(r, ColumnInt(r.Fixed(), 4, 3));
    if (!r.Next()) return false;
    std::string_view alias = r.line;
    while (!alias.empty() && (alias.back() == ' ' || alias.back() == '\t')) alias.remove_suffix(1);
    if (a) a->atom->SetData(r.tags.atom_comment, alias);
  } else if (StartsWith(line, "G  ")) {
    r.Next();
  } else if (StartsWith(line, "M  CHG")) {
    ReadCharges(r, p);
  } else if (StartsWith(line, "M  RAD")) {
    ReadRadicals(r, p);
  } else if (StartsWith(line, "M  ISO")) {
    ReadIsotopes(r, p);
  } else if (StartsWith(line, "M  RGP")) {
    ReadRGroups(r);
  } else if (StartsWith(line, "M  STY") && !p.sgroups_warned) {
    QvErrorHandler::Warning("Unsupported Sgroup information ignored");
    p.sgroups_warned = true;
  }
  return true;
}

// Up to "M  END"; the end of data is accepted in its place. A table that
// runs into its data items or separator without "M  END" ends there too.
bool ReadProperties(Record& r) {
  Properties p;
  while (r.Next()) {
    const std::string_view line = r.line;
    if (StartsWith(line, "M  END")) return true;
    if (StartsWith(line, "$$$$") || StartsWith(line, "> ") || StartsWith(line, "><")) {
      r.pending = true;
      return true;
    }
    if (!ReadProperty(r, p)) return false;
  }
  return true;
}

// The scratch tables can only fail to grow when memory is exhausted.
bool Reserve(Record& r, std::size_t atoms, std::size_t bonds) {
  try {
    r.atoms.reserve(atoms);
  } catch (const std::bad_alloc&) {
    QvErrorHandler::Warning("Unable to allocate enough memory for reading all the atoms from V2000 record: %s",
                            r.mol.GetTitle());
    return false;
  }
  try {
    r.unspecified.reserve(bonds);
  } catch (const std::bad_alloc&) {
    QvErrorHandler::Warning("Unable to allocate enough memory for reading all the bonds from V2000 record: %s",
                            r.mol.GetTitle());
    return false;
  }
  return true;
}

}  // namespace

bool ReadV2000(Record& r, std::string_view counts) {
  const long atoms = FixedCount(counts, 1);
  const long bonds = FixedCount(counts, 4);
  const long lists = counts.size() >= 9 ? FixedCount(counts, 7) : 0;
  if (counts.size() > 16) r.mol.SetData(r.tags.chiral_flag, ColumnInt(counts, 15, 3) == 1);
  if (!Reserve(r, static_cast<std::size_t>(atoms), static_cast<std::size_t>(bonds))) return false;
  for (long i = 0; i < atoms; ++i)
    if (!ReadAtom(r)) return false;
  for (long i = 0; i < bonds; ++i)
    if (!ReadBond(r, static_cast<unsigned>(i + 1))) return false;
  for (long i = 0; i < lists; ++i) r.Next();
  return ReadProperties(r);
}

}  // namespace mdlread

}  // namespace Tamrin
