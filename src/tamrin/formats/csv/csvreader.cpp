#include <algorithm>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pellar/numparse.h"
#include "sorvil/base/tagdata.h"
#include "sorvil/error/errorhandler.h"
#include "tamrin/formats/csv/csv.h"
#include "tamrin/formats/csv/csvrows.h"
#include "tamrin/formats/smiles/smiles.h"
#include "tamrin/model/graphmol.h"
#include "tamrin/model/molbase.h"
#include "tamrin/perception/aromaticity.h"
#include "tamrin/perception/rings.h"
#include "tamrin/streams/molstream.h"

namespace Tamrin {

using Sorvil::QvErrorHandler;

namespace {

// The fields of the row in hand. They outlive the call so that their
// strings keep their capacity from row to row.
struct Row {
  std::vector<std::string> fields;
  std::size_t size = 0;
  std::string scratch;

  std::string_view operator[](std::size_t i) const { return fields[i]; }
};

// Lines that GatherRow handed back wait as one pushed-back "line" holding
// line ends, in reverse order so that taking the next one only shortens the
// block: replaying them costs their length once.
bool NextLine(qvmolistream& in, std::string_view& line) {
  QvMolStreamCache& cache = in.Cache();
  if (cache.pushed_line) {
    std::string& block = *cache.pushed_line;
    const std::size_t end = block.rfind('\n');
    if (end != std::string::npos) {
      cache.served_line.assign(block, end + 1);
      block.resize(end);
      line = cache.served_line;
      return true;
    }
  }
  // The stream's own lines, or the last line of a block.
  return in.GetLine(line);
}

// Puts `rest` (lines joined with '\n') before what is waiting.
void GiveBack(qvmolistream& in, std::string_view rest) {
  std::optional<std::string>& pushed = in.Cache().pushed_line;
  std::string block = pushed ? std::move(*pushed) + '\n' : std::string();
  std::size_t end = rest.size();
  for (;;) {
    const std::size_t start = rest.rfind('\n', end == 0 ? 0 : end - 1);
    if (start == std::string_view::npos || end == 0) {
      block.append(rest.substr(0, end));
      break;
    }
    block.append(rest.substr(start + 1, end - start - 1));
    block += '\n';
    end = start;
  }
  in.PushBackLine(std::move(block));
}

// Reads a row and splits it into fields, then every field at its bars unless
// the row carries a CXSMILES block.
bool ReadRow(qvmolistream& in, Row& row) {
  thread_local std::string buffer, rest;
  std::string_view text;
  bool has_rest = false;
  const auto next = [&in](std::string_view& line) { return NextLine(in, line); };
  const QvCSV::Gathered got = QvCSV::GatherRow(next, text, buffer, rest, has_rest);
  if (got == QvCSV::Gathered::None) return false;
  if (got == QvCSV::Gathered::Unclosed) {
    QvErrorHandler::Warning("Quoted field in CSV file not closed, its quote taken as text: %s", buffer.c_str());
    if (has_rest) GiveBack(in, rest);
  }
  row.size = QvCSV::SplitRow(text, row.fields, got == QvCSV::Gathered::Row);
  if (row.size >= 2 && QvCSV::IsCXSmilesField(row.fields[1])) return true;
  for (std::size_t i = 0; i < row.size; ++i) {
    std::string& field = row.fields[i];
    if (!QvCSV::HasBars(field)) continue;
    if (QvCSV::SplitBars(field, row.scratch))
      field.swap(row.scratch);
    else
      QvErrorHandler::Warning("Unable to tokenize pipe separated field: %s", field.c_str());
  }
  return true;
}

bool ParseSmiles(QvMolBase& mol, std::string_view smiles, bool quiet) {
  return QvParseSmiles(mol, smiles, QvSmilesParseOptions{.quiet = quiet});
}

bool IsSmiles(std::string_view field) {
  QvGraphMol scratch;
  return ParseSmiles(scratch, field, true);
}

// Names for a file without a header line, as many as its first row has
// fields.
std::vector<std::string> MadeUpColumns(std::size_t fields) {
  std::vector<std::string> names{"SMILES"};
  if (fields >= 2) names.emplace_back("TITLE");
  for (std::size_t i = 2; i < fields; ++i) names.push_back("QV_CSV_COLUMN_" + std::to_string(i - 1));
  return names;
}

// Tables from elsewhere often keep the SMILES in another column than the
// first, under a header that says which: the column named like "smiles",
// when the first is not. Its values are read as if they stood first, the
// columns before it moving one along (the first becomes the title).
bool IsSmilesName(std::string_view name) {
  constexpr std::string_view kSmiles = "smiles";
  for (std::size_t i = 0; i + kSmiles.size() <= name.size(); ++i) {
    std::size_t k = 0;
    while (k < kSmiles.size() && (name[i + k] | 0x20) == kSmiles[k]) ++k;
    if (k == kSmiles.size()) return true;
  }
  return false;
}

std::size_t SmilesColumn(const std::vector<std::string>& columns) {
  if (columns.empty() || IsSmilesName(columns[0])) return 0;
  for (std::size_t i = 1; i < columns.size(); ++i)
    if (IsSmilesName(columns[i])) return i;
  return 0;
}

// The field order of the format: the SMILES column first.
void SmilesFirst(Row& row, std::size_t column) {
  if (column == 0 || column >= row.size) return;
  const auto first = row.fields.begin();
  std::rotate(first, first + static_cast<std::ptrdiff_t>(column), first + static_cast<std::ptrdiff_t>(column) + 1);
}

// The header name of field `i` after SmilesFirst.
const std::string& ColumnName(const std::vector<std::string>& columns, std::size_t i, std::size_t smiles) {
  return columns[i == 0 ? smiles : i <= smiles ? i - 1 : i];
}

// Text after the SMILES would become the title in a SMILES file; here the
// title has a column of its own, so that text goes nowhere.
bool HasTrailingText(std::string_view field) {
  const auto is_space = [](char c) { return Pellar::IsBlank(c) || c == '\n'; };
  std::size_t pos = 0;
  while (pos < field.size() && is_space(field[pos])) ++pos;
  while (pos < field.size() && !is_space(field[pos])) ++pos;
  while (pos < field.size() && is_space(field[pos])) ++pos;
  return pos < field.size();
}

// What the SMILES readers do after the parse, and what reading the SMILES
// formats then applies by default.
void Perceive(QvMolBase& mol) {
  QvClearSmallRingBondStereo(mol);
  if (!mol.HasPerceived(QvPerceivedRings)) QvPerceiveRings(mol);
  QvPerceiveAromaticity(mol, 2);
}

struct PassedOver final : QvMolStreamReaderState {};

}  // namespace

bool QvCSVPassedOverRow(qvmolistream& in) { return dynamic_cast<PassedOver*>(in.Cache().reader_state.get()); }

bool QvCSVReadFxn(qvmolistream& in, QvMolBase& mol, unsigned flavor) {
  thread_local Row row;
  const bool detect = flavor & QvIFlavor::CSV::Header;
  std::vector<std::string>& columns = in.Cache().columns;
  // The first row of a file without a header line is data, and known to be.
  bool first_row = false;
  if (columns.empty()) {
    // Blank lines before the first row would name a single column and so
    // drop every later column's values: they are passed over, as blank
    // rows are further on.
    do {
      if (!ReadRow(in, row)) {
        columns.assign(1, "INVALID_FIELD_NAME");
        return false;
      }
    } while (row.size == 1 && Pellar::IsBlankLine(row[0]));
    if (detect && !IsSmiles(row[0])) {
      columns.assign(row.fields.begin(), row.fields.begin() + static_cast<std::ptrdiff_t>(row.size));
      // A file of a header alone holds no record to be cut short.
      in.MarkRecordStart();
      if (!ReadRow(in, row)) return false;
    } else {
      columns = MadeUpColumns(row.size);
      first_row = true;
    }
  } else if (!ReadRow(in, row)) {
    return false;
  }

  const std::size_t smiles = SmilesColumn(columns);
  SmilesFirst(row, smiles);

  // A row whose SMILES does not parse is passed over once (a header line
  // repeated where files were joined); its parse, when it works, is the one
  // the molecule keeps.
  bool parsed = false;
  if (detect && !first_row) {
    parsed = ParseSmiles(mol, row[0], false);
    if (!parsed) {
      mol.Clear();
      in.Cache().reader_state = std::make_unique<PassedOver>();
      if (!ReadRow(in, row)) return false;
      SmilesFirst(row, smiles);
    }
  }

  bool ok = true;
  if (HasTrailingText(row[0])) {
    QvErrorHandler::Warning("SMILES field in CSV file format contains a title that will be lost:");
    QvErrorHandler::Warning("'%s'", row.fields[0].c_str());
    ok = false;
  }
  if (!parsed && !ParseSmiles(mol, row[0], false)) return false;
  Perceive(mol);
  // The parser takes text after the SMILES for the title; the column has
  // the say.
  mol.SetTitle(row.size >= 2 ? row.fields[1] : std::string());
  if (columns.size() >= 3)
    for (std::size_t i = 2; i < row.size && i < columns.size(); ++i)
      Sorvil::QvAddSDData(mol, ColumnName(columns, i, smiles), row[i]);
  return ok;
}

}  // namespace Tamrin
