// Cuts Macromodel input into raw records without parsing the atoms: the
// header line, then as many lines as its atom count announces.
#pragma once

#include <string>

#include "tamrin/streams/tokenizer.h"

namespace Tamrin {

class QvMMODTokenizer : public QvMolTokenizer {
 public:
  // Blank lines before a header are passed over. A header that does not
  // start with a number (after blanks) ends the input; a count past 32 bits
  // runs the record to the end of the input, as does a record cut short.
  bool Next(Pellar::qvistream& in, std::string& record) override;
};

}  // namespace Tamrin
