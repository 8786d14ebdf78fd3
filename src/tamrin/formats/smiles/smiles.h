// SMILES: one molecule (or reaction) per line as a line notation, optionally
// followed by a CXSMILES-style block and a title.
//
// Reading and writing normally go through QvReadMolecule and QvWriteMolecule
// (formats SMI, USM, ISM, CAN and CXSMILES), with which this folder registers
// itself; the functions here are what those call, and what other formats
// with SMILES fields (CSV, JSON) use directly.
#pragma once

#include <string>
#include <string_view>

namespace Tamrin {

class QvMolBase;

struct QvSmilesParseOptions {
  // Keep the parsed bond orders: aromatic bonds stay order 5 (with a
  // warning) instead of being kekulized.
  bool noKekulization = false;
  // Refuse the permissive extensions (bare H/D/T atoms, "b", "&" labels,
  // "{x}" annotations, "H0", leading zeros, stray symbols, leading blanks).
  bool strict = false;
  // No parse-error or kekulization messages.
  bool quiet = false;
  // Look for a "|...|" block of enhanced stereo groups after the SMILES.
  bool cx = false;
};

// Appends the atoms and bonds of `text` to `mol` (which is not cleared) and
// replaces its title with what follows the SMILES. False for a grammar
// error (the molecule keeps what was built, with open ring closures ended
// on wildcard atoms) or a failed kekulization; never throws for bad input.
// On success the atom and bond stereo perception bits are set.
bool QvParseSmiles(QvMolBase& mol, std::string_view text, const QvSmilesParseOptions& options);
bool QvParseSmiles(QvMolBase& mol, const std::string& text, bool noKekulization, bool strict);

// What the SMILES readers do after a parse: drops the cis/trans
// configuration of double bonds in rings of up to 6 atoms, which can only be
// cis.
void QvClearSmallRingBondStereo(QvMolBase& mol);

// Flags of QvCreateSmiString; the default is QvSmiDefault.
namespace QvSmiFlag {
inline constexpr unsigned Isotopes = 0x0001;
// Keep hydrogen atoms as atoms (no folding into hydrogen counts).
inline constexpr unsigned KeepHydrogens = 0x0002;
inline constexpr unsigned RGroups = 0x0004;
inline constexpr unsigned AtomStereo = 0x0008;
inline constexpr unsigned BondStereo = 0x0010;
inline constexpr unsigned AtomMaps = 0x0020;
inline constexpr unsigned Canonical = 0x0040;
inline constexpr unsigned Kekule = 0x0080;
inline constexpr unsigned AtomNames = 0x0100;
inline constexpr unsigned HydrogenBrackets = 0x0400;
inline constexpr unsigned ExplicitBonds = 0x0800;
inline constexpr unsigned CXBlock = 0x1000;
}  // namespace QvSmiFlag
inline constexpr unsigned QvSmiDefault = 0x7D;

// Extra text written after a bond's symbol (a bond's index to its text);
// callers use it to annotate bonds for their own readers.
class QvSmiBondAnnotations {
 public:
  virtual ~QvSmiBondAnnotations() = default;
  // Text for the bond, or null for none.
  virtual const char* Annotation(unsigned bond_idx) const = 0;
};

// Writes `mol` as one SMILES string into `out`. False, with `out` empty and
// a warning naming the molecule, when the walk fails (more than 99 ring
// closures open at once).
bool QvCreateSmiString(std::string& out, const QvMolBase& mol);
bool QvCreateSmiString(std::string& out, const QvMolBase& mol, unsigned flags,
                       const QvSmiBondAnnotations* annotations = nullptr);

}  // namespace Tamrin
