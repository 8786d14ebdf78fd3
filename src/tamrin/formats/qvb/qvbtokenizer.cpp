#include "tamrin/formats/qvb/qvbtokenizer.h"

#include "pellar/qvstream.h"
#include "sorvil/binary/qvbhandler.h"
#include "sorvil/error/errorhandler.h"

namespace Tamrin {

namespace {

bool Fail(const char* what) {
  Sorvil::QvErrorHandler::Warning("%s", what);
  return false;
}

}  // namespace

bool QvQVBTokenizer::Next(Pellar::qvistream& in, std::string& record) {
  record.clear();
  if (in.peek() < 0) return false;
  std::string name;
  std::uint8_t code = 0;
  if (!Sorvil::QVBReadTag(in, name, code)) return in.peek() < 0 ? false : Fail("QVBReadTag failed in QvQVBTokenizer");
  // A code outside the dictionary has no name to write; it is kept as read.
  if (code != 0) {
    record.push_back(static_cast<char>(code));
  } else if (!Sorvil::QVBAppendTag(record, name)) {
    return Fail("QVBWriteTag failed in QvQVBTokenizer");
  }
  if (in.peek() < 0) {
    record.clear();
    return false;
  }
  bool ended = false;
  const std::uint64_t length = Sorvil::QVBReadDataLength(in, UINT32_MAX, &ended);
  if (length == 0) {
    record.clear();
    return ended ? false : Fail("QVBReadDataLength failed in QvQVBTokenizer");
  }
  Sorvil::QVBAppendVarint(record, length);
  if (!Sorvil::QVBReadPayload(in, length, record)) {
    record.clear();
    return Fail("Failed to read the required number of bytes");
  }
  return true;
}

}  // namespace Tamrin
