// CIF and mmCIF in the molecule streams: one reader for both, which reads
// each data block by what it holds, and one writer.
#include <memory>
#include <span>

#include "sorvil/base/tagregistry.h"
#include "tamrin/formats/cif/chemcomp.h"
#include "tamrin/formats/cif/cif.h"
#include "tamrin/formats/cif/smallmolecule.h"
#include "tamrin/model/molbase.h"
#include "tamrin/perception/atomcompletion.h"
#include "tamrin/perception/bondorders.h"
#include "tamrin/perception/connectivity.h"
#include "tamrin/perception/implicith.h"
#include "tamrin/perception/residues.h"
#include "tamrin/perception/rings.h"
#include "tamrin/streams/formatinfo.h"
#include "tamrin/streams/molstream.h"
#include "tamrin/streams/molio.h"

namespace Tamrin {

namespace {

constexpr QvPostReadStep kSmallMoleculeSteps[] = {{0x8, QvPerceiveRings},
                                                  {0x4, QvAssignBondOrders},
                                                  {0x2, QvAssignImplicitHydrogens},
                                                  {0x1, QvCompleteAtoms}};
void HierarchyStep(QvMolBase& mol) { QvPerceiveResidueHierarchy(mol, true); }

constexpr QvPostReadStep kMacromoleculeSteps[] = {
    {0x10, QvDetermineConnectivity}, {0x8, QvPerceiveRings}, {0x4, QvAssignBondOrders},
    {0x2, QvAssignImplicitHydrogens}, {0x1, QvCompleteAtoms}, {0x20, HierarchyStep}};

// A component definition gives its bonds: it is finished as a small
// molecule whichever format read it.
bool AfterChemComp(QvMolBase& mol, unsigned flavor) {
  if (!mol.DeleteData(Sorvil::QvGetTag(kQvChemCompTag))) return false;
  QvRunPostReadSteps(mol, flavor, kSmallMoleculeSteps);
  return true;
}

// Under the mmCIF flavor, whichever format was read; the reader marks
// bonds for its own use, and the marks do not leave the read.
void AfterMacromolecule(qvmolistream& in, QvMolBase& mol, unsigned flavor) {
  if (AfterChemComp(mol, flavor)) return;
  QvRunPostReadSteps(mol, in.GetFlavor(QvFormat::MMCIF), kMacromoleculeSteps);
  const Sorvil::QvTag marker = Sorvil::QvGetTag("__MMCIF_SPEC_BOND_FLAG__");
  for (QvBondBase& bond : mol.GetBonds()) bond.DeleteData(marker);
}

// A CIF molecule with 3D coordinates is a macromolecule as much as an
// mmCIF one.
void AfterCIF(qvmolistream& in, QvMolBase& mol, unsigned flavor) {
  if (AfterChemComp(mol, flavor)) return;
  if (mol.GetDimension() == 3)
    AfterMacromolecule(in, mol, flavor);
  else
    QvRunPostReadSteps(mol, flavor, kSmallMoleculeSteps);
}

int WriteMMCIF(qvmolostream& out, const QvMolBase& mol, unsigned) {
  return QvMMCIFWriteFxn(out.GetStream(), mol) ? QvWriteOk : QvWriteStreamFailed;
}

// Molecules in 3D are structures whatever their size; the others are
// written as small-molecule blocks.
int WriteCIF(qvmolostream& out, const QvMolBase& mol, unsigned flavor) {
  if (mol.GetDimension() == 3) return WriteMMCIF(out, mol, out.GetFlavor(QvFormat::MMCIF));
  return QvWriteSmallMoleculeBlock(out, mol, flavor);
}

std::unique_ptr<QvMolTokenizer> MakeTokenizer(unsigned) { return std::make_unique<QvCIFTokenizer>(); }

constexpr QvFormatInfo kRecords[] = {
    {.code = QvFormat::CIF,
     .description = "Crystallographic Information File (CIF)",
     .extensions = "cif",
     .readable = true,
     .writable = true,
     .default_iflavor = 0x41FF,
     .iflavor_valid = [](unsigned part) { return part == 0x1FF; },
     .oflavor_valid = [](unsigned word) { return (word & 0x3FFF) == 0; },
     .read = QvCIFReadFxn,
     .write = WriteCIF,
     .tokenizer = MakeTokenizer,
     .after_read = AfterCIF,
     .combines_conformers = true},
    // No extension: ".cif" is the small-molecule format.
    {.code = QvFormat::MMCIF,
     .description = "Macromolecular CIF",
     .readable = true,
     .writable = true,
     .default_iflavor = 0x403F,
     .iflavor_valid = [](unsigned part) { return part <= 0x7F; },
     .oflavor_valid = [](unsigned word) { return (word & 0x3FFF) <= 1; },
     .read = QvCIFReadFxn,
     .write = WriteMMCIF,
     .tokenizer = MakeTokenizer,
     .after_read = AfterMacromolecule,
     .combines_conformers = true},
};

}  // namespace

std::span<const QvFormatInfo> QvCIFFormats() { return kRecords; }

}  // namespace Tamrin
