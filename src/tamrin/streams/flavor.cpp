#include "tamrin/streams/flavor.h"

#include <bit>

namespace Tamrin {

namespace {

using F = QvFormat;
using namespace QvIFlavor::Generic;

// Output words are judged without the ring bit.
constexpr unsigned Plain(unsigned flavor) { return flavor & ~Rings; }

}  // namespace

unsigned QvDefaultInputFlavor(QvFormat format) {
  switch (format) {
    case F::PDB: return 0x7F16;
    case F::MOL2H: return 0x4001;
    case F::XYZ: return 0x401F;
    case F::CDX: return 0x4001;
    case F::CSV: return 0x4001;
    case F::CIF: return 0x41FF;
    case F::MMCIF: return 0x403F;
    default: return 0x4000;
  }
}

unsigned QvDefaultOutputFlavor(QvFormat format) {
  switch (format) {
    case F::SMI:
    case F::ISM: return 0x407D;
    case F::USM: return 0x4024;
    case F::CAN: return 0x4064;
    case F::CXSMILES: return 0x507D;
    case F::MDL:
    case F::SDF: return 0x4117;
    case F::RDF: return 0x4017;
    case F::PDB: return 0x6744;
    case F::MOL2: return 0x400F;
    case F::MOL2H: return 0x401F;
    case F::MF:
    case F::CDX: return 0x4001;
    case F::XYZ: return 0x4003;
    case F::MOPAC: return 0x4002;
    case F::MMOD: return 0x4001;
    case F::INCHI:
    case F::INCHIKEY: return 0x4082;
    case F::CSV: return 0x4001;
    case F::JSON: return 0x4397;
    default: return 0x4000;
  }
}

namespace {

bool GenericBitsValid(unsigned flavor) { return std::popcount(flavor & AromMask) <= 1; }

bool InputFormatPartValid(QvFormat format, unsigned part) {
  switch (format) {
    case F::SMI:
    case F::CXSMILES:
    case F::MOL2:
    case F::FASTA: return part <= 3;
    case F::MDL:
    case F::SDF:
    case F::RDF: return part <= 15;
    case F::PDB:
    case F::JSON: return true;
    case F::MOL2H:
    case F::CSV: return part <= 1;
    case F::USM:
    case F::ISM:
    case F::CAN:
    case F::QVB:
    case F::QVZ:
    case F::SKC:
    case F::INCHI: return part == 0;
    case F::XYZ: return part <= 31;
    case F::MMOD: return part == 0 || part == 0x80;
    case F::CDX: return part == 1;
    case F::CIF: return part == 0x1FF;
    case F::MMCIF: return part <= 0x7F;
    default: return false;
  }
}

// `v` is the whole word without bit 0x4000.
bool OutputValueValid(QvFormat format, unsigned v) {
  switch (format) {
    case F::SMI:
    case F::ISM:
    case F::USM:
    case F::CAN:
    case F::CXSMILES: return (v & 0x2000) == 0;
    case F::MDL:
    case F::SDF: return (v & 0x70) != 0;
    case F::PDB: return (v & ~0x7FFFu) == 0;
    case F::MOL2:
    case F::INCHI:
    case F::INCHIKEY: return (v & 0x3F00) == 0;
    case F::MOL2H: return (v & 0x3FC0) == 0;
    case F::MF:
    case F::CDX:
    case F::MMOD: return v <= 1;
    case F::XYZ: return (v & ~0xFu) == 0 && (v & 0xC) != 0xC;
    case F::FASTA:
    case F::QVB:
    case F::QVZ: return v == 0;
    case F::MOPAC: return v <= 3;
    case F::SLN:
    case F::CIF: return (v & FormatMask) == 0;
    case F::CSV: return v == 1;
    case F::JSON: return true;
    case F::MMCIF: return (v & FormatMask) <= 1;
    default: return false;
  }
}

}  // namespace

bool QvInputFlavorValid(QvFormat format, unsigned flavor) {
  return QvFormatReadable(format) && GenericBitsValid(flavor) &&
         InputFormatPartValid(format, flavor & FormatMask);
}

bool QvOutputFlavorValid(QvFormat format, unsigned flavor) {
  return QvFormatWritable(format) && GenericBitsValid(flavor) && OutputValueValid(format, Plain(flavor));
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
