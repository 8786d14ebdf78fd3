#include <string>
#include <string_view>
#include <vector>

#include "pellar/qvstream.h"
#include "sorvil/base/tagdata.h"
#include "tamrin/formats/csv/csv.h"
#include "tamrin/formats/smiles/smiles.h"
#include "tamrin/model/graphmol.h"
#include "tamrin/model/molbase.h"
#include "tamrin/perception/aromaticity.h"
#include "tamrin/streams/molstream.h"

namespace Tamrin {

namespace {

// Canonical isomeric SMILES with any enhanced-stereo block.
constexpr unsigned kSmilesFlags = 0x107D;

// A field under the bar rule, then the quoting rule. Besides values of
// several lines, single-line values with a bar or a leading apostrophe go
// through the bar rule too: written plain they would not read back as
// themselves.
void AppendValue(std::string& out, std::string_view value, std::string& scratch) {
  if (value.find('\n') == std::string_view::npos && !QvCSV::HasBars(value)) {
    QvCSV::AppendField(out, value);
    return;
  }
  scratch.clear();
  QvCSV::JoinLines(value, scratch);
  QvCSV::AppendField(out, scratch);
}

std::string Smiles(const QvMolBase& mol) {
  QvGraphMol copy(mol);
  QvPerceiveAromaticity(copy, 2);
  std::string smiles;
  QvCreateSmiString(smiles, copy, kSmilesFlags);
  return smiles;
}

}  // namespace

void QvCSVWriteFxn(qvmolostream& out, const QvMolBase& mol, unsigned flavor) {
  thread_local std::string line, scratch;
  line.clear();
  const std::vector<std::pair<std::string, std::string>> items = Sorvil::QvGetSDDataPairs(mol);
  std::vector<std::string>& columns = out.Cache().columns;
  if (columns.empty()) {
    columns = {"SMILES", "TITLE"};
    for (const auto& item : items) columns.push_back(item.first);
    if (flavor & QvOFlavor::CSV::Header) {
      for (std::size_t i = 0; i < columns.size(); ++i) {
        if (i) line += ',';
        AppendValue(line, columns[i], scratch);
      }
      line += '\n';
    }
  }

  AppendValue(line, Smiles(mol), scratch);
  line += ',';
  AppendValue(line, mol.GetTitle(), scratch);
  // Each item fills one column at most, so repeated tags fill the columns
  // of their name in order.
  std::vector<bool> used(items.size(), false);
  for (std::size_t c = 2; c < columns.size(); ++c) {
    line += ',';
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (used[i] || items[i].first != columns[c]) continue;
      used[i] = true;
      AppendValue(line, items[i].second, scratch);
      break;
    }
  }
  line += '\n';
  out.GetStream().write(line.data(), line.size());
}

}  // namespace Tamrin
