#include "tamrin/formats/pdb/pdbtokenizer.h"

#include <algorithm>
#include <string_view>

#include "pellar/qvstream.h"
#include "tamrin/formats/pdb/pdb.h"

namespace Tamrin {

namespace {

constexpr std::size_t kGrowthMargin = 4096;

void Append(std::string& record, std::string_view line) {
  if (record.capacity() - record.size() < kGrowthMargin)
    record.reserve(std::max(2 * record.capacity(), record.size() + kGrowthMargin));
  record += line;
  record += '\n';
}

// The ending flag of a TER, END or ENDMDL line, else 0.
unsigned EndingFlag(std::string_view line) {
  std::size_t n = 0;
  while (n < 6 && n < line.size() && line[n] != ' ') ++n;
  const std::string_view name = line.substr(0, n);
  if (name == "TER") return QvIFlavor::PDB::TER;
  if (name == "END") return QvIFlavor::PDB::END;
  if (name == "ENDMDL") return QvIFlavor::PDB::ENDMDL;
  return 0;
}

}  // namespace

bool QvPDBTokenizer::Next(Pellar::qvistream& in, std::string& record) {
  record.clear();
  bool atoms = false, model = false, own_links = false;
  std::string_view line;
  while (in.getline(line)) {
    Append(record, line);
    if (line.starts_with("ATOM") || line.starts_with("HETA")) {
      atoms = true;
    } else if (atoms && (EndingFlag(line) & flags_)) {
      return true;
    } else if (model) {
      continue;
    } else if (line.starts_with("HEADER")) {
      links_.clear();
      own_links = true;
    } else if (line.starts_with("LINK")) {
      if (!own_links) links_.clear();
      own_links = true;
      links_.emplace_back(line);
    } else if (line.starts_with("MODEL")) {
      model = true;
      if (!own_links)
        for (const std::string& link : links_) Append(record, link);
    }
  }
  if (!atoms) record.clear();
  return atoms;
}

}  // namespace Tamrin
