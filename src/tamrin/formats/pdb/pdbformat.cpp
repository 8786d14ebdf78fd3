// PDB in the molecule streams.
#include <memory>
#include <optional>
#include <span>

#include "tamrin/formats/pdb/pdb.h"
#include "tamrin/formats/pdb/pdbperception.h"
#include "tamrin/formats/pdb/pdbtokenizer.h"
#include "tamrin/model/graphmol.h"
#include "tamrin/model/perceived.h"
#include "tamrin/model/residue.h"
#include "tamrin/perception/residues.h"
#include "tamrin/streams/formatinfo.h"
#include "tamrin/streams/molstream.h"

namespace Tamrin {

namespace {

// The reader takes the low byte of the input flavor; the rest asks for
// perception after reading.
unsigned ReaderOptions(unsigned flavor) { return flavor & 0xFF; }

bool AnyPart(unsigned) { return true; }
bool WriterFlavor(unsigned word) { return (word & ~0x7FFFu) == 0; }

bool ReadPDB(qvmolistream& in, QvMolBase& mol, unsigned flags) { return QvPDBReadFxn(in, mol, flags); }

constexpr unsigned kDefaultWord = 0x2744;
constexpr unsigned kPerceiveResidues = 0x400;
constexpr unsigned kHierarchy = 0x2000;

// The writer gets the whole flavor: it decides which residue passes run on
// the way out and which flags the record writer sees. The passes work on a
// copy, made only when one of them has something to do: a molecule read
// from PDB has its hierarchy already and is written as it stands.
int WritePDB(qvmolostream& out, const QvMolBase& mol, unsigned flavor) {
  const unsigned word = flavor & ~0x4000u;
  std::optional<QvGraphMol> copy;
  const bool residues = QvHasResidues(mol);
  unsigned flags;
  if (word == kDefaultWord) {
    if (!residues) {
      copy.emplace(mol);
      QvPerceiveResidues(*copy, QvResidueOption::All);
    } else if (!mol.HasPerceived(QvPerceivedResidues)) {
      copy.emplace(mol);
      QvPerceiveResidueHierarchy(*copy, false);
    }
    flags = mol.GetDimension() == 3 ? 0x2744 : 0x2747;
  } else {
    // Residue perception sets up the hierarchy itself. The stream's residue
    // option (bit 0x800) has nothing to apply in this system.
    if ((word & kPerceiveResidues) && !residues) {
      copy.emplace(mol);
      QvPerceiveResidues(*copy, QvResidueOption::All);
    } else if ((word & kHierarchy) && residues) {
      copy.emplace(mol);
      QvPerceiveResidueHierarchy(*copy, false);
    }
    flags = word & 0x3FF;
    if (flags == 0) flags = mol.GetDimension() < 3 ? 0x003 : 0x144;
    flags |= word & 0x200;
  }
  const QvMolBase& source = copy ? static_cast<const QvMolBase&>(*copy) : mol;
  return QvPDBWriteFxn(out.GetStream(), source, flags) ? 0 : 17;
}

std::unique_ptr<QvMolTokenizer> MakeTokenizer(unsigned iflavor) {
  return std::make_unique<QvPDBTokenizer>(ReaderOptions(iflavor));
}

// Atom serial numbers have five columns.
constexpr unsigned kMaxAtoms = 99999;

constexpr QvFormatInfo kRecords[] = {{.code = QvFormat::PDB,
                                      .description = "PDB",
                                      .extensions = "pdb ent pdb#",
                                      .readable = true,
                                      .writable = true,
                                      .default_iflavor = 0x7F16,
                                      .default_oflavor = 0x6744,
                                      .iflavor_valid = AnyPart,
                                      .oflavor_valid = WriterFlavor,
                                      .read = ReadPDB,
                                      .write = WritePDB,
                                      .reader_options = ReaderOptions,
                                      .tokenizer = MakeTokenizer,
                                      // The perception steps (0x1000 connectivity, 0x800
                                      // rings, 0x400 bond orders, 0x200 hydrogens, 0x100
                                      // atom completion, 0x2000 residue hierarchy) and the
                                      // generic part, models of one input sharing them.
                                      .after_read = QvPDBPerceive,
                                      .keeps_perception = true,
                                      .atomless_tail_ends_input = true,
                                      .combines_conformers = true,
                                      .max_atoms = kMaxAtoms}};

}  // namespace

std::span<const QvFormatInfo> QvPDBFormats() { return kRecords; }

}  // namespace Tamrin
