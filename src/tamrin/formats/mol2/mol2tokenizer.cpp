#include "tamrin/formats/mol2/mol2tokenizer.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "pellar/numparse.h"
#include "pellar/qvstream.h"
#include "sorvil/error/errorhandler.h"

namespace Tamrin {

namespace {

constexpr std::string_view kMolecule = "@<TRIPOS>MOLECULE";

bool IsHeader(std::string_view line) { return Pellar::TrimBlanksLeft(line).substr(0, kMolecule.size()) == kMolecule; }

bool IsAscii(std::string_view line) {
  return std::all_of(line.begin(), line.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

bool QvMOL2Tokenizer::Next(Pellar::qvistream& in, std::string& record) {
  record.clear();
  std::string_view line;
  if (!pending_) {
    do {
      if (!in.getline(line)) return false;
    } while (!IsHeader(line));
    header_.assign(line);
  }
  pending_ = false;
  QvAppendRecordLine(record, header_);
  while (in.getline(line)) {
    if (IsHeader(line)) {
      header_.assign(line);
      pending_ = true;
      break;
    }
    if (!IsAscii(line)) {
      const std::string text(line);
      Sorvil::QvErrorHandler::Warning("Non ASCII character encountered in MOL2 tokenizer %s", text.c_str());
      continue;
    }
    QvAppendRecordLine(record, line);
  }
  return true;
}

}  // namespace Tamrin
