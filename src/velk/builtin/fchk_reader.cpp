#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sorvil/base/tagregistry.h"
#include "tamrin/model/graphmol.h"
#include "velk/builtin/fchk_handler.h"
#include "velk/builtin/gaussian_text.h"
#include "velk/errors.h"

namespace velk::builtin {
namespace {

using namespace gaussian;

constexpr std::int32_t kMaxAtoms = 100000000;
constexpr std::int32_t kMaxArrayCount = 1000000000;
constexpr size_t kTypeColumn = 43;
constexpr size_t kValueColumn = 44;
constexpr size_t kLabelWidth = 40;

FormatError FchkError(std::string_view what) {
  return FormatError("velk: FCHK: " + std::string(what));
}

using Pellar::TrimBlanks;
using Pellar::TrimBlanksRight;

using Pellar::IsBlankLine;

// Columns [first, first + width) of a line that may be shorter.
std::string_view Columns(std::string_view line, size_t first, size_t width) {
  return first < line.size() ? line.substr(first, width) : std::string_view();
}

// Leading white space stays: such a label matches none that we look for.
std::string_view Label(std::string_view line) { return TrimBlanksRight(line.substr(0, kLabelWidth)); }

bool IsTypeCode(char c) { return c == 'I' || c == 'R' || c == 'C' || c == 'L' || c == 'H'; }

bool LooksLikeHeader(std::string_view line) {
  return line.size() >= kValueColumn && !Label(line).empty() && IsTypeCode(line[kTypeColumn]);
}

std::uint64_t ValuesPerLine(char type) {
  switch (type) {
    case 'I': return 6;
    case 'R':
    case 'C': return 5;
    case 'H': return 9;
    default: return 72;  // 'L'
  }
}

struct RecordHeader {
  std::string label;
  char type = 0;
  bool array = false;
  std::int32_t count = 0;  // arrays
  std::string_view value;  // scalars; valid until the next line is read
};

RecordHeader ParseHeader(std::string_view line) {
  if (line.size() < kValueColumn) throw FchkError("malformed record header (line too short)");
  RecordHeader header;
  header.label = std::string(Label(line));
  if (header.label.empty()) throw FchkError("missing record label");
  header.type = line[kTypeColumn];
  if (!IsTypeCode(header.type)) {
    throw FchkError("unrecognized type code in record '" + header.label + "'");
  }
  const size_t marker = line.find("N=", kValueColumn);
  header.array = marker != std::string_view::npos && line.size() > kValueColumn + 1;
  if (!header.array) {
    header.value = TrimBlanksRight(line.substr(kValueColumn));
    return header;
  }
  header.count = ParseIntValue(line.substr(marker + 2), "FCHK array count for '" + header.label + "'");
  if (header.count < 0 || header.count > kMaxArrayCount) {
    throw FchkError("array count out of range [0, 1000000000] for '" + header.label + "'");
  }
  return header;
}

void SetCalcData(QvMolBase& mol, std::string_view line) {
  const std::string_view method = TrimBlanks(Columns(line, 10, 30));
  const std::string_view basis = TrimBlanks(Columns(line, 40, 30));
  if (!method.empty()) mol.SetData(Sorvil::QvGetTag("Method"), std::string(method));
  if (!basis.empty()) mol.SetData(Sorvil::QvGetTag("Basis"), std::string(basis));
}

class FchkParser {
 public:
  explicit FchkParser(const std::string& path) : lines_(path) {}

  void Read(QvMolBase& mol) {
    std::string_view line;
    if (!NextLine(line)) throw FchkError("empty file (missing title line)");
    mol.SetTitle(std::string(TrimBlanksRight(line)));
    if (!NextLine(line)) throw FchkError("truncated header (missing calc line)");
    SetCalcData(mol, line);
    if (!NextLine(line)) throw FchkError("missing 'Number of atoms'");
    while (ReadRecord(mol, line)) {
    }
    Assemble(mol);
  }

 private:
  bool NextLine(std::string_view& line) { return lines_.Next(line); }

  // Handles the record whose header is `line` and leaves the line after it
  // there; false at the end of the records.
  bool ReadRecord(QvMolBase& mol, std::string_view& line) {
    if (IsBlankLine(line)) {
      // Blank lines may only trail the last record.
      while (NextLine(line)) {
        if (!IsBlankLine(line)) throw FchkError("unexpected blank line where a record header was expected");
      }
      return false;
    }
    const RecordHeader header = ParseHeader(line);
    if (!header.array) {
      ReadScalar(mol, header);
      return NextLine(line);
    }
    ReadArray(header);
    if (!NextLine(line)) return false;
    if (!IsBlankLine(line) && !LooksLikeHeader(line)) {
      throw FchkError("lost record sync after '" + header.label + "'");
    }
    return true;
  }

