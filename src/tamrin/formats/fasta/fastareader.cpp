#include <cctype>
#include <string>
#include <string_view>

#include "pellar/numparse.h"
#include "sorvil/error/errorhandler.h"
#include "tamrin/formats/fasta/fasta.h"
#include "tamrin/model/model.h"
#include "tamrin/streams/molstream.h"

namespace Tamrin {

namespace {

bool Skipped(char c) {
  return c == ' ' || c == '\t' || c == '-' || c == '.' || c == '*' || (c >= '0' && c <= '9');
}

}  // namespace

bool QvFASTAReadFxn(qvmolistream& in, QvMolBase& mol, unsigned kind) {
  std::string_view line;
  // Blank lines before a record.
  while (in.PeekLine() == '\n') in.GetLine(line);
  if (in.PeekLine() < 0) return false;
  std::string title;
  if (in.PeekLine() == '>') {
    in.GetLine(line);
    title = std::string(Pellar::TrimBlanks(line.substr(1)));
  }
  std::string sequence;
  while (in.PeekLine() >= 0 && in.PeekLine() != '>') {
    in.GetLine(line);
    if (!line.empty() && line.front() == ';') continue;
    for (const char c : line)
      if (!Skipped(c)) sequence.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
  }
  mol.SetTitle(title);
  if (sequence.empty()) {
    Sorvil::QvErrorHandler::Warning("FASTA record \"%s\" has no sequence", title.c_str());
    return false;
  }
  std::size_t bad = 0;
  if (!QvBuildSequence(mol, sequence, static_cast<QvFASTAKind>(kind & 0x3), bad)) {
    static constexpr const char* kAlphabet[] = {"protein", "RNA", "DNA", "DNA"};
    Sorvil::QvErrorHandler::Warning("FASTA record \"%s\": '%c' at sequence position %zu is no %s residue",
                                    title.c_str(), sequence[bad], bad + 1, kAlphabet[kind & 0x3]);
    mol.Clear();
    mol.SetTitle(title);
    return false;
  }
  if (const std::string_view id = std::string_view(title).substr(0, title.find_first_of(" \t")); !id.empty())
    Sorvil::QvSetSDData(mol, "Id", id);
  return true;
}

}  // namespace Tamrin
