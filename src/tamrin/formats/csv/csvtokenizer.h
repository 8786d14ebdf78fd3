// Cuts CSV input into rows without parsing them: one line, or several where
// a quoted field holds line ends. The header line is a row like any other.
#pragma once

#include <string>

#include "tamrin/streams/tokenizer.h"

namespace Tamrin {

class QvCSVTokenizer : public QvMolTokenizer {
 public:
  bool Next(Pellar::qvistream& in, std::string& record) override;

 private:
  // Lines read past a stray quote, handed out before the stream's own.
  std::string pending_;
  std::size_t at_ = 0;
  bool has_pending_ = false;
};

}  // namespace Tamrin
