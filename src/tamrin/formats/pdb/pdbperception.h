// The perception steps of PDB reading, which the models of one input share
// where their topology allows.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tamrin/streams/molstream.h"

namespace Tamrin {

class QvMolBase;
class QvPDBTopologyCache;

// What one input keeps from record to record: the LINK records of the
// entry's header, which hold for every model, and what perception made of
// the topologies met so far.
class QvPDBInputState : public QvMolStreamReaderState {
 public:
  QvPDBInputState();
  ~QvPDBInputState() override;

  std::vector<std::string> links;
  std::unique_ptr<QvPDBTopologyCache> topologies;
};

// The input's state, made on first use.
QvPDBInputState& QvPDBStateOf(qvmolistream& in);

// Runs the perception steps that the input flavor asks for on a molecule
// just read, and then the generic part of the flavor (rings, aromaticity
// model), with the same result as running them afresh.
void QvPDBPerceive(qvmolistream& in, QvMolBase& mol, unsigned flavor);

}  // namespace Tamrin
