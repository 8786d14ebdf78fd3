#include "sorvil/binary/qvbhandler.h"

#include <algorithm>

#include "pellar/qvstream.h"
#include "sorvil/binary/qvbrecord.h"

namespace Sorvil {

QvReadFxnBase::~QvReadFxnBase() = default;

namespace {

constexpr std::uint64_t kMaxLength = UINT32_MAX;
// Payloads are read in steps of this size, so that memory follows the data
// actually present rather than the length a record claims.
constexpr std::size_t kReadStep = std::size_t{1} << 20;

}  // namespace

bool QVBReadPayload(Pellar::qvistream& in, std::uint64_t length, std::string& buffer) {
  const std::size_t start = buffer.size();
  while (buffer.size() - start < length) {
    const std::size_t step =
        static_cast<std::size_t>(std::min<std::uint64_t>(length - (buffer.size() - start), kReadStep));
    const std::size_t old = buffer.size();
    buffer.resize(old + step);
    const std::size_t got = in.read(buffer.data() + old, step);
    if (got != step) {
      buffer.resize(old + got);
      return false;
    }
  }
  return true;
}

void QvBinaryIOHandler::Register(const QvReadFxnBase& fxn) {
  const auto index = static_cast<std::uint16_t>(fxns_.size());
  fxns_.push_back(&fxn);
  next_by_code_.push_back(kNoFxn);
  FirstOfCode& first = first_by_code_[QVBTagCode(fxn.GetName())];
  if (first.index == kNoFxn) {
    first = {fxn.GetTarget(), &fxn, index};
    return;
  }
  std::uint16_t* link = &first.index;
  while (*link != kNoFxn) link = &next_by_code_[*link];
  *link = index;
}

QVBReturn QvBinaryIOHandler::Dispatch(std::string_view name, std::uint8_t code, std::string_view record,
                                      QVBCursor& payload, QvBase& target, QvTypeId type) const {
  // A coded tag names the function's name exactly when the codes agree.
  if (code != 0) {
    if (const QvReadFxnBase* fxn = FirstFxn(code, type)) return fxn->Read(payload, target, *this);
    for (std::uint16_t i = first_by_code_[code].index; i != kNoFxn; i = next_by_code_[i])
      if (fxns_[i]->GetTarget() == type) return fxns_[i]->Read(payload, target, *this);
    name = QVBTagName(code);
  } else {
    for (const QvReadFxnBase* fxn : fxns_)
      if (fxn->GetTarget() == type && fxn->GetName() == name) return fxn->Read(payload, target, *this);
  }
  // Kept under the tag of its name, so that writing the object again
  // reproduces the record.
  const QvTag tag = QvGetTag(name);
  if (tag == QvNoTag) return QVBIncorrectHandlerType;
  target.AddData(tag, QvUnknownQVBData{std::string(record)});
  return QVBSuccess;
}

// 1. The tag: a failure, or code 0 without a name, is 6; the end of input
//    right after it is 8.
// 2. The length: 0 (a failed read) is 9, or 8 when the input is exhausted.
// 3. The payload: fewer bytes than the length is 4.
// 4. The first registered function for the tag and `type`, or the record is
//    kept as unknown data.
// Inlined into ReadRecord and into the loop over a record's children.
[[gnu::always_inline]] inline QVBReturn QvBinaryIOHandler::ReadChild(QVBCursor& in, QvBase& target,
                                                                    QvTypeId type) const {
  const unsigned char* start = in.pos();
  std::string_view name;
  std::uint8_t code = 0;
  // Child records mostly have a coded tag and a payload below 128 bytes,
  // a length of one byte: both are read here.
  if (in.peek() > 0) {
    code = static_cast<std::uint8_t>(in.get());
  } else if (!QVBReadTag(in, name, code) || (code == 0 && name.empty())) {
    return QVBReadTagFailed;
  }
  if (in.at_end()) return QVBEndOfFile;
  std::uint64_t length = 0;
  if (in.peek() > 0x80) {
    length = static_cast<unsigned>(in.get()) & 0x7F;
  } else {
    bool ended = false;
    length = QVBReadDataLength(in, kMaxLength, &ended);
    if (length == 0) return ended ? QVBEndOfFile : QVBReadLengthFailed;
  }
  const unsigned char* bytes = nullptr;
  if (!in.take(static_cast<std::size_t>(length), bytes)) return QVBIncorrectSize;
  QVBCursor payload(bytes, static_cast<std::size_t>(length));
  if (const QvReadFxnBase* fxn = FirstFxn(code, type)) return fxn->Read(payload, target, *this);
  const std::string_view record(reinterpret_cast<const char*>(start), static_cast<std::size_t>(in.pos() - start));
  return Dispatch(name, code, record, payload, target, type);
}

QVBReturn QvBinaryIOHandler::ReadRecord(QVBCursor& in, QvBase& target, QvTypeId type) const {
  return ReadChild(in, target, type);
}

QVBReturn QvBinaryIOHandler::ReadRecords(QVBCursor& in, QvBase& target, QvTypeId type) const {
  while (!in.at_end())
    if (const QVBReturn result = ReadChild(in, target, type); result != QVBSuccess) return result;
  return QVBSuccess;
}

// Inlined into its one caller, ReadRecord, with the common record's read
// function called straight from here.
[[gnu::always_inline]] inline bool QvBinaryIOHandler::ReadBuffered(Pellar::qvistream& in, QvBase& target,
                                                                  QvTypeId type, bool& framing,
                                                                  QVBReturn& result) const {
  const std::string_view ahead = in.lookahead();
  QVBCursor head(ahead);
  std::uint64_t length = 0;
  if (head.peek() <= 0) return false;
  const auto code = static_cast<std::uint8_t>(head.get());
  // A length cut off by the buffer's end, or a bad one, is left to the
  // stream reader below, which reports it.
  if (!head.varint(length, kMaxLength) || length == 0 || length > head.left()) return false;
  const auto header = static_cast<std::size_t>(head.pos() - reinterpret_cast<const unsigned char*>(ahead.data()));
  const std::string_view record = ahead.substr(0, header + static_cast<std::size_t>(length));
  QVBCursor payload(record.substr(header));
  // Taken as the stream reader would; the bytes stay in place until the
  // next read of the stream, which no read function makes.
  in.skip(static_cast<std::int64_t>(record.size()));
  framing = false;
  const QvReadFxnBase* fxn = FirstFxn(code, type);
  result = fxn ? fxn->Read(payload, target, *this) : Dispatch({}, code, record, payload, target, type);
  return true;
}

QVBReturn QvBinaryIOHandler::ReadRecord(Pellar::qvistream& in, QvBase& target, QvTypeId type, std::string& buffer,
                                        bool* lost) const {
  bool ignored = false;
  bool& framing = lost ? *lost : ignored;
  framing = true;
  // Most records lie whole in the stream's buffer: read there, uncopied.
  if (QVBReturn result = QVBSuccess; ReadBuffered(in, target, type, framing, result)) return result;
  std::string name;
  std::uint8_t code = 0;
  if (!QVBReadTag(in, name, code) || (code == 0 && name.empty())) return QVBReadTagFailed;
  if (in.peek() < 0) return QVBEndOfFile;
  bool ended = false;
  const std::uint64_t length = QVBReadDataLength(in, kMaxLength, &ended);
  if (length == 0) return ended ? QVBEndOfFile : QVBReadLengthFailed;
  // The record is kept whole for an unknown tag: its header in canonical
  // form, then the payload.
  buffer.clear();
  if (code != 0) {
    buffer.push_back(static_cast<char>(code));
  } else if (!QVBAppendTag(buffer, name)) {
    return QVBReadTagFailed;
  }
  QVBAppendVarint(buffer, length);
  const std::size_t header = buffer.size();
  if (!QVBReadPayload(in, length, buffer)) return QVBIncorrectSize;
  framing = false;
  QVBCursor cursor(buffer.data() + header, buffer.size() - header);
  return Dispatch(name, code, buffer, cursor, target, type);
}

}  // namespace Sorvil
