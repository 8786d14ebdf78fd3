#include "tamrin/streams/formatio.h"

#include <array>
#include <atomic>

namespace Tamrin {

namespace {

// Constant-initialised, so registrations from any static initialiser find
// the table ready whatever the order of initialisation.
template <class Fxn>
struct Slots {
  std::array<std::atomic<Fxn>, kQvNumFormats> slot{};

  Fxn exchange(QvFormat format, Fxn fxn) {
    return QvFormatInRange(format) ? slot[QvFormatCode(format)].exchange(fxn) : nullptr;
  }
  Fxn get(QvFormat format) const {
    return QvFormatInRange(format) ? slot[QvFormatCode(format)].load() : nullptr;
  }
};

constinit Slots<QvMolReadFxn> readers;
constinit Slots<QvMolWriteFxn> writers;
constinit Slots<QvTokenizerFactory> tokenizers;
constinit Slots<QvMCMolReadFxn> mc_readers;
constinit Slots<QvMCMolWriteFxn> mc_writers;

}  // namespace

QvMolReadFxn QvRegisterMolReader(QvFormat format, QvMolReadFxn read) { return readers.exchange(format, read); }
QvMolWriteFxn QvRegisterMolWriter(QvFormat format, QvMolWriteFxn write) { return writers.exchange(format, write); }
QvTokenizerFactory QvRegisterTokenizer(QvFormat format, QvTokenizerFactory make) {
  return tokenizers.exchange(format, make);
}

QvMCMolReadFxn QvRegisterMCMolReader(QvFormat format, QvMCMolReadFxn read) {
  return mc_readers.exchange(format, read);
}
QvMCMolWriteFxn QvRegisterMCMolWriter(QvFormat format, QvMCMolWriteFxn write) {
  return mc_writers.exchange(format, write);
}

QvMolReadFxn QvGetMolReader(QvFormat format) { return readers.get(format); }
QvMolWriteFxn QvGetMolWriter(QvFormat format) { return writers.get(format); }
QvTokenizerFactory QvGetTokenizer(QvFormat format) { return tokenizers.get(format); }
QvMCMolReadFxn QvGetMCMolReader(QvFormat format) { return mc_readers.get(format); }
QvMCMolWriteFxn QvGetMCMolWriter(QvFormat format) { return mc_writers.get(format); }

QvFormatRegistration::QvFormatRegistration(std::initializer_list<QvFormat> formats, QvMolReadFxn read,
                                           QvMolWriteFxn write) {
  for (QvFormat format : formats) {
    if (read) QvRegisterMolReader(format, read);
    if (write) QvRegisterMolWriter(format, write);
  }
}

}  // namespace Tamrin
