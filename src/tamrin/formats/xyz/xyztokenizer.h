// Cuts XYZ input into raw records without parsing the atoms: the count line,
// then as many lines as it announces plus the title line.
#pragma once

#include <string>

#include "tamrin/streams/tokenizer.h"

namespace Tamrin {

class QvXYZTokenizer : public QvMolTokenizer {
 public:
  // A count line without a leading number (after blanks and an optional
  // '+') ends the input, as does one with nothing after it. Text after the
  // number is not checked: that is the reader's business. A record whose
  // input ends early is handed out as far as it goes.
  bool Next(Pellar::qvistream& in, std::string& record) override;
};

}  // namespace Tamrin
