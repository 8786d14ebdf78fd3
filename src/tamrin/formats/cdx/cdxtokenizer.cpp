#include "pellar/qvstream.h"
#include "tamrin/formats/cdx/cdx.h"
#include "tamrin/formats/cdx/cdxtree.h"

namespace Tamrin {

bool QvCDXTokenizer::Next(Pellar::qvistream& in, std::string& record) {
  cdx::Object fragment;
  if (cdx::ReadNextFragment(in, fragment, &record) == cdx::Step::Fragment) return true;
  record.clear();
  return false;
}

}  // namespace Tamrin
