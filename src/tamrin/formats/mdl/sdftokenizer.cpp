#include "tamrin/formats/mdl/sdftokenizer.h"

#include "pellar/qvstream.h"

namespace Tamrin {

bool QvSDFTokenizer::Next(Pellar::qvistream& in, std::string& record) {
  record.clear();
  while (in.getline(line_)) {
    record += line_;
    record += '\n';
    if (line_.starts_with("$$$$")) break;
    if (line_.starts_with("M  END")) {
      const int next = in.peek();
      if (next != '$' && next != '>') break;
    }
  }
  return !record.empty();
}

}  // namespace Tamrin
