#include "tamrin/streams/flavor.h"

#include <bit>

#include "tamrin/streams/formatinfo.h"

namespace Tamrin {

namespace {

using namespace QvIFlavor::Generic;

bool GenericBitsValid(unsigned flavor) { return std::popcount(flavor & AromMask) <= 1; }

}  // namespace

unsigned QvDefaultInputFlavor(QvFormat format) { return QvGetFormatInfo(format).default_iflavor; }

unsigned QvDefaultOutputFlavor(QvFormat format) { return QvGetFormatInfo(format).default_oflavor; }

bool QvInputFlavorValid(QvFormat format, unsigned flavor) {
  const QvFormatInfo& info = QvGetFormatInfo(format);
  return info.readable && GenericBitsValid(flavor) && info.iflavor_valid && info.iflavor_valid(flavor & FormatMask);
}

// Output words are judged without the ring bit.
bool QvOutputFlavorValid(QvFormat format, unsigned flavor) {
  const QvFormatInfo& info = QvGetFormatInfo(format);
  return info.writable && GenericBitsValid(flavor) && info.oflavor_valid && info.oflavor_valid(flavor & ~Rings);
}

QvAromaticityModel QvAromaticityModelOf(unsigned flavor, unsigned fallback) {
  switch (flavor & AromMask) {
    case AromMDL: return {5};
    case AromForceField: return {4, 6, true};
    case AromTripos: return {3};
    case AromHuckel: return {2};
    case AromStrict: return {1};
    default: return {fallback};
  }
}

}  // namespace Tamrin
