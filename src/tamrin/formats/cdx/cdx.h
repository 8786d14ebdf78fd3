// ChemDraw CDX: a binary document of tagged objects (document, page, group,
// fragment, node, bond, text, ...) and properties, little-endian, after a
// 22-byte header that begins "VjCD0100".
//
// Records. Each fragment that is not inside a node (an abbreviation's
// structure is) is one molecule, in file order; the pages and groups around
// fragments are looked through, and everything else (captions, arrows,
// reaction steps, drawings) is skipped. A reaction therefore reads as its
// reactants and products, one molecule each, and a mixture drawn as separate
// fragments as separate molecules.
//
// What a molecule gets: the fragment's name as its title; one atom per element node (carbon when the node names
// no element), its charge, isotope and hydrogen count (the node's own count
// where it has one, else the standard valence); bonds of order 1, 2, 3 and
// aromatic (resolved to a Kekulé form); 2D coordinates scaled so that the
// median bond is 1.5 Å, y pointing up; wedge and hash bonds as wedge marks,
// from which the atom stereo is perceived, and cis/trans from the drawing.
// Hydrogen nodes then become implicit hydrogens of their atoms (those with a
// charge, an isotope or other than one single bond stay atoms).
// An abbreviation node that holds its own structure is expanded into it, the
// outer bonds joined to the atom that carries its connection point. Nodes
// that are no single atom (element lists, generic labels such as R, an
// abbreviation without its structure, attachment points of variable or
// multi-centre bonds) and bonds of orders that are no single, double, triple
// or aromatic bond refuse the molecule with a warning that names them; the
// next record reads as usual. Ionic and hydrogen bonds are left out, a dative
// bond reads as a single bond.
#pragma once

#include <string>

#include "tamrin/streams/tokenizer.h"

namespace Pellar {
class qvostream;
}

namespace Tamrin {

class QvMolBase;
class qvmolistream;

// The output flavor bit of CDX: wedge and hash bonds that carry the atom
// stereo (from a layout made for the purpose when the molecule's own 2D
// drawing does not show it).
namespace QvOFlavor::CDX {
inline constexpr unsigned Stereo = 0x1;
}  // namespace QvOFlavor::CDX

// Reads the next fragment into `mol` (cleared by the caller). False at the end
// of the document without a message, and after a warning for a fragment that
// is refused or data that are cut short or malformed; a refused fragment is
// consumed whole.
bool QvCDXReadFxn(qvmolistream& in, QvMolBase& mol);

// Writes one molecule as a whole document: header, document, page, one
// fragment (named by the title) with its nodes and bonds. Molecules without 2D coordinates are
// laid out first. `stereo`: wedge marks for the atom stereo.
void QvCDXWriteFxn(Pellar::qvostream& out, const QvMolBase& mol, bool stereo);

// Cuts CDX input into records, each the bytes of one top-level fragment object
// (which the reader reads on their own). False at the end, and after a
// warning for data that end inside an object.
class QvCDXTokenizer : public QvMolTokenizer {
 public:
  bool Next(Pellar::qvistream& in, std::string& record) override;
};

}  // namespace Tamrin
