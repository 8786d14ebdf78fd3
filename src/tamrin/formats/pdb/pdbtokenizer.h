// Cuts PDB input into the records the reader reads one molecule from: a
// model, or a section ended by END or TER, as the reader flags say.
#pragma once

#include <string>
#include <vector>

#include "tamrin/streams/tokenizer.h"

namespace Tamrin {

class QvPDBTokenizer : public QvMolTokenizer {
 public:
  // `flags`: the reader flags (the low byte of the input flavor).
  explicit QvPDBTokenizer(unsigned flags) : flags_(flags) {}
  // A record ends where the reader would stop: after the first ending
  // record (TER, END, ENDMDL, by the flags) that follows an atom record.
  // Lines after the last atom with no ending record make no record.
  // The LINK records of the entry's header follow the MODEL record of each
  // later record without LINK records of its own, so that every record reads
  // alone as it reads in sequence.
  bool Next(Pellar::qvistream& in, std::string& record) override;

 private:
  unsigned flags_;
  std::vector<std::string> links_;
};

}  // namespace Tamrin
