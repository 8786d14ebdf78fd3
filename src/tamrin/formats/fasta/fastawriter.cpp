#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>
#include <string_view>

#include "sorvil/base/tagdata.h"
#include "tamrin/formats/fasta/fasta.h"
#include "tamrin/model/model.h"
#include "tamrin/perception/residues.h"

namespace Tamrin {

namespace {

struct Code {
  std::string_view name;
  char letter;
};
// Amino acids (L and D names), then nucleotides.
constexpr Code kCodes[] = {
    {"ALA", 'A'}, {"ARG", 'R'}, {"ASN", 'N'}, {"ASP", 'D'}, {"CYS", 'C'}, {"GLN", 'Q'}, {"GLU", 'E'},
    {"GLY", 'G'}, {"HIS", 'H'}, {"ILE", 'I'}, {"LEU", 'L'}, {"LYS", 'K'}, {"MET", 'M'}, {"PHE", 'F'},
    {"PRO", 'P'}, {"SER", 'S'}, {"THR", 'T'}, {"TRP", 'W'}, {"TYR", 'Y'}, {"VAL", 'V'}, {"SEC", 'U'},
    {"DAL", 'A'}, {"DAR", 'R'}, {"DSG", 'N'}, {"DAS", 'D'}, {"DCY", 'C'}, {"DGN", 'Q'}, {"DGL", 'E'},
    {"DHI", 'H'}, {"DIL", 'I'}, {"DLE", 'L'}, {"DLY", 'K'}, {"MED", 'M'}, {"DPN", 'F'}, {"DPR", 'P'},
    {"DSN", 'S'}, {"DTH", 'T'}, {"DTR", 'W'}, {"DTY", 'Y'}, {"DVA", 'V'}, {"A", 'A'},   {"C", 'C'},
    {"G", 'G'},   {"U", 'U'},   {"I", 'I'},   {"DA", 'A'},  {"DC", 'C'},  {"DG", 'G'},  {"DT", 'T'},
    {"DU", 'U'},  {"DI", 'I'}};

char LetterOf(const QvResidue& res) {
  for (const Code& c : kCodes)
    if (c.name == res.name) return c.letter;
  return res.hetero ? '\0' : 'X';
}

// The residues in chain order (chains as they first appear), each once:
// atoms of one residue need not be together (a molecule read from SMILES
// visits a side chain after the residues that follow it).
std::string Sequence(const QvMolBase& mol) {
  struct Entry {
    const QvResidue* res;
    unsigned chain_rank;
  };
  std::vector<Entry> residues;
  std::vector<std::pair<std::int32_t, std::string>> chains;  // (model, chain) by first appearance
  for (const QvAtomBase& atom : mol.GetAtoms()) {
    const QvResidue* res = QvGetResidue(atom);
    if (!res) continue;
    if (!residues.empty() && res->SameResidue(*residues.back().res)) continue;
    if (std::any_of(residues.begin(), residues.end(), [&](const Entry& e) { return res->SameResidue(*e.res); }))
      continue;
    const auto chain = std::make_pair(res->model, res->chain);
    auto it = std::find(chains.begin(), chains.end(), chain);
    if (it == chains.end()) it = chains.insert(chains.end(), chain);
    residues.push_back({res, static_cast<unsigned>(it - chains.begin())});
  }
  std::stable_sort(residues.begin(), residues.end(), [](const Entry& a, const Entry& b) {
    if (a.chain_rank != b.chain_rank) return a.chain_rank < b.chain_rank;
    if (a.res->number != b.res->number) return a.res->number < b.res->number;
    return a.res->insertion_code < b.res->insertion_code;
  });
  std::string seq;
  for (const Entry& e : residues)
    if (const char letter = LetterOf(*e.res)) seq.push_back(letter);
  return seq;
}

}  // namespace

std::string QvFASTARecord(const QvMolBase& mol) {
  std::string title = mol.GetTitle();
  if (title.empty()) title = Sorvil::QvGetSDData(mol, "Id");
  std::string seq;
  if (QvHasResidues(mol)) {
    seq = Sequence(mol);
  } else {
    QvGraphMolImpl copy;
    copy.Copy(mol);
    QvPerceiveResidues(copy);
    seq = Sequence(copy);
  }
  return ">" + title + "\n" + seq + "\n";
}

}  // namespace Tamrin
