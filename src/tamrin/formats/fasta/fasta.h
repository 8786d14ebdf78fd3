// FASTA: a header line ">" + title, then the one-letter sequence on any
// number of lines, read into the all-atom molecule a peptide or
// nucleic-acid chemist expects: neutral, L-amino acids with a free amine and
// acid, D-ribose or 2'-deoxy-D-ribose nucleotides joined 3'-5' by neutral
// phosphodiester groups with a free 5'-OH and 3'-OH. Atoms carry residue
// data (name, number from 1, chain "A", PDB atom names) so that PDB output
// is meaningful.
//
// The input flavor's two bits choose the alphabet:
//   0  protein (20 standard amino acids, U selenocysteine)
//   1  RNA (A, C, G, U)
//   2  DNA (A, C, G, T, and U deoxyuridine)
//   3  DNA with a 5'-phosphate on its first nucleotide
// Letters are read in either case; blanks, digits and the gap and stop
// marks '-', '.' and '*' are skipped, as are ';' comment lines. A sequence
// without a header line has an empty title. The header's first word (the
// sequence identifier) is also kept as the SD data "Id".
//
// Writing gives ">" + title (the "Id" data when the title is empty) and the
// one-letter sequence of the molecule's polymer residues on one line, chain
// by chain as the atoms first meet them and by residue number within a
// chain; residues are perceived first when no atom has residue data.
// Hetero residues (water, ligands) are left out, other residues of unknown
// name are written as 'X'.
#pragma once

#include <string>
#include <string_view>

namespace Tamrin {

class QvMolBase;
class qvmolistream;

// The alphabets, by the input flavor's value.
enum class QvFASTAKind : unsigned { Protein = 0, RNA = 1, DNA = 2, DNA5Phosphate = 3 };

// Builds the molecule of `sequence` (only residue letters) into `mol`;
// false, with the offending letter's position in `bad`, for a letter of
// no residue of the alphabet.
bool QvBuildSequence(QvMolBase& mol, std::string_view sequence, QvFASTAKind kind, std::size_t& bad);

// Reads the next record; false for a record whose sequence has a letter of
// no residue (reported, the record consumed) and at the end of the input.
bool QvFASTAReadFxn(qvmolistream& in, QvMolBase& mol, unsigned kind);

// The record of `mol`, line ends included.
std::string QvFASTARecord(const QvMolBase& mol);

}  // namespace Tamrin
