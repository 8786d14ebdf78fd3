// The chemistry perception steps that reading runs after a record, as hooks.
//
// The passes themselves live in tamrin/perception/, one free function each;
// each registers itself here (from a static initialiser) for the step it
// implements. The streams run the steps that a format's flavor asks for, in
// the documented order, and skip any step whose pass is not registered: the
// molecule is then left as the reader made it, with the matching perception
// bit unset, rather than with invented results.
#pragma once

#include "tamrin/streams/flavor.h"

namespace Tamrin {

class QvMolBase;

enum class QvPerceptionStep : unsigned {
  Connectivity,       // bonds from 3D coordinates
  Rings,              // ring membership of atoms and bonds
  WholeMolecule,      // the pass that works from connectivity and aromaticity
  ImplicitHydrogens,  // implicit hydrogen counts from standard valences
  AtomCompletion,     // the per-atom completion pass
  Residues,           // residue hierarchy; must run even when already perceived
  StereoFromCoords,   // atom and bond stereo from the coordinates
  Count,
};

using QvPerceptionPass = void (*)(QvMolBase& mol);
using QvAromaticityPass = void (*)(QvMolBase& mol, const QvAromaticityModel& model);

// Each returns the pass registered before (null if none); null unregisters.
QvPerceptionPass QvRegisterPerceptionPass(QvPerceptionStep step, QvPerceptionPass pass);
QvAromaticityPass QvRegisterAromaticityPass(QvAromaticityPass pass);

// Run the registered pass; false (nothing done) when there is none.
bool QvRunPerceptionStep(QvMolBase& mol, QvPerceptionStep step);
bool QvRunAromaticity(QvMolBase& mol, const QvAromaticityModel& model);

}  // namespace Tamrin
