// InChI and InChIKey through the IUPAC InChI library.
//
// A record of the INCHI format is one line: the InChI, then optionally
// blanks and a title. Writing gives the InChI (or, for INCHIKEY, its key)
// alone on its line. The library works on connectivity, charges, isotopes
// and hydrogen counts; stereo goes in and comes out as 0D parities, so the
// writer states the molecule's stored configurations (from 3D coordinates
// when a 3D molecule has none perceived) and the reader stores what the
// InChI says. Allene stereo and radicals have no place in the molecule and
// are dropped on reading.
//
// The library keeps global state and is not reentrant: every call into it
// is serialised here.
//
// Output flavor bits (the default, 0x82, gives standard InChI with its
// stereo layers and passes the library's warnings on). Bits 0x01, 0x04,
// 0x08, 0x10, 0x20 and 0x40 ask for layers or conventions outside standard
// InChI, so the result begins "InChI=1/" and its key carries "NA" in place
// of "SA" before its last hyphen:
//   0x01  FixedH   fixed-hydrogen layer (tautomers told apart)
//   0x02           stereo layers; without it the library is told -SNon
//   0x04  RecMet   reconnected layer for bonds to metals
//   0x08  KET      keto-enol tautomerism
//   0x10  15T      1,5-tautomerism
//   0x20  SUU      undefined stereo centres marked '?' rather than omitted
//   0x40  SLUUD    unknown and undefined stereo marked apart
//   0x80           the library's warnings reach the error handler (its
//                  errors always do)
#pragma once

#include <string>
#include <string_view>

namespace Tamrin {

class QvMolBase;

namespace QvOFlavor::INCHI {
inline constexpr unsigned FixedH = 0x01;
inline constexpr unsigned Stereo = 0x02;
inline constexpr unsigned RecMet = 0x04;
inline constexpr unsigned KET = 0x08;
inline constexpr unsigned T15 = 0x10;
inline constexpr unsigned SUU = 0x20;
inline constexpr unsigned SLUUD = 0x40;
inline constexpr unsigned Warnings = 0x80;
}  // namespace QvOFlavor::INCHI

// The InChI of `mol` under the flavor bits above, or false when the library
// makes none (its error goes to the error handler with the molecule's title,
// as do its warnings under bit 0x80). A molecule without atoms has none.
bool QvCreateInChI(std::string& out, const QvMolBase& mol, unsigned flavor);

// The InChIKey of an InChI; false, with a warning naming `title`, when the
// text is no InChI.
bool QvInChIKey(std::string& key, const std::string& inchi, const char* title);

// Replaces the atoms and bonds of `mol` (which the caller has cleared) by
// the structure of `inchi`: atoms with charges and isotopes, hydrogens as
// implicit counts (isotopic ones as hydrogen atoms), bond orders as the
// library gives them (alternating bonds kekulized) and the tetrahedral and
// cis/trans configurations, with the stereo perception bits set. False,
// after a warning that names `title` and gives the library's reason, when
// the text is no InChI the library can read; the library's warnings about
// an InChI it does read are passed on too ("InChI warning for molecule").
bool QvParseInChI(QvMolBase& mol, std::string_view inchi, const char* title);

}  // namespace Tamrin
