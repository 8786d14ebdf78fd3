// The perception steps of PDB reading, which the models of one input share
// where their topology allows.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tamrin/streams/molstream.h"

namespace Tamrin {

class QvMolBase;
class QvAtomBase;
class QvPDBTopologyCache;

// What one input keeps from record to record: the LINK records of the
// entry's header, which hold for every model, what perception made of the
// topologies met so far, and the reader's working arrays, which the next
// model reuses rather than growing its own.
class QvPDBInputState : public QvMolStreamReaderState {
 public:
  QvPDBInputState();
  ~QvPDBInputState() override;

  std::vector<std::string> links;
  std::unique_ptr<QvPDBTopologyCache> topologies;
  std::vector<float> coords;             // by atom index, three each
  std::vector<QvAtomBase*> by_serial;    // atoms by serial number
};

// The input's state, made on first use.
QvPDBInputState& QvPDBStateOf(qvmolistream& in);

// Runs the perception steps that the input flavor asks for on a molecule
// just read, and then the generic part of the flavor (rings, aromaticity
// model), with the same result as running them afresh.
void QvPDBPerceive(qvmolistream& in, QvMolBase& mol, unsigned flavor);

}  // namespace Tamrin
