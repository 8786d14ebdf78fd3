// One MDL record: the header (with the RD file wrapper lines), the connection
// table, and the data items up to "$$$$"; recovery after a damaged table.
#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "pellar/numparse.h"
#include "pellar/qvstream.h"
#include "sorvil/base/tagdata.h"
#include "sorvil/error/errorhandler.h"
#include "tamrin/chem/elements.h"
#include "tamrin/formats/mdl/mdl.h"
#include "tamrin/formats/mdl/mdlv3000.h"
#include "tamrin/model/molbase.h"
#include "tamrin/streams/molstream.h"

namespace Tamrin {

using Sorvil::QvErrorHandler;

namespace mdlread {

namespace {

// Per thread, so that streams read on different threads never share them.
thread_local std::vector<AtomScratch> atom_scratch;
thread_local std::vector<std::uint8_t> bond_scratch;

bool IsDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "R#", or "R" followed by digits (the number in `rgroup`).
bool IsRGroupSymbol(std::string_view symbol, std::uint32_t& rgroup) {
  if (symbol == "R#") return true;
  if (symbol.size() < 2 || symbol.front() != 'R' || !IsDigits(symbol.substr(1))) return false;
  rgroup = 0;
  for (const char c : symbol.substr(1)) rgroup = std::min<std::uint32_t>(rgroup * 10 + (c - '0'), 999999);
  return true;
}

}  // namespace

const Tags& Tags::Get() {
  static const Tags tags{Sorvil::QvGetTag("QvMolComment"), Sorvil::QvGetTag("MDLParity"),
                         Sorvil::QvGetTag("MDLAtomParity"), Sorvil::QvGetTag("QvAtomComment")};
  return tags;
}

Record::Record(qvmolistream& stream, QvMolBase& molecule)
    : in(stream), mol(molecule), tags(Tags::Get()), atoms(atom_scratch), unspecified(bond_scratch) {
  atoms.clear();
  unspecified.clear();
}

bool Record::Next() {
  if (pending) {
    pending = false;
    return true;
  }
  if (in.GetLine(line)) return true;
  // No stale line may stand for data past the end: a loop that waits for
  // the end of data looks for an empty line at the end of the stream.
  line = {};
  return false;
}

std::string_view Record::Fixed() {
  std::string_view s = line;
  if (s.size() > 80) s = s.substr(0, 80);
  if (s.find('\t') == std::string_view::npos) return s;
  std::size_t col = 0;
  for (const char c : s) {
    if (c != '\t') {
      fixed_[col++] = c;
    } else {
      do fixed_[col++] = ' ';
      while (col % 8 != 0 && col < 80);
    }
    if (col >= 80) break;
  }
  return {fixed_, col};
}

void Record::HandBack() {
  pending = false;
  in.PushBackLine(std::string(line));
  line = {};
}

AtomScratch& NewAtomFromSymbol(Record& r, std::string_view symbol) {
  unsigned z = 0;
  unsigned isotope = 0;
  std::uint32_t rgroup = 0;
  bool named = false;
  if (symbol == "D") {
    z = 1, isotope = 2;
  } else if (symbol == "T") {
    z = 1, isotope = 3;
  } else if ((z = QvGetAtomicNum(symbol)) == 0) {
    named = !IsRGroupSymbol(symbol, rgroup) && !symbol.empty() && symbol != "*";
  }
  QvAtomBase* atom = r.mol.NewAtom(z);
  if (isotope) atom->SetIsotope(isotope);
  if (named) atom->SetName(std::string(symbol));
  AtomScratch& scratch = r.atoms.emplace_back();
  scratch.atom = atom;
  scratch.rgroup = rgroup;
  return scratch;
}

namespace {

using Pellar::IsBlankLine;

// ---- header ----

// Lines of the RD file layout that wrap a molecule record.
constexpr std::array<std::string_view, 8> kWrapperLines{"$RDFILE ", "$DATM", "$MFMT", "$MDL ",
                                                        "$MOL",     "$HDR",  "$DTYPE", "$DATUM"};

bool IsWrapperLine(std::string_view line) {
  return std::any_of(kWrapperLines.begin(), kWrapperLines.end(),
                     [line](std::string_view w) { return StartsWith(line, w); });
}

// Columns 1-3 and 4-6 of a counts line: digits, blanks and at most one '-'.
bool IsCountField(std::string_view field) {
  unsigned minus = 0;
  for (const char c : field) {
    if (c == '-') ++minus;
    else if (c != ' ' && (c < '0' || c > '9')) return false;
  }
  return minus <= 1;
}

// "V2000" or "V3000" in columns 35-39 after two count fields.
bool IsCountsLine(std::string_view line) {
  if (line.size() < 39) return false;
  const std::string_view version = line.substr(34, 5);
  return (version == "V2000" || version == "V3000") && IsCountField(line.substr(0, 3)) &&
         IsCountField(line.substr(3, 3));
}

// A program line as the molfile layout has it: a date of ten digits (or
// blanks) in columns 11-20 and a dimension code from "0D" to "3D" in 21-22.
bool LooksLikeProgramLine(std::string_view line) {
  if (line.size() < 22 || (line[21] != 'D' && line[21] != 'd') || line[20] < '0' || line[20] > '3') return false;
  const std::string_view date = line.substr(10, 10);
  return std::all_of(date.begin(), date.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
         std::all_of(date.begin(), date.end(), [](char c) { return c == ' '; });
}

// Some writers leave out the comment line; their third line is already the
// counts line, which only a real counts line together with a program line
// that says "2D" or "3D" in its usual place can tell.
bool ThirdLineIsCounts(std::string_view program, std::string_view third) {
  if (third.find(" V2000") == std::string_view::npos && third.find(" V3000") == std::string_view::npos) return false;
  if (program.size() < 22 || (program[21] != 'D' && program[21] != 'd') || program[20] < '0' || program[20] > '3')
    return false;
  return IsCountField(third.substr(0, 3)) && IsCountField(third.substr(3, 3));
}

void SetDimensionFrom(QvMolBase& mol, std::string_view program) {
  if (program.size() >= 22 && (program[20] == '2' || program[20] == '3')) mol.SetDimension(program[20] - '0');
}

enum class Outcome { End, Failed, Read };

// Title, program and comment lines; leaves the counts line in r.line.
Outcome ReadHeader(Record& r) {
  if (!r.Next()) return Outcome::End;
  bool isis = false;
  while (IsWrapperLine(r.line)) {
    isis = isis || StartsWith(r.line, "$MDL ");
    if (!r.Next()) return Outcome::End;
  }
  // Empty records between separators: a title line followed at once by
  // "$$$$" belongs to no record.
  std::string title;
  for (;;) {
    while (StartsWith(r.line, "$$$$"))
      if (!r.Next()) return Outcome::End;
    title.assign(Pellar::TrimBlanksRight(r.line));
    if (!r.Next()) return Outcome::End;
    if (!StartsWith(r.line, "$$$$")) break;
    if (!r.Next()) return Outcome::End;
  }
  // A line ended by CR alone cannot be empty (CR CR is one line end), so a
  // file written that way has lost its empty header lines: a counts line
  // right after the first header line means that the two others were empty,
  // and the first is the program line when it looks like one.
  const bool lost_lines = !isis && IsCountsLine(r.Fixed());
  if (lost_lines && LooksLikeProgramLine(title)) {
    SetDimensionFrom(r.mol, title);
    title.clear();
  }
  if (title.size() > 80) QvErrorHandler::Warning("title line exceeds 80 characters: %s", title.c_str());
  r.mol.SetTitle(title);
  if (lost_lines) return Outcome::Read;

  const std::string program(r.Fixed());
  SetDimensionFrom(r.mol, program);
  if (!r.Next()) return Outcome::Failed;
  if (!isis && ThirdLineIsCounts(program, r.Fixed())) return Outcome::Read;
  if (!r.line.empty()) {
    if (r.line.size() > 80) QvErrorHandler::Warning("comment line exceeds 80 characters: %s", title.c_str());
    r.mol.SetData(r.tags.mol_comment, std::string(r.line));
  }
  if (isis && !(r.Next() && StartsWith(r.line, "$END HDR") && r.Next() && StartsWith(r.line, "$CTAB")))
    return Outcome::Failed;
  return r.Next() ? Outcome::Read : Outcome::Failed;
}

Outcome ReadTable(Record& r) {
  const Outcome header = ReadHeader(r);
  if (header != Outcome::Read) return header;
  // The counts line, blank-filled to 80 columns, chooses the table version.
  std::array<char, 80> counts;
  counts.fill(' ');
  const std::string_view fixed = r.Fixed();
  std::copy(fixed.begin(), fixed.end(), counts.begin());
  const bool v3000 = std::string_view(counts.data() + 34, 5) == "V3000";
  if (!(v3000 ? ReadV3000(r) : ReadV2000(r, fixed))) return Outcome::Failed;
  Finish(r);
  return Outcome::Read;
}

// ---- data items ----

// Ends a data value: a data header, a '$' line, or (MDL only) a blank line.
bool EndsValue(std::string_view line) { return !line.empty() && (line[0] == '>' || line[0] == '$'); }

// The value lines after a data header; leaves the line that ended the value
// pending.
std::string ReadValue(Record& r, bool sdf) {
  if (!r.Next()) return {};
  if (StartsWith(r.line, "$$$$")) {
    r.pending = true;
    return {};
  }
  std::string value(r.line);
  if (value.empty()) return value;
  while (r.Next()) {
    if (IsBlankLine(r.line)) {
      if (!sdf) return value;
      // SD files may break a value with blank lines; it goes on when the next
      // line with text is no header and no separator.
      bool more;
      while ((more = r.Next()) && IsBlankLine(r.line)) {
      }
      if (!more) return value;
    }
    if (EndsValue(r.line)) {
      r.pending = true;
      return value;
    }
    value += '\n';
    value += r.line;
  }
  return value;
}

// A data header: the tag is what lies between the first '<' and the last '>'.
void ReadItem(Record& r, bool sdf) {
  const std::size_t open = r.line.find('<');
  const std::size_t close = r.line.rfind('>');
  const bool valid = open != std::string_view::npos && close != std::string_view::npos && close > open;
  std::string tag(valid ? r.line.substr(open + 1, close - open - 1) : std::string_view());
  std::string value = ReadValue(r, sdf);
  if (valid) r.mol.AddData(Sorvil::QvSDDataTag(), Sorvil::QvTagData(std::move(tag), std::move(value)));
}

// Skips lines up to and including the first that begins with `end`.
void SkipThrough(Record& r, std::string_view end) {
  while (r.Next())
    if (StartsWith(r.line, end)) return;
}

void WarnRGroups(bool& warned) {
  if (!warned) QvErrorHandler::Warning("Unsupported Rgroup definitions ignored");
  warned = true;
}

// A molfile in an MDL file has data items only when a data header or a '$'
// line follows its table.
bool ItemsFollow(Record& r) {
  const int c = r.pending ? (r.line.empty() ? -1 : r.line[0]) : r.in.PeekLine();
  return c == '>' || c == '$';
}

void ReadDataItems(Record& r, QvFormat format) {
  if (format == QvFormat::MDL && !ItemsFollow(r)) return;
  const bool sdf = format != QvFormat::MDL;
  bool rgroups_warned = false;
  while (r.Next()) {
    const std::string_view line = r.line;
    if (IsBlankLine(line)) continue;
    if (line[0] == '>') {
      ReadItem(r, sdf);
    } else if (line[0] != '$') {
      r.HandBack();  // the next record's title line
      return;
    } else if (StartsWith(line, "$$$$")) {
      return;
    } else if (StartsWith(line, "$END CTAB") || StartsWith(line, "$END MOL") || StartsWith(line, "$END RGP")) {
      continue;  // RD file trailer
    } else if (StartsWith(line, "$RGP")) {
      WarnRGroups(rgroups_warned);
      SkipThrough(r, "$END MOL");
    } else {
      r.HandBack();  // the next RD file record
      return;
    }
  }
}

// ---- recovery ----

constexpr std::array<std::string_view, 8> kRecoveryMarkers{"$RXN",   "$DATM",  "$RFMT",   "$MFMT",
                                                           "$DTYPE", "$DATUM", "$RDFILE", "$$$$"};

bool IsRecoveryMarker(std::string_view line) {
  return std::any_of(kRecoveryMarkers.begin(), kRecoveryMarkers.end(),
                     [line](std::string_view m) { return StartsWith(line, m); });
}

// After a damaged table: the RD file markers that follow go with it; an SD
// file then skips the rest of the record, while MDL and RD files go on at
// the first line that is no marker. A separator met on the way (also as the
// line that broke the table) ends the record there, so that the next record
// is never lost.
void Recover(Record& r, QvFormat format) {
  if (StartsWith(r.line, "$$$$")) return;
  bool rgroups_warned = false;
  for (;;) {
    if (!r.Next()) return;
    if (StartsWith(r.line, "$$$$")) return;
    if (StartsWith(r.line, "$RGP")) {
      WarnRGroups(rgroups_warned);
      SkipThrough(r, "$END RGP");
    } else if (!IsRecoveryMarker(r.line)) {
      break;
    }
  }
  if (format == QvFormat::SDF) {
    if (!StartsWith(r.line, "$$$$")) SkipThrough(r, "$$$$");
    return;
  }
  r.HandBack();
}

}  // namespace

}  // namespace mdlread

bool ReadMDLRecord(qvmolistream& in, QvMolBase& mol, unsigned) {
  mdlread::Record r(in, mol);
  const QvFormat format = in.GetFormat();
  r.stereo_options = in.GetFlavor(format);
  switch (mdlread::ReadTable(r)) {
    case mdlread::Outcome::End: return false;
    case mdlread::Outcome::Failed: mdlread::Recover(r, format); return false;
    case mdlread::Outcome::Read: break;
  }
  mdlread::ReadDataItems(r, format);
  if (r.pending) r.HandBack();
  return true;
}

}  // namespace Tamrin
