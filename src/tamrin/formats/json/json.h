// CommonChem JSON: {"commonchem": {"version": 10}, "defaults": {...},
// "molecules": [...]}, the molecule interchange layout that RDKit reads and
// writes (its own "rdkitjson" header is read as well).
//
// The input is one document, or several one after another (the writer puts
// one document per line), each with any number of molecules; they are read
// as the molecules are asked for. A molecule becomes one QvMolBase per conformer (its
// first conformer is what the read returns, the others wait in the stream's
// queue) or one multi-conformer molecule. What is read: "name" (the title),
// atoms ("z", "impHs", "chg", "isotope"; "nRad" is checked but the model
// keeps no radicals), bonds ("atoms", "bo" 0 to 4, or 1.5 for an aromatic
// bond left to kekulization; "stereo" "cis"/"trans" with "stereoAtoms"),
// atom "stereo" "cw"/"ccw", conformers ("dim" 2 or 3, "coords") and
// "properties" (as SD data, numbers and booleans as their JSON text).
// Extensions, stereo groups and other members are ignored; the layout has
// no place for reaction roles, which are not written. A stereo value
// is seen along the atom's bonds in the order of the "bonds" array, an
// implicit hydrogen (or lone pair) last. A molecule that states stereo (a
// "stereo" member on it or in the defaults) keeps it; one that does not gets
// its stereo from its coordinates.
//
// Faults: text that is not JSON is reported with its byte offset and the
// reader goes on at the next line that starts with '{'; a document without a
// "molecules" array, or a molecule without what it needs (an "atoms" array,
// atoms and bonds of the right types, bonds between existing atoms,
// coordinates for every atom), is reported by document and molecule number
// and skipped, the other molecules are read.
//
// Writing gives one document per molecule on one line: CommonChem version
// 10 with the standard defaults, Kekulé bond orders, stereo as above, every
// conformer of a multi-conformer molecule, and SD data as string
// "properties". Floats are written in their shortest exact form.
//
// The tokenizer hands out one document per molecule, each with its
// document's defaults, in the writer's layout.
#pragma once

#include <deque>
#include <string>
#include <string_view>

#include "tamrin/streams/tokenizer.h"

namespace Tamrin {

class QvMCMolBase;
class QvMolBase;
class qvmolistream;
class qvmolostream;

// The perception that follows a read, before the flavor's aromaticity
// model (which perceives the rings): when the record stated no stereo and
// has 2D or 3D coordinates, aromaticity model 2 and stereo from them.
void QvFinishJSONMolecule(QvMolBase& mol);

// Reads the next molecule (one per conformer: the conformers after the
// first are queued, finished by QvFinishJSONMolecule and `flavor`'s
// aromaticity model). False when no molecule is left to read.
bool QvJSONReadFxn(qvmolistream& in, QvMolBase& mol, unsigned flavor);
// The same with one multi-conformer molecule per JSON molecule; queued
// molecules are handed out first.
bool QvJSONReadConformersFxn(qvmolistream& in, QvMCMolBase& mol, unsigned flavor);

// One document with the molecule (every conformer of a multi-conformer
// one) and a line end. False, with a warning, when a bond order cannot be
// written (an aromatic bond that does not kekulize, an order above 4).
bool QvJSONWriteFxn(std::string& out, const QvMolBase& mol);

class QvJSONTokenizer : public QvMolTokenizer {
 public:
  bool Next(Pellar::qvistream& in, std::string& record) override;

 private:
  // The input is cut at the first call; the records wait here.
  bool cut_ = false;
  std::deque<std::string> records_;
};

}  // namespace Tamrin
