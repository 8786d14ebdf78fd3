// The V3000 connection table: "M  V30 " lines (a trailing '-' continues a
// line on the next), free-format fields, KEYWORD=value properties, and
// blocks between BEGIN and END lines.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pellar/numparse.h"
#include "pellar/sparseindex.h"
#include "sorvil/base/tagregistry.h"
#include "sorvil/error/errorhandler.h"
#include "tamrin/formats/mdl/mdlv3000.h"
#include "tamrin/model/molbase.h"
#include "tamrin/perception/stereo.h"
#include "tamrin/streams/molstream.h"

namespace Tamrin {

using Sorvil::QvErrorHandler;

namespace mdlread {

namespace {

constexpr std::string_view kPrefix = "M  V30 ";

// One logical V3000 line with its fields. Fields are split at blanks, except
// inside parentheses and double quotes, so "ATOMS=(2 1 5)" is one field.
struct V30Line {
  std::string text;
  std::vector<std::string_view> fields;

  void Split() {
    fields.clear();
    std::size_t i = 0;
    const std::string_view s(text);
    while (i < s.size()) {
      while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
      if (i == s.size()) break;
      const std::size_t start = i;
      int depth = 0;
      bool quoted = false;
      for (; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '"') quoted = !quoted;
        else if (!quoted && c == '(') ++depth;
        else if (!quoted && c == ')' && depth > 0) --depth;
        else if (!quoted && depth == 0 && (c == ' ' || c == '\t')) break;
      }
      fields.push_back(s.substr(start, i - start));
    }
  }
  bool Is(std::string_view words) const { return text == words; }
  bool Begins(std::string_view words) const { return StartsWith(text, words); }
};

thread_local V30Line v30;
// By V3000 atom index (-1 = none) and bond index (any value = seen); sized by
// the lines read, never by the counts line.
thread_local Pellar::SparseIndex<std::int32_t, -1> atom_positions;
thread_local Pellar::SparseIndex<std::int32_t, -1> bond_seen;

// The next "M  V30 " line, continuations joined. False at the end of data
// or at a line of another kind (left in r.line).
bool NextV30(Record& r) {
  v30.text.clear();
  for (;;) {
    if (!r.Next() || !StartsWith(r.line, kPrefix)) {
      v30.fields.clear();
      return false;
    }
    std::string_view rest = std::string_view(r.line).substr(kPrefix.size());
    rest = Pellar::TrimBlanksRight(rest);
    if (rest.empty() || rest.back() != '-') {
      v30.text.append(rest);
      break;
    }
    rest.remove_suffix(1);
    v30.text.append(rest);
  }
  v30.Split();
  return true;
}

template <class T>
bool ParseInt(std::string_view s, T& v) {
  return Pellar::ParseWhole(s, v);
}

bool ParseFloat(std::string_view s, float& v) { return Pellar::ParseWhole(s, v); }

// "KEY=value" into its two halves; false without '=' or either half.
bool SplitProperty(std::string_view field, std::string_view& key, std::string_view& value) {
  const std::size_t eq = field.find('=');
  if (eq == std::string_view::npos || eq == 0 || eq + 1 == field.size()) return false;
  key = field.substr(0, eq);
  value = field.substr(eq + 1);
  return true;
}

// "(n a b c ...)": the n numbers after the count; false when malformed.
bool ParseList(std::string_view s, std::vector<long>& out) {
  out.clear();
  if (s.size() < 2 || s.front() != '(' || s.back() != ')') return false;
  s = s.substr(1, s.size() - 2);
  const char* p = s.data();
  const char* const end = p + s.size();
  long count = -1;
  for (;;) {
    while (p != end && *p == ' ') ++p;
    if (p == end) break;
    long v = 0;
    const auto [stop, ec] = Pellar::ParseInt(p, end, v);
    if (ec != std::errc() || (stop != end && *stop != ' ')) return false;
    p = stop;
    if (count < 0) count = v;
    else out.push_back(v);
  }
  return count >= 0 && static_cast<std::size_t>(count) == out.size();
}

AtomScratch* AtomByIndex(Record& r, long index) {
  if (index < 1) return nullptr;
  const std::int32_t position = atom_positions.find(static_cast<std::uint64_t>(index));
  if (position < 0 || static_cast<std::size_t>(position) >= r.atoms.size()) return nullptr;
  return &r.atoms[static_cast<std::size_t>(position)];
}

// Skips to the END line of the block that `begin` opened.
bool SkipBlock(Record& r, std::string_view what) {
  const std::string end = "END " + std::string(what);
  while (NextV30(r))
    if (v30.Begins(end)) return true;
  return false;
}

// ---- atoms ----

// Element symbols, D and T, R-groups, "*", atom lists ("[C,N]",
// "NOT[C,N]") and the letter-only query symbols (A, Q, L, LP, Pol ...).
bool IsRecognisedSymbol(std::string_view s) {
  if (s.empty()) return false;
  if (s.back() == ']') return s.front() == '[' || StartsWith(s, "NOT[");
  if (s == "*" || s == "R#") return true;
  const bool letters = std::all_of(s.begin(), s.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
  });
  const bool rgroup = s.size() > 1 && s[0] == 'R' && std::all_of(s.begin() + 1, s.end(), [](char c) {
    return c >= '0' && c <= '9';
  });
  return letters || rgroup;
}

// Query properties of atoms that a molecule has no place for.
constexpr std::string_view kQueryAtomProperties[] = {"HCOUNT", "STBOX", "INVRET", "EXACHG",   "SUBST",
                                                    "UNSAT",  "RBCNT", "ATTCHPT", "ATTCHORD", "CLASS",
                                                    "SEQID",  "SEQNAME"};

bool IsQueryAtomProperty(std::string_view key) {
  return std::find(std::begin(kQueryAtomProperties), std::end(kQueryAtomProperties), key) !=
         std::end(kQueryAtomProperties);
}

// One KEY=value of an atom line; false when it cannot be parsed.
bool ReadAtomProperty(Record& r, AtomScratch& a, std::string_view field) {
  std::string_view key, text;
  if (!SplitProperty(field, key, text)) return false;
  if (key == "RGROUPS") {
    std::vector<long> list;
    if (!ParseList(text, list)) return false;
    if (!list.empty() && list.front() > 0 && list.front() <= 999) a.rgroup = static_cast<std::uint32_t>(list.front());
    return true;
  }
  if (IsQueryAtomProperty(key)) return true;
  long value = 0;
  const bool known = key == "CHG" || key == "RAD" || key == "CFG" || key == "MASS" || key == "VAL";
  if (!known) {
    QvErrorHandler::Warning("Unrecognized atom property in line: %s", std::string(r.line).c_str());
    return true;
  }
  if (!ParseInt(text, value)) return false;
  QvAtomBase& atom = *a.atom;
  if (key == "CHG") {
    if (value < -15 || value > 15) return false;
    atom.SetFormalCharge(static_cast<int>(value));
  } else if (key == "RAD") {
    if (value < kNoRadical || value > kTriplet) return false;
    a.radical = static_cast<std::uint8_t>(value);
  } else if (key == "CFG") {
    if (value != 0) atom.SetData(r.tags.atom_parity, static_cast<int>(value));
    r.parities = r.parities || value == 1 || value == 2;
  } else if (key == "MASS") {
    if (value < 0 || value > 999) return false;
    atom.SetIsotope(static_cast<unsigned>(value));
  } else {  // VAL: -1 is a valence of zero
    if (value == -1) a.valence = kZeroValence;
    else if (value >= 1 && value < kZeroValence) a.valence = static_cast<std::uint8_t>(value);
  }
  return true;
}

bool ReadAtomLine(Record& r, long count) {
  const auto& f = v30.fields;
  long index = 0, map = 0;
  float xyz[3];
  if (f.size() < 6 || !ParseInt(f[0], index) || !ParseFloat(f[2], xyz[0]) || !ParseFloat(f[3], xyz[1]) ||
      !ParseFloat(f[4], xyz[2]) || !ParseInt(f[5], map)) {
    QvErrorHandler::Warning("Invalid V3000 atom block format at line: %s", std::string(r.line).c_str());
    return false;
  }
  if (index < 1 || index > count) {
    QvErrorHandler::Warning("Invalid V3000 atom index, %ld!", index);
    return false;
  }
  if (atom_positions.find(static_cast<std::uint64_t>(index)) >= 0) {
    QvErrorHandler::Warning("Invalid V3000 duplicate atom index, %ld!", index);
    return false;
  }
  if (!IsRecognisedSymbol(f[1])) {
    QvErrorHandler::Warning("Unrecognized atom symbol in line: %s", std::string(r.line).c_str());
    return false;
  }
  atom_positions.insert(static_cast<std::uint64_t>(index), static_cast<std::int32_t>(r.atoms.size()));
  AtomScratch& a = NewAtomFromSymbol(r, f[1]);
  r.mol.SetCoords(a.atom, xyz);
  if (map > 0) a.atom->SetMapIdx(static_cast<unsigned>(map));
  for (std::size_t i = 6; i < f.size(); ++i) {
    if (!ReadAtomProperty(r, a, f[i])) {
      QvErrorHandler::Warning("Problem parsing atom properties at line: %s", std::string(r.line).c_str());
      return false;
    }
  }
  return true;
}

bool ReadAtomBlock(Record& r, long count) {
  atom_positions.clear();
  for (;;) {
    // Any other END here means the block was never closed.
    if (!NextV30(r) || (v30.Begins("END ") && !v30.Begins("END ATOM"))) {
      QvErrorHandler::Warning("Invalid V3000 atom block format!");
      return false;
    }
    if (v30.Begins("END ATOM")) return true;
    if (!ReadAtomLine(r, count)) return false;
  }
}

// ---- bonds ----

// Bond properties that describe queries, reactions or depictions.
constexpr std::string_view kIgnoredBondProperties[] = {"TOPO", "RXCTR", "STBOX", "ENDPTS", "ATTACH", "DISP"};

// CFG of a V3000 bond as the V2000 stereo code that means the same.
long V2000Stereo(const QvBondBase& bond, long cfg) {
  switch (cfg) {
    case 1: return 1;
    case 2: return bond.GetOrder() == 2 ? 3 : 4;
    case 3: return 6;
    default: return cfg;
  }
}

bool ReadBondProperties(Record& r, QvBondBase& bond, unsigned number) {
  const auto& f = v30.fields;
  for (std::size_t i = 4; i < f.size(); ++i) {
    std::string_view key, text;
    long value = 0;
    if (!SplitProperty(f[i], key, text)) {
      QvErrorHandler::Warning("Unrecognized bond property in line: %s", std::string(r.line).c_str());
    } else if (key == "CFG") {
      if (!ParseInt(text, value)) {
        QvErrorHandler::Warning("Unrecognized bond property in line: %s", std::string(r.line).c_str());
        continue;
      }
      SetBondStereo(r, bond, V2000Stereo(bond, value), number);
    } else if (std::find(std::begin(kIgnoredBondProperties), std::end(kIgnoredBondProperties), key) !=
               std::end(kIgnoredBondProperties)) {
      const std::string name(key);
      QvErrorHandler::Warning("The %s bond property is ignored in line %s", name.c_str(), std::string(r.line).c_str());
    } else {
      QvErrorHandler::Warning("Unrecognized bond property in line: %s", std::string(r.line).c_str());
    }
  }
  return true;
}

bool ReadBondLine(Record& r, long count) {
  const auto& f = v30.fields;
  long index = 0, type = 0, first = 0, second = 0;
  if (f.size() < 4 || !ParseInt(f[0], index) || !ParseInt(f[2], first) || !ParseInt(f[3], second) || index < 1 ||
      index > count) {
    QvErrorHandler::Warning("Invalid V3000 bond block format!");
    return false;
  }
  if (!ParseInt(f[1], type) || type < 1 || type > 10) {
    QvErrorHandler::Warning("Invalid V3000 bond type at line: %s", std::string(r.line).c_str());
    return false;
  }
  AtomScratch* a = AtomByIndex(r, first);
  AtomScratch* b = AtomByIndex(r, second);
  if (!a || !b || a == b) {
    QvErrorHandler::Warning("Invalid V3000 atom endpoint(s) at line: %s", std::string(r.line).c_str());
    return false;
  }
  if (a->atom->IsConnected(b->atom)) {
    QvErrorHandler::Warning("Invalid V3000 bond block, duplicate bond endpoints %ld-%ld", first, second);
    return false;
  }
  if (!bond_seen.insert(static_cast<std::uint64_t>(index), 1)) {
    QvErrorHandler::Warning("Invalid V3000 duplicate bond index, %ld!", index);
    return false;
  }
  QvBondBase* bond = NewBond(r, *a, *b);
  SetBondType(r, *bond, type);
  return ReadBondProperties(r, *bond, static_cast<unsigned>(r.unspecified.size()));
}

bool ReadBondBlock(Record& r, long count) {
  bond_seen.clear();
  for (;;) {
    if (!NextV30(r) || (v30.Begins("END ") && !v30.Begins("END BOND"))) {
      QvErrorHandler::Warning("Invalid V3000 bond block format!");
      return false;
    }
    if (v30.Begins("END BOND")) return true;
    if (!ReadBondLine(r, count)) return false;
  }
}

// ---- collections ----

// "MDLV30/STEABS", "MDLV30/STERACn", "MDLV30/STERELn".
bool StereoGroupOf(std::string_view name, QvStereoGroup& group) {
  name.remove_prefix(std::string_view("MDLV30/STE").size());
  long number = 0;
  if (name == "ABS") {
    group = {QvStereoGroupKind::Absolute, 0};
    return true;
  }
  const std::string_view kind = name.substr(0, 3);
  if ((kind != "RAC" && kind != "REL") || !ParseInt(name.substr(3), number) || number < 1 || number > 999999)
    return false;
  group = {kind == "RAC" ? QvStereoGroupKind::And : QvStereoGroupKind::Or, static_cast<unsigned>(number)};
  return true;
}

bool ReadStereoCollection(Record& r) {
  const auto& f = v30.fields;
  QvStereoGroup group;
  if (!StereoGroupOf(f[0], group)) {
    QvErrorHandler::Warning("Unknown stereo collection type");
    return false;
  }
  std::string_view key, text;
  std::vector<long> atoms;
  if (f.size() < 2 || !SplitProperty(f[1], key, text) || key != "ATOMS" || !ParseList(text, atoms)) {
    QvErrorHandler::Warning("Malformed stereo collection basis list: %s", std::string(r.line).c_str());
    return false;
  }
  for (const long index : atoms) {
    AtomScratch* a = AtomByIndex(r, index);
    if (!a) {
      QvErrorHandler::Warning("Illegal atom index in stereo collection, %ld", index);
      return false;
    }
    QvSetStereoGroup(*a->atom, group);
  }
  return true;
}

bool ReadCollections(Record& r) {
  for (;;) {
    if (!NextV30(r) || v30.Begins("END CTAB")) {
      QvErrorHandler::Warning("Unable to find collection terminator: %s", std::string(r.line).c_str());
      return false;
    }
    if (v30.Begins("END COLLECTION")) return true;
    if (v30.fields.empty()) continue;
    const std::string_view name = v30.fields[0];
    if (StartsWith(name, "MDLV30/STE")) {
      if (!ReadStereoCollection(r)) return false;
    } else if (name != "MDLV30/HILITE") {
      const std::string text(name);
      QvErrorHandler::Warning("Skipping unknown collection type, %s", text.c_str());
    }
  }
}

// ---- blocks ----

struct Counts {
  long atoms = 0;
  long bonds = 0;
};

bool ReadCounts(Record& r, Counts& counts) {
  const auto& f = v30.fields;
  long chiral = 0;
  if (f.size() < 3 || f[0] != "COUNTS" || !ParseInt(f[1], counts.atoms) || !ParseInt(f[2], counts.bonds) ||
      counts.atoms < 0 || counts.bonds < 0 || counts.atoms > 10'000'000 || counts.bonds > 10'000'000) {
    QvErrorHandler::Warning("Invalid V3000 connection table count line!");
    return false;
  }
  if (f.size() > 5 && ParseInt(f[5], chiral)) r.mol.SetData(r.tags.chiral_flag, chiral == 1);
  return true;
}

// What is skipped, once per record each.
struct Skipped {
  bool templates = false;
  bool sgroups = false;
  bool rgroups = false;
};

void WarnOnce(bool& done, const char* text) {
  if (!done) QvErrorHandler::Warning("%s", text);
  done = true;
}

// A block this reader does not take apart: S-groups, 3D features, R-group
// definitions, templates.
bool SkipOtherBlock(Record& r, Skipped& skipped) {
  const std::string what = v30.fields.size() > 1 ? std::string(v30.fields[1]) : std::string();
  if (what == "TEMPLATE") WarnOnce(skipped.templates, "Unsupported SCSR Template information ignored");
  else if (what == "SGROUP") WarnOnce(skipped.sgroups, "Unsupported Sgroup information ignored");
  else if (what == "RGROUP") WarnOnce(skipped.rgroups, "Unsupported Rgroup definitions ignored");
  return SkipBlock(r, what);
}

// The blocks between COUNTS and END CTAB.
bool ReadBlocks(Record& r, const Counts& counts, Skipped& skipped) {
  bool atoms = false, bonds = false;
  for (;;) {
    if (!NextV30(r)) {
      QvErrorHandler::Warning("Invalid V3000 connection table format!");
      return false;
    }
    if (v30.Begins("END CTAB")) break;
    if (v30.Begins("BEGIN ATOM")) {
      if (atoms || !ReadAtomBlock(r, counts.atoms)) return false;
      atoms = true;
    } else if (v30.Begins("BEGIN BOND")) {
      if (!atoms && counts.atoms > 0) {
        QvErrorHandler::Warning("Invalid V3000 atom block format!");
        return false;
      }
      if (bonds || !ReadBondBlock(r, counts.bonds)) return false;
      bonds = true;
    } else if (v30.Begins("BEGIN COLLECTION")) {
      if (!ReadCollections(r)) return false;
    } else if (v30.Begins("BEGIN ")) {
      if (!SkipOtherBlock(r, skipped)) return false;
    }  // LINKNODE and other single lines carry nothing a molecule keeps
  }
  if (counts.atoms > 0 && !atoms) {
    QvErrorHandler::Warning("Invalid V3000 atom block format!");
    return false;
  }
  if (counts.bonds > 0 && !bonds) {
    QvErrorHandler::Warning("Invalid V3000 bond block begin format!");
    return false;
  }
  return true;
}

// After END CTAB: R-group and template blocks up to "M  END" (or the data
// items, the separator or the end of data, as in V2000 tables).
bool ReadTrailer(Record& r, Skipped& skipped) {
  for (;;) {
    if (!NextV30(r)) {
      if (r.line.empty() && r.in.at_end()) return true;
      if (StartsWith(r.line, "M  END")) return true;
      if (StartsWith(r.line, "$$$$") || StartsWith(r.line, "> ")) {
        r.pending = true;
        return true;
      }
      continue;
    }
    if (v30.Begins("BEGIN ") && !SkipOtherBlock(r, skipped)) return true;
  }
}

}  // namespace

bool ReadV3000(Record& r) {
  // The index table is kept per thread; another record's must never answer.
  atom_positions.clear();
  if (!NextV30(r) || !v30.Is("BEGIN CTAB")) {
    QvErrorHandler::Warning("Invalid V3000 connection table format!");
    return false;
  }
  Counts counts;
  if (!NextV30(r)) {
    QvErrorHandler::Warning("Invalid V3000 connection table count line!");
    return false;
  }
  if (!ReadCounts(r, counts)) return false;
  Skipped skipped;
  if (!ReadBlocks(r, counts, skipped)) return false;
  return ReadTrailer(r, skipped);
}

}  // namespace mdlread

}  // namespace Tamrin
