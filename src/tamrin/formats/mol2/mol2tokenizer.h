// Cuts MOL2 input into records without parsing them: each record runs from
// its "@<TRIPOS>MOLECULE" line to the line before the next one.
#pragma once

#include <string>

#include "tamrin/streams/tokenizer.h"

namespace Tamrin {

class QvMOL2Tokenizer : public QvMolTokenizer {
 public:
  // Lines before the first record are skipped. A line with a byte outside
  // 7-bit ASCII is left out of its record with the warning "Non ASCII
  // character encountered in MOL2 tokenizer <line>"; the reader then sees
  // the record as damaged rather than as something it was not.
  bool Next(Pellar::qvistream& in, std::string& record) override;

 private:
  // The header of the next record, read while finding the end of the last.
  bool pending_ = false;
  std::string header_;
};

}  // namespace Tamrin
