// Cuts SD files into records without parsing them.
#pragma once

#include <string>

#include "tamrin/streams/tokenizer.h"

namespace Tamrin {

// An SD record ends after a line starting "$$$$", or after a line starting
// "M  END" that is the last line or is not followed by a line starting '$'
// or '>' (a molfile without data items).
class QvSDFTokenizer : public QvMolTokenizer {
 public:
  bool Next(Pellar::qvistream& in, std::string& record) override;
};

}  // namespace Tamrin
