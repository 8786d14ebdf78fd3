// Cuts a QVB or QVZ input into whole top-level records (canonical tag, length,
// payload) without reading their payloads, for handing records to workers.
#pragma once

#include <string>

#include "tamrin/streams/tokenizer.h"

namespace Tamrin {

class QvQVBTokenizer : public QvMolTokenizer {
 public:
  // False at the end of input, silently, and after a warning for a record
  // that cannot be cut ("QVBReadTag failed in QvQVBTokenizer", "Failed to
  // read the required number of bytes", ...).
  bool Next(Pellar::qvistream& in, std::string& record) override;
};

}  // namespace Tamrin
