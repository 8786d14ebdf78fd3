// CIF and mmCIF: one data block per record. A block with Cartesian atom
// sites (_atom_site.Cartn_x) is a macromolecular structure, read with the
// residue data the PDB reader gives, one molecule per model; a block with
// fractional sites and a cell is a small-molecule crystal structure
// (smallmolecule.h); a block defining one chemical component (a ligand, with
// _chem_comp_atom and _chem_comp_bond) is that molecule (chemcomp.h). Blocks
// are parsed in place (cifdoc.h).
//
// Reading and writing normally go through QvReadMolecule and QvWriteMolecule
// (the formats' records are in cifformat.cpp).
#pragma once

#include <string>

#include "tamrin/streams/tokenizer.h"

namespace Pellar {
class qvostream;
}

namespace Tamrin {

class QvMolBase;
class qvmolistream;

// Input flavor bit of the mmCIF format that keeps every atom site: without
// it, alternate locations other than the first ('A' or '1') and dummy atoms
// are dropped as the PDB reader drops them.
namespace QvIFlavor::MMCIF {
inline constexpr unsigned AllSites = 0x40;
}

// Reads the stream's next data block. A structure of several models gives
// its first model in `mol` and queues the others, finished as QvReadMolecule
// finishes a record. False, after saying why, for a block that holds no
// molecule or does not parse; its bytes are consumed all the same.
bool QvCIFReadFxn(qvmolistream& in, QvMolBase& mol, unsigned flavor);

// Writes `mol` as one data block with an _atom_site loop (and _struct_conn
// for the bonds between residues); atoms without residue data are written
// as one "UNL" residue. False when the stream fails.
bool QvMMCIFWriteFxn(Pellar::qvostream& out, const QvMolBase& mol);

// Cuts input into data blocks: from a "data_" line to the line before the
// next one outside a text field. Lines before the first block (comments,
// a global_ block) belong to no record.
class QvCIFTokenizer : public QvMolTokenizer {
 public:
  bool Next(Pellar::qvistream& in, std::string& record) override;

 private:
  std::string next_header_;
};

}  // namespace Tamrin
