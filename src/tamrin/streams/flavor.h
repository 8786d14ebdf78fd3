// Flavor words: per-format options of the molecule streams.
//
// A flavor is a 32-bit word. Bits 0x4000 to 0x80000 mean the same for every
// format (ring perception and the aromaticity model applied after reading);
// the format part, mask 0x3FFF, means something different for each format.
// Each stream keeps one input or output flavor per format code.
#pragma once

#include "tamrin/perception/aromaticity.h"
#include "tamrin/streams/format.h"

namespace Tamrin {

namespace QvIFlavor {
namespace Generic {
inline constexpr unsigned FormatMask = 0x3FFF;
// Ring-membership perception on every molecule read.
inline constexpr unsigned Rings = 0x4000;
// Aromaticity model selection: at most one of these.
inline constexpr unsigned AromMDL = 0x8000;
inline constexpr unsigned AromForceField = 0x10000;
inline constexpr unsigned AromTripos = 0x20000;
inline constexpr unsigned AromHuckel = 0x40000;
inline constexpr unsigned AromStrict = 0x80000;
inline constexpr unsigned AromMask = 0xF8000;
}  // namespace Generic
}  // namespace QvIFlavor

namespace QvOFlavor {
namespace Generic {
inline constexpr unsigned FormatMask = QvIFlavor::Generic::FormatMask;
inline constexpr unsigned Rings = QvIFlavor::Generic::Rings;
inline constexpr unsigned AromMask = QvIFlavor::Generic::AromMask;
}  // namespace Generic
}  // namespace QvOFlavor

// The flavors a new stream starts with, from the formats' records; 0x4000
// for codes without one.
unsigned QvDefaultInputFlavor(QvFormat format);
unsigned QvDefaultOutputFlavor(QvFormat format);

// Validity for a readable or writable format by its record's rule, after
// the generic one (one aromaticity model at most); false for any other
// code. Output validity is judged on the word without bit 0x4000. Neither
// warns.
bool QvInputFlavorValid(QvFormat format, unsigned flavor);
bool QvOutputFlavorValid(QvFormat format, unsigned flavor);

// Model 1 to 5 from the generic bits (0x80000 to 0x8000), model 4 with the
// arguments 6 and true; `fallback` when no model bit is set.
QvAromaticityModel QvAromaticityModelOf(unsigned flavor, unsigned fallback = 2);

}  // namespace Tamrin
