// The CIF record tokenizer: one data block per record (cif.h).

#include <string>
#include <string_view>
#include <utility>

#include "pellar/qvstream.h"
#include "tamrin/formats/cif/cif.h"
#include "tamrin/formats/cif/cifcut.h"

namespace Tamrin {

bool QvCIFTokenizer::Next(Pellar::qvistream& in, std::string& record) {
  bool held = !next_header_.empty();
  const auto get = [&](std::string_view& line) {
    if (held) {
      held = false;
      line = next_header_;
      return true;
    }
    return in.getline(line);
  };
  std::string header;
  const auto hold = [&](std::string_view line) { header = line; };
  const bool got = QvCutCIFBlock(get, hold, [] {}, record);
  next_header_ = std::move(header);
  return got;
}

}  // namespace Tamrin
