#include "tamrin/formats/mdl/sdftokenizer.h"

#include <string_view>

#include "pellar/qvstream.h"

namespace Tamrin {

bool QvSDFTokenizer::Next(Pellar::qvistream& in, std::string& record) {
  record.clear();
  std::string_view line;
  while (in.getline(line)) {
    record += line;
    record += '\n';
    if (line.starts_with("$$$$")) break;
    if (line.starts_with("M  END")) {
      const int next = in.peekline();
      if (next != '$' && next != '>') break;
    }
  }
  return !record.empty();
}

}  // namespace Tamrin
