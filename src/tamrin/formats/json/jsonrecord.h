// The members of a CommonChem document that the reader uses, as plain
// records. Two readers fill them: a scanner for the plain text most files
// hold (what the writer gives, RDKit's output), which declines anything
// else, and the rapidjson document, which takes every text the scanner
// declines. The molecule is built from the records alone, so the two give
// the same molecule and the same faults for every text both accept.
#pragma once

#include <rapidjson/document.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Tamrin::json {

// A member read as an integer: absent, an integer that fits 64 bits, the
// number 1.5 (the aromatic bond order), or any other value.
struct Num {
  enum Kind : std::uint8_t { kAbsent, kInt, kHalf, kOther };
  Kind kind = kAbsent;
  std::int64_t value = 0;
  bool operator==(const Num&) const = default;
};

// A stereo member: absent, one of the words the reader knows, or any other
// value (which still states that the molecule has stereo).
enum class Word : std::uint8_t { kAbsent, kOther, kCw, kCcw, kCis, kTrans };

// An index pair ("atoms" and "stereoAtoms" of a bond); `ok` when it is an
// array of two unsigned 32-bit integers.
struct Pair {
  bool present = false, ok = false;
  std::uint32_t first = 0, second = 0;
  bool operator==(const Pair&) const = default;
};

enum AtomField { kZ, kImpHs, kChg, kIsotope, kNRad, kAtomFields };

struct AtomRecord {
  bool object = true;
  Num field[kAtomFields];
  Word stereo = Word::kAbsent;
  bool operator==(const AtomRecord&) const = default;
};

struct BondRecord {
  bool object = true;
  Pair ends, refs;
  Num order;
  Word stereo = Word::kAbsent;
  bool operator==(const BondRecord&) const = default;
};

// The document's defaults: atom fields, and the bond order and stereo.
struct DefaultsRecord {
  AtomRecord atom;
  Num order;
  Word bond_stereo = Word::kAbsent;
  bool StateStereo() const { return atom.stereo != Word::kAbsent || bond_stereo != Word::kAbsent; }
  bool operator==(const DefaultsRecord&) const = default;
};

// One molecule. The name points into the text or the document, which must
// outlive the record. Conformers and properties are only ever read from the
// document (the scanner declines them): null when there are none.
struct MoleculeRecord {
  enum Array : std::uint8_t { kMissing, kArray, kNotArray };
  bool object = true;
  bool has_name = false;
  std::string_view name;
  Array atoms_state = kMissing, bonds_state = kMissing;
  std::vector<AtomRecord> atoms;
  std::vector<BondRecord> bonds;
  const rapidjson::Value* conformers = nullptr;
  const rapidjson::Value* properties = nullptr;
  bool operator==(const MoleculeRecord&) const = default;
};

// The records of one document; the vectors keep their room between
// documents.
struct DocumentRecord {
  DefaultsRecord defaults;
  std::vector<MoleculeRecord> molecules;
  std::size_t count = 0;  // molecules in use
  // The last "defaults" value the scanner read and its text: a writer gives
  // every document of a file the same defaults, read once.
  std::string defaults_text;
  DefaultsRecord defaults_read;
};

// Reads the document that starts at `text` (no leading white space) into
// `doc` and returns its length, or 0 when it declines: text that is not
// plain (escapes, exponents, conformers, properties, repeated names, no
// "molecules" array) or that runs past the end of `text`.
std::size_t ScanDocument(std::string_view text, DocumentRecord& doc);

// Member `name` of `object`, or null (also when it is no object).
const rapidjson::Value* Member(const rapidjson::Value& object, const char* name);

// The same records from a parsed document: its defaults, and molecule `m`.
void ReadDefaults(const rapidjson::Value& doc, DefaultsRecord& d);
void ReadMoleculeRecord(const rapidjson::Value& m, MoleculeRecord& r);

}  // namespace Tamrin::json
