// Molecule file formats known to the molecule streams: one code per format.
// What each format is (its description, whether it can be read and written,
// the file extensions that select it) is in its record (formatinfo.h); the
// functions here answer from the records.
//
// Codes are stable (they are stored in configuration records and crossed into
// Python as plain numbers); codes of MAXFORMAT or more are not formats.
#pragma once

#include <cstdint>

namespace Tamrin {

enum class QvFormat : std::uint32_t {
  UNDEFINED = 0,
  SMI = 1,
  MDL = 2,
  PDB = 3,
  MOL2 = 4,
  USM = 5,
  ISM = 6,
  MOL2H = 7,
  SDF = 8,
  CAN = 9,
  MF = 10,
  XYZ = 11,
  FASTA = 12,
  MOPAC = 13,
  QVB = 14,
  MMOD = 15,
  SLN = 16,
  RDF = 17,
  CDX = 18,
  SKC = 19,
  INCHI = 20,
  INCHIKEY = 21,
  CSV = 22,
  JSON = 23,
  CIF = 24,
  QVZ = 25,
  MMCIF = 26,
  CXSMILES = 27,
  MAXFORMAT = 28,
};

inline constexpr unsigned kQvNumFormats = static_cast<unsigned>(QvFormat::MAXFORMAT);

constexpr unsigned QvFormatCode(QvFormat format) { return static_cast<unsigned>(format); }
constexpr bool QvFormatInRange(QvFormat format) { return QvFormatCode(format) < kQvNumFormats; }

// The extension inside `name`: the text after the last '.' that follows the
// last path separator, where a final ".gz" (any case) does not count as a
// dot of its own, so "a.sdf.gz" gives "sdf.gz" and "a.gz" gives null.
const char* QvExtensionOf(const char* name);
// True for ".sdf" or ".sdf.gz": a name that is nothing but an extension.
bool QvIsBareExtension(const char* name);
// True when `name` ends in ".gz", any case.
bool QvNameIsGzip(const char* name);

// The format an extension selects, compared lower-cased up to its first '.'
// ("SDF.gz" selects SDF); "pdb" followed only by digits selects PDB.
// UNDEFINED for null, empty or unknown extensions.
QvFormat QvFormatFromExtension(const char* ext);

bool QvFormatReadable(QvFormat format);
bool QvFormatWritable(QvFormat format);

// The display name ("MDL SDF"). Out of range: warns "Stream format tag out of
// range %d" and returns "".
const char* QvFormatDescription(QvFormat format);

}  // namespace Tamrin
