// The perception steps of PDB reading, which the models of one input share
// where their topology allows.
#pragma once

namespace Tamrin {

class QvMolBase;
class qvmolistream;

// Runs the perception steps that the input flavor asks for on a molecule
// just read, and then the generic part of the flavor (rings, aromaticity
// model), with the same result as running them afresh.
void QvPDBPerceive(qvmolistream& in, QvMolBase& mol, unsigned flavor);

}  // namespace Tamrin
