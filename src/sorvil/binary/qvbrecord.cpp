#include "sorvil/binary/qvbrecord.h"

#include <array>

#include "pellar/qvstream.h"
#include "sorvil/error/errorhandler.h"

namespace Sorvil {

namespace {

// Views rather than C strings: every record read asks for its name.
constexpr std::array<std::string_view, 57> kTagNames = [] {
  std::array<std::string_view, 57> names{};
  names.fill("");
  names[1] = "QvBasePOD";
  const char* const from10[] = {
      "QvMolBase", "QvMCMolBase", "QvAtomPOD", "QvBondPOD", "QvConfPOD", "QvConfSDData", "QvMCMolCartConf",
      "QvMolAtomNames", "QvMolAtomTypes", "QvMolCT", "QvMolFloatCoord", "QvMolPartialCharge", "QvMolRadii",
      "QvMolResidue", "QvMolSDData", "QvMolTitle", "QvConfTitle", "MDLParity", "QvBondStereo", "QvMolComment",
      "QvConfEnergy", "QvBase", "QvMolDimension", "QvConfDimension", "zQvMCMolBase", "QvMolAtomIntType",
      "QvMolBondIntType", "QvMolRotor", "QvConfTorsion", "QvMCMolRotorCart", "QvMolEnergy", "QvStyleList",
      "QvStyleMap", "QvStyleAtomID", "QvStyleConfs", "QvStyleID", "QvMCMolCartConfHalfFloat",
      "QvMCMolCartConfDouble", "QvConfTorsionHalfFloat", "QvConfTorsionDouble", "QvConfTorsionCompressed",
      "QvConfTorsionHalfFloatCompressed", "QvConfTorsionDoubleCompressed", "QvContainer", "QvGroup",
      "zstdQvMCMolBase", "QvPrimarySubSearchScreen"};
  for (std::size_t i = 0; i < std::size(from10); ++i) names[10 + i] = from10[i];
  return names;
}();

constexpr unsigned kMaxVarintBytes = 10;

enum class VarintResult { Ok, End, Corrupt };

// The one decoder: `Source` is a qvistream or a QVBCursor (get() gives -1 at
// the end).
template <class Source>
VarintResult DecodeVarint(Source& in, std::uint64_t maximum, std::uint64_t& value) {
  value = 0;
  for (unsigned i = 0; i < kMaxVarintBytes; ++i) {
    const int byte = in.get();
    if (byte < 0) return VarintResult::End;
    const std::uint64_t group = static_cast<std::uint64_t>(byte & 0x7F);
    // The tenth byte may carry only the top bit of a 64-bit number.
    if (i == kMaxVarintBytes - 1 && group > 1) return VarintResult::Corrupt;
    value |= group << (7 * i);
    if (byte & 0x80) return value <= maximum ? VarintResult::Ok : VarintResult::Corrupt;
  }
  return VarintResult::Corrupt;
}

template <class Source>
std::uint64_t ReadLength(Source& in, std::uint64_t maximum, bool* ended = nullptr) {
  std::uint64_t value = 0;
  const VarintResult result = DecodeVarint(in, maximum, value);
  if (ended) *ended = result == VarintResult::End;
  switch (result) {
    case VarintResult::Ok:
      return value;
    case VarintResult::End:
      QvErrorHandler::Warning("end of file reached in QVBReadDataLength(Pellar::qvistream &)");
      return 0;
    case VarintResult::Corrupt:
      break;
  }
  QvErrorHandler::Warning("data size corrupt in QvBinary file");
  return 0;
}

// The explicit name's length after a 0 code; false (reported) when unusable.
template <class Source>
bool ReadNameLength(Source& in, std::uint64_t& length) {
  if (in.peek() < 0) return false;
  length = ReadLength(in, UINT32_MAX);
  if (length == 0 || length > kQVBMaxTagName) {
    QvErrorHandler::Warning("error occurred while reading tag in QvBinary file (len = %d)", static_cast<int>(length));
    return false;
  }
  return true;
}

bool Writable(std::string_view name) { return !name.empty() && name.size() <= kQVBMaxTagName; }

}  // namespace

const char* QVBReturnText(unsigned code) {
  static constexpr const char* kTexts[] = {"Success",         "No Parent Class",     "Check Failed",
                                           "Stream Failed",   "Incorrect Size",      "Continue",
                                           "Read Tag Failed", "Corrupt Header",      "End of File",
                                           "Read Length Failed", "Type Check Failed", "Incorrect Handler Type"};
  return code < std::size(kTexts) ? kTexts[code] : "Unknown QVBReturn Error";
}

std::uint8_t QVBTagCode(std::string_view name) {
  if (name.size() < 6 || name.size() > 32) return 0;
  for (std::size_t code = 1; code < kTagNames.size(); ++code)
    if (name == kTagNames[code]) return static_cast<std::uint8_t>(code);
  return 0;
}

std::string_view QVBTagName(std::uint8_t code) { return code < kTagNames.size() ? kTagNames[code] : ""; }

bool QVBCursor::long_varint(std::uint64_t& value, std::uint64_t maximum) {
  // Two bytes, the most common of the longer forms (lengths of 128 bytes
  // and up, numbers of a few thousand): what the loop below does for them.
  if (left() >= 2 && !(p_[0] & 0x80) && (p_[1] & 0x80)) {
    value = p_[0] | static_cast<std::uint64_t>(p_[1] & 0x7F) << 7;
    p_ += 2;
    return value <= maximum;
  }
  return DecodeVarint(*this, maximum, value) == VarintResult::Ok;
}

std::uint64_t QVBReadDataLength(Pellar::qvistream& in, std::uint64_t maximum, bool* ended) {
  return ReadLength(in, maximum, ended);
}
std::uint64_t QVBReadDataLength(QVBCursor& in, std::uint64_t maximum, bool* ended) {
  return ReadLength(in, maximum, ended);
}

void QVBAppendVarint(std::string& out, std::uint64_t value) {
  while (value >= 0x80) {
    out.push_back(static_cast<char>(value & 0x7F));
    value >>= 7;
  }
  out.push_back(static_cast<char>(value | 0x80));
}

bool QVBWriteDataLength(Pellar::qvostream& out, std::uint32_t length) { return QVBWriteDataLength64(out, length); }

bool QVBWriteDataLength64(Pellar::qvostream& out, std::uint64_t length) {
  std::string bytes;
  QVBAppendVarint(bytes, length);
  return out.write(bytes.data(), bytes.size());
}

namespace {

// The code byte and, after a 0, the explicit name's length; false at the end
// of input and for an unusable length.
template <class Source>
bool ReadTagHead(Source& in, std::uint8_t& code, std::uint64_t& length) {
  const int byte = in.get();
  if (byte < 0) return false;
  code = static_cast<std::uint8_t>(byte);
  return code != 0 || ReadNameLength(in, length);
}

}  // namespace

bool QVBReadTag(Pellar::qvistream& in, std::string& name, std::uint8_t& code) {
  std::uint64_t length = 0;
  if (!ReadTagHead(in, code, length)) return false;
  name.clear();
  if (code != 0) return name = QVBTagName(code), true;
  return in.read(name, static_cast<std::size_t>(length)) == length;
}

bool QVBReadTag(QVBCursor& in, std::string_view& name, std::uint8_t& code) {
  std::uint64_t length = 0;
  if (!ReadTagHead(in, code, length)) return false;
  if (code != 0) return name = QVBTagName(code), true;
  return in.take(static_cast<std::size_t>(length), name);
}

bool QVBPeekTag(Pellar::qvistream& in, std::string& name) {
  const int byte = in.peek();
  if (byte < 0) return false;
  name = QVBTagName(static_cast<std::uint8_t>(byte));
  return true;
}

bool QVBAppendTag(std::string& out, std::string_view name) {
  if (!Writable(name)) return false;
  if (const std::uint8_t code = QVBTagCode(name)) {
    out.push_back(static_cast<char>(code));
    return true;
  }
  out.push_back('\0');
  QVBAppendVarint(out, name.size());
  out.append(name);
  return true;
}

bool QVBWriteTag(Pellar::qvostream& out, std::string_view name) {
  std::string bytes;
  return QVBAppendTag(bytes, name) && out.write(bytes.data(), bytes.size());
}

bool QVBWriteTag(Pellar::qvostream& out, std::uint8_t code, std::string_view name) {
  std::string bytes(1, static_cast<char>(code));
  if (code == 0 && !name.empty()) {
    if (!Writable(name)) return false;
    QVBAppendVarint(bytes, name.size());
    bytes.append(name);
  }
  return out.write(bytes.data(), bytes.size());
}

bool QVBAppendRecord(std::string& out, std::string_view tag, std::string_view payload) {
  if (payload.empty() || !QVBAppendTag(out, tag)) return false;
  QVBAppendVarint(out, payload.size());
  out.append(payload);
  return true;
}

}  // namespace Sorvil
