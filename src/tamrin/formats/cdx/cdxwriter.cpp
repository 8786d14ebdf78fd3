// One molecule as a whole CDX document.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string_view>
#include <vector>

#include "pellar/qvstream.h"
#include "sorvil/base/tagregistry.h"
#include "tamrin/formats/cdx/cdx.h"
#include "tamrin/formats/cdx/cdxtree.h"
#include "tamrin/model/graphmol.h"
#include "tamrin/model/molbase.h"
#include "tamrin/perception/kekulize.h"
#include "tamrin/perception/layout2d.h"
#include "tamrin/perception/stereoperception.h"

namespace Tamrin {

namespace {

namespace Obj = cdx::Obj;
namespace Prop = cdx::Prop;

// Drawn at 14.4 pt per 1.5 Å bond, an inch from the page's corner.
constexpr double kUnitsPerAngstrom = 14.4 / kQvLayout2DBondLength * 65536.0;
constexpr double kMargin = 72.0 * 65536.0;

class Writer {
 public:
  explicit Writer(Pellar::qvostream& out) : out_(out) {}

  void Header() {
    out_.write(cdx::kSignature.data(), cdx::kSignature.size());
    out_.write(cdx::kHeaderTail, sizeof cdx::kHeaderTail);
  }
  void Begin(std::uint16_t tag, std::uint32_t id) {
    U16(tag);
    U32(id);
  }
  void End() { U16(0); }
  void PropU16(std::uint16_t tag, std::uint16_t value) {
    U16(tag), U16(2), U16(value);
  }
  void PropU32(std::uint16_t tag, std::uint32_t value) {
    U16(tag), U16(4), U32(value);
  }
  // A string without style runs.
  void PropString(std::uint16_t tag, std::string_view text) {
    text = text.substr(0, 0xFFFF - 2);
    U16(tag), U16(static_cast<std::uint16_t>(text.size() + 2)), U16(0);
    out_.write(text.data(), text.size());
  }
  void PropPoint(std::uint16_t tag, std::int32_t y, std::int32_t x) {
    U16(tag), U16(8), U32(static_cast<std::uint32_t>(y)), U32(static_cast<std::uint32_t>(x));
  }

 private:
  void U16(std::uint16_t v) {
    const unsigned char b[2] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8)};
    out_.write(b, 2);
  }
  void U32(std::uint32_t v) {
    const unsigned char b[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                                static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
    out_.write(b, 4);
  }

  Pellar::qvostream& out_;
};

bool HasUnresolvedAromatic(const QvMolBase& mol) {
  for (const QvBondBase& bond : mol.GetBonds())
    if (bond.GetOrder() == kQvAromaticOrder) return true;
  return false;
}

// Kekulé orders, a 2D drawing, and with `stereo` wedges that show the atom
// stereo; a copy is made only for what the molecule lacks.
const QvMolBase& Prepare(QvWorkingMol& work, bool stereo) {
  if (HasUnresolvedAromatic(work.Get())) QvKekulize(work.Copy());
  const QvMolBase& mol = work.Get();
  if (mol.GetDimension() != 2 || (stereo && !QvHasCorrectDepictionStereo(mol))) {
    QvMolBase& copy = work.Copy();
    if (copy.GetDimension() != 2) QvGenerate2DCoordinates(copy, 0);
    if (stereo) QvAssignWedgeMarks(copy);
  }
  return work.Get();
}

std::int32_t ToUnits(double value) {
  constexpr double kLimit = std::numeric_limits<std::int32_t>::max() / 2;
  return static_cast<std::int32_t>(std::clamp(std::round(value), -kLimit, kLimit));
}

unsigned CDXOrder(unsigned order) {
  switch (order) {
    case 2: return 0x2;
    case 3: return 0x4;
    case 4: return 0x8;
    case kQvAromaticOrder: return 0x80;
    default: return 0x1;
  }
}

}  // namespace

void QvCDXWriteFxn(Pellar::qvostream& out, const QvMolBase& source, bool stereo) {
  QvWorkingMol work(source);
  const QvMolBase& mol = Prepare(work, stereo);

  double min_x = 0, max_y = 0;
  bool first = true;
  for (const QvAtomBase& atom : mol.GetAtoms()) {
    double p[3] = {0, 0, 0};
    mol.GetCoords(&atom, p);
    min_x = first ? p[0] : std::min(min_x, p[0]);
    max_y = first ? p[1] : std::max(max_y, p[1]);
    first = false;
  }

  Writer w(out);
  w.Header();
  w.Begin(Obj::Document, 1);
  w.Begin(Obj::Page, 2);
  w.Begin(Obj::Fragment, 3);
  if (*mol.GetTitle()) w.PropString(Prop::Name, mol.GetTitle());
  std::uint32_t next_id = 4;
  std::vector<std::uint32_t> ids(mol.GetMaxAtomIdx() + 1, 0);
  for (const QvAtomBase& atom : mol.GetAtoms()) {
    ids[atom.GetIdx()] = next_id;
    w.Begin(Obj::Node, next_id++);
    double p[3] = {0, 0, 0};
    mol.GetCoords(&atom, p);
    w.PropPoint(Prop::Position2D, ToUnits((max_y - p[1]) * kUnitsPerAngstrom + kMargin),
                ToUnits((p[0] - min_x) * kUnitsPerAngstrom + kMargin));
    if (atom.GetAtomicNum() != 6) w.PropU16(Prop::Element, static_cast<std::uint16_t>(atom.GetAtomicNum()));
    // Four bytes, as older documents have it: readers that know the one-byte
    // form take either, and some take a one-byte -1 for +255.
    if (const int charge = atom.GetFormalCharge(); charge != 0)
      w.PropU32(Prop::Charge, static_cast<std::uint32_t>(charge));
    if (const unsigned isotope = atom.GetIsotope(); isotope != 0)
      w.PropU16(Prop::Isotope, static_cast<std::uint16_t>(std::min(isotope, 0xFFFFu)));
    // Readers fill unlabelled carbons to valence 4 and differ on the rest;
    // a count on every atom leaves none of them guessing.
    w.PropU16(Prop::NumHydrogens, static_cast<std::uint16_t>(std::min(atom.GetImplicitHCount(), 0xFFFFu)));
    w.End();
  }
  for (const QvBondBase& bond : mol.GetBonds()) {
    w.Begin(Obj::Bond, next_id++);
    w.PropU32(Prop::BondBegin, ids[bond.GetBgn()->GetIdx()]);
    w.PropU32(Prop::BondEnd, ids[bond.GetEnd()->GetIdx()]);
    if (const unsigned order = CDXOrder(bond.GetOrder()); order != 0x1) w.PropU16(Prop::BondOrder, order);
    const int* mark = stereo && bond.GetOrder() == 1 ? bond.GetDataPtr<int>(Sorvil::QvBondStereoTag) : nullptr;
    if (mark && (*mark == QvWedge::Up || *mark == QvWedge::Hash || *mark == QvWedge::Either))
      w.PropU16(Prop::BondDisplay, *mark == QvWedge::Up ? 6 : *mark == QvWedge::Hash ? 3 : 8);
    w.End();
  }
  w.End();
  w.End();
  w.End();
}

}  // namespace Tamrin