  void ReadScalar(QvMolBase& mol, const RecordHeader& header) {
    const std::string& label = header.label;
    if (label == "Number of atoms") {
      atom_count_ = ParseIntValue(header.value, "FCHK atom count");
      have_atom_count_ = true;
    } else if (label == "Charge") {
      SetInt(mol, label, ParseIntValue(header.value, "FCHK charge"));
    } else if (label == "Multiplicity") {
      SetInt(mol, label, ParseIntValue(header.value, "FCHK multiplicity"));
    } else if (label == "Number of electrons") {
      SetInt(mol, label, ParseIntValue(header.value, "FCHK electron count"));
    } else if (label == "Total Energy") {
      mol.SetData(Sorvil::QvGetTag(label), ParseRealValue(header.value, "FCHK total energy"));
    }
  }

  static void SetInt(QvMolBase& mol, const std::string& label, std::int32_t value) {
    mol.SetData(Sorvil::QvGetTag(label), value);
  }

  // Only the two arrays that make the molecule are tokenised; the lines of
  // every other payload are only counted.
  void ReadArray(const RecordHeader& header) {
    const bool numbers = header.type == 'I' && header.label == "Atomic numbers";
    const bool coords = header.type == 'R' && header.label == "Current cartesian coordinates";
    const std::uint64_t width = ValuesPerLine(header.type);
    const std::uint64_t count = static_cast<std::uint64_t>(header.count);
    const std::uint64_t line_count = (count + width - 1) / width;
    if (!numbers && !coords) {
      if (!lines_.Skip(line_count)) throw Truncated(header);
      return;
    }
    std::string payload;
    std::string_view line;
    for (std::uint64_t i = 0; i < line_count; ++i) {
      if (!NextLine(line)) throw Truncated(header);
      payload.append(line).push_back(' ');
    }
    const std::vector<std::string_view> tokens = Tokens(payload, count);
    if (tokens.size() < count) throw FchkError("too few values for '" + header.label + "'");
    have_numbers_ = have_numbers_ || numbers;
    have_coords_ = have_coords_ || coords;
    for (const std::string_view token : tokens) {
      if (numbers) {
        atomic_numbers_.push_back(ParseIntValue(token, "FCHK atomic number"));
      } else {
        coords_.push_back(ParseRealValue(token, "FCHK coordinate"));
      }
    }
  }

  static FormatError Truncated(const RecordHeader& header) {
    return FchkError("truncated payload for '" + header.label + "'");
  }

  // Up to `limit` tokens; those beyond it are ignored.
  static std::vector<std::string_view> Tokens(std::string_view text, std::uint64_t limit) {
    std::vector<std::string_view> tokens;
    LineScanner scanner(text);
    std::string_view token;
    while (tokens.size() < limit && scanner.NextToken(token)) tokens.push_back(token);
    return tokens;
  }

  void Assemble(QvMolBase& mol) const {
    if (!have_atom_count_) throw FchkError("missing 'Number of atoms'");
    if (atom_count_ < 1 || atom_count_ > kMaxAtoms) {
      throw FchkError("atom count out of range [1, 100000000]");
    }
    const size_t atoms = static_cast<size_t>(atom_count_);
    if (!have_numbers_) throw FchkError("missing 'Atomic numbers'");
    if (atomic_numbers_.size() != atoms) {
      throw FchkError("atomic-number count does not match atom count");
    }
    if (!have_coords_) throw FchkError("missing 'Current cartesian coordinates'");
    if (coords_.size() != 3 * atoms) {
      throw FchkError("coordinate count does not match 3 * atom count");
    }
    for (size_t i = 0; i < atoms; ++i) {
      const std::int32_t z = atomic_numbers_[i];
      if (z < 1 || z > 118) throw FchkError("atomic number out of range [1, 118]");
      float xyz[3];
      for (size_t c = 0; c < 3; ++c) {
        xyz[c] = NarrowToFloat(coords_[3 * i + c] * kAngstromPerBohr, "FCHK atom coordinate");
      }
      Tamrin::QvAtomBase* atom = mol.NewAtom(static_cast<unsigned>(z));
      if (!atom) throw FchkError("failed to create atom");
      mol.SetCoords(atom, xyz);
    }
  }

  LineReader lines_;
  std::int32_t atom_count_ = 0;
  bool have_atom_count_ = false;
  bool have_numbers_ = false;
  bool have_coords_ = false;
  std::vector<std::int32_t> atomic_numbers_;
  std::vector<double> coords_;
};

}  // namespace

FormatInfo FchkHandler::info() const {
  FormatInfo info;
  info.name = "FCHK";
  info.extensions = {".fchk", ".fch"};
  info.description = "Gaussian formatted checkpoint (molecule + QM scalars; read-only)";
  info.supports_write = false;
  return info;
}

std::unique_ptr<MolSource> FchkHandler::open_reader(const std::string& path, const std::any&) {
  return std::make_unique<FchkMolSource>(path);
}

std::unique_ptr<MolSink> FchkHandler::open_writer(const std::string&, const std::any&) {
  throw FormatError("velk: FCHK is read-only; writing is not supported");
}

void FchkMolSource::read(QvMolBase& mol, std::vector<QvScalarGrid>& /*grids*/) { FchkParser(path()).Read(mol); }

}  // namespace velk::builtin
