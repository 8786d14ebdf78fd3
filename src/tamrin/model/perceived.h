// Perception bits of a molecule: which derived properties are currently valid.
// Edits that could change a property clear its bit (see QvMolBase).
#pragma once

namespace Tamrin {

enum QvPerceived : unsigned {
  QvPerceivedRings = 0x1,          // ring flags of atoms and bonds
  QvPerceivedAromaticity = 0x2,    // aromatic flags
  QvPerceivedAtomStereo = 0x4,     // atom stereo from the layout
  QvPerceivedBondStereo = 0x8,     // bond stereo from the layout
  QvPerceivedHybridization = 0x10, // element-dependent atom typing
  QvPerceivedEnergy = 0x100,       // an energy has been set
  QvPerceivedResidues = 0x200,     // residue hierarchy in the shape residue formats write
};

// What each kind of edit invalidates.
inline constexpr unsigned kQvAtomicNumChange =
    QvPerceivedAromaticity | QvPerceivedHybridization | QvPerceivedAtomStereo;
inline constexpr unsigned kQvChargeOrHydrogenChange = QvPerceivedAromaticity;
inline constexpr unsigned kQvBondOrderChange = QvPerceivedAromaticity | QvPerceivedBondStereo;
inline constexpr unsigned kQvBondEndChange = QvPerceivedAtomStereo;
inline constexpr unsigned kQvCoordChange = QvPerceivedAtomStereo | QvPerceivedBondStereo;

}  // namespace Tamrin
