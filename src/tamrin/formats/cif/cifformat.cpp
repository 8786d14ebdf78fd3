// CIF and mmCIF in the molecule streams. The reader and writer are not built
// yet: the records hold what the streams need to know of the formats until
// they are (their records can be cut without parsing; the tokenizer comes
// with them).
#include <span>

#include "sorvil/base/tagregistry.h"
#include "tamrin/model/molbase.h"
#include "tamrin/perception/atomcompletion.h"
#include "tamrin/perception/bondorders.h"
#include "tamrin/perception/connectivity.h"
#include "tamrin/perception/implicith.h"
#include "tamrin/perception/rings.h"
#include "tamrin/streams/formatinfo.h"
#include "tamrin/streams/molstream.h"

namespace Tamrin {

namespace {

constexpr QvPostReadStep kSmallMoleculeSteps[] = {{0x8, QvPerceiveRings},
                                                  {0x4, QvAssignBondOrders},
                                                  {0x2, QvAssignImplicitHydrogens},
                                                  {0x1, QvCompleteAtoms}};
// Bit 0x20 (residues) waits for its pass.
constexpr QvPostReadStep kMacromoleculeSteps[] = {
    {0x10, QvDetermineConnectivity}, {0x8, QvPerceiveRings}, {0x4, QvAssignBondOrders},
    {0x2, QvAssignImplicitHydrogens}, {0x1, QvCompleteAtoms}, {0x20, nullptr}};

// Under the mmCIF flavor, whichever format was read; the reader marks
// bonds for its own use, and the marks do not leave the read.
void AfterMacromolecule(qvmolistream& in, QvMolBase& mol, unsigned) {
  QvRunPostReadSteps(mol, in.GetFlavor(QvFormat::MMCIF), kMacromoleculeSteps);
  const Sorvil::QvTag marker = Sorvil::QvGetTag("__MMCIF_SPEC_BOND_FLAG__");
  for (QvBondBase& bond : mol.GetBonds()) bond.DeleteData(marker);
}

// A CIF molecule with 3D coordinates is a macromolecule as much as an
// mmCIF one.
void AfterCIF(qvmolistream& in, QvMolBase& mol, unsigned flavor) {
  if (mol.GetDimension() == 3)
    AfterMacromolecule(in, mol, flavor);
  else
    QvRunPostReadSteps(mol, flavor, kSmallMoleculeSteps);
}

constexpr QvFormatInfo kRecords[] = {
    {.code = QvFormat::CIF,
     .description = "Crystallographic Information File (CIF)",
     .extensions = "cif",
     .readable = true,
     .writable = true,
     .default_iflavor = 0x41FF,
     .iflavor_valid = [](unsigned part) { return part == 0x1FF; },
     .oflavor_valid = [](unsigned word) { return (word & 0x3FFF) == 0; },
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
     .after_read = AfterMacromolecule,
     .combines_conformers = true},
};

}  // namespace

std::span<const QvFormatInfo> QvCIFFormats() { return kRecords; }

}  // namespace Tamrin
