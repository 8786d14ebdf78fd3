// The registry of record read functions, and the one step that reads a record
// into an object: find the function registered for the record's tag and the
// caller's target class, or keep the record's bytes on the object as generic
// data (QvUnknownQVBData) so that writing the object reproduces it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sorvil/base/qvbase.h"
#include "sorvil/binary/qvbrecord.h"

namespace Pellar {
class qvistream;
}

namespace Sorvil {

class QvBinaryIOHandler;

// A record this system has no read function for: the whole record (tag,
// length, payload) exactly as it was read.
struct QvUnknownQVBData {
  std::string record;
  bool operator==(const QvUnknownQVBData&) const = default;
};

class QvReadFxnBase {
 public:
  QvReadFxnBase(std::string_view name, QvTypeId target) : name_(name), target_(target) {}
  virtual ~QvReadFxnBase();
  std::string_view GetName() const { return name_; }
  QvTypeId GetTarget() const { return target_; }
  // Reads one payload (the cursor holds exactly its bytes) into `target`,
  // which is of the class GetTarget() names.
  virtual QVBReturn Read(QVBCursor& payload, QvBase& target, const QvBinaryIOHandler& handler) const = 0;

 private:
  std::string_view name_;
  QvTypeId target_;
};

// A read function over a target class T.
template <class T>
class QvReadFxn final : public QvReadFxnBase {
 public:
  using Fxn = QVBReturn (*)(QVBCursor& payload, T& target, const QvBinaryIOHandler& handler);
  // `target` may name a class derived from T, for records that several
  // kinds of object share.
  QvReadFxn(std::string_view name, Fxn fxn, QvTypeId target = T::TypeId) : QvReadFxnBase(name, target), fxn_(fxn) {}
  QVBReturn Read(QVBCursor& payload, QvBase& target, const QvBinaryIOHandler& handler) const override {
    return fxn_(payload, static_cast<T&>(target), handler);
  }

 private:
  Fxn fxn_;
};

class QvBinaryIOHandler {
 public:
  // Functions are asked in registration order; they must outlive the handler.
  void Register(const QvReadFxnBase& fxn);

  // One record from `in` into `target`, read as the class `type` (see the
  // steps in the .cpp). Returns the first failing code.
  QVBReturn ReadRecord(QVBCursor& in, QvBase& target, QvTypeId type) const;
  // Every record left in `in`, stopping at the first that fails.
  QVBReturn ReadRecords(QVBCursor& in, QvBase& target, QvTypeId type) const;
  // One top-level record from a byte stream. `buffer` is the caller's scratch
  // for the payload, which grows only as bytes arrive, so a length that
  // promises more than the input holds costs no more than the input.
  // `lost`, when given, tells whether the record's framing failed, so that
  // the next record cannot be found.
  QVBReturn ReadRecord(Pellar::qvistream& in, QvBase& target, QvTypeId type, std::string& buffer,
                       bool* lost = nullptr) const;

 private:
  // Reads a record with a coded tag that lies whole in the stream's buffer
  // there, giving its code in `result`; false, consuming nothing, for any
  // other record.
  bool ReadBuffered(Pellar::qvistream& in, QvBase& target, QvTypeId type, bool& framing, QVBReturn& result) const;

  // ReadRecord's steps, for it and for ReadRecords.
  QVBReturn ReadChild(QVBCursor& in, QvBase& target, QvTypeId type) const;
  // `name` may be empty for a tag given by its code.
  QVBReturn Dispatch(std::string_view name, std::uint8_t code, std::string_view record, QVBCursor& payload,
                     QvBase& target, QvTypeId type) const;

  static constexpr std::uint16_t kNoFxn = UINT16_MAX;

  // The function of the common case, the first registered for a coded tag
  // reading into `type`; null for code 0 and every other case.
  const QvReadFxnBase* FirstFxn(std::uint8_t code, QvTypeId type) const {
    const FirstOfCode& first = first_by_code_[code];
    return code != 0 && first.target == type ? first.fxn : nullptr;
  }

  std::vector<const QvReadFxnBase*> fxns_;
  // The functions of one code in registration order: the first one, with
  // its target class at hand, and after each the next (kNoFxn ends the
  // chain). A coded tag is matched by its chain alone, most often by the
  // first function.
  struct FirstOfCode {
    QvTypeId target = 0;
    const QvReadFxnBase* fxn = nullptr;
    std::uint16_t index = kNoFxn;
  };
  std::array<FirstOfCode, 256> first_by_code_{};
  std::vector<std::uint16_t> next_by_code_;
};

// Appends exactly `length` bytes of `in` to `buffer`; false when fewer came.
bool QVBReadPayload(Pellar::qvistream& in, std::uint64_t length, std::string& buffer);

}  // namespace Sorvil

QV_DATA_TYPE(Sorvil::QvUnknownQVBData, "Sorvil::QvUnknownQVBData")
