// Plugs the XYZ reader and writer into the molecule streams.
#include <memory>

#include "pellar/qvstream.h"
#include "tamrin/formats/xyz/xyz.h"
#include "tamrin/formats/xyz/xyztokenizer.h"
#include "tamrin/streams/flavor.h"
#include "tamrin/streams/formatio.h"
#include "tamrin/streams/molstream.h"

namespace Tamrin {

namespace {

namespace XYZFlavor {
inline constexpr unsigned Charges = 0x1;
inline constexpr unsigned Symbols = 0x2;
}  // namespace XYZFlavor

bool ReadXYZ(qvmolistream& in, QvMolBase& mol, unsigned) { return QvXYZReadFxn(in, mol); }

int WriteXYZ(qvmolostream& out, const QvMolBase& mol, unsigned options) {
  QvXYZWriteFxn(out.GetStream(), mol, options & XYZFlavor::Charges, options & XYZFlavor::Symbols,
                options & QvOFlavor::XYZ::DoublePrecision);
  return 0;
}

std::unique_ptr<QvMolTokenizer> MakeTokenizer(unsigned) { return std::make_unique<QvXYZTokenizer>(); }

const QvFormatRegistration registration({QvFormat::XYZ}, ReadXYZ, WriteXYZ);
[[maybe_unused]] const QvTokenizerFactory previous_tokenizer = QvRegisterTokenizer(QvFormat::XYZ, MakeTokenizer);

}  // namespace

}  // namespace Tamrin
