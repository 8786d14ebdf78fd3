// Builds a molecule from one fragment of the object tree.
#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdio>
#include <cmath>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "sorvil/base/tagregistry.h"
#include "sorvil/error/errorhandler.h"
#include "tamrin/chem/elements.h"
#include "tamrin/formats/cdx/cdx.h"
#include "tamrin/formats/cdx/cdxtree.h"
#include "tamrin/model/molbase.h"
#include "tamrin/perception/aromaticity.h"
#include "tamrin/perception/hydrogens.h"
#include "tamrin/perception/implicith.h"
#include "tamrin/perception/kekulize.h"
#include "tamrin/perception/layout2d.h"
#include "tamrin/perception/rings.h"
#include "tamrin/perception/stereoperception.h"
#include "tamrin/streams/molstream.h"

namespace Tamrin {

using Sorvil::QvErrorHandler;

namespace {

using cdx::Object;
namespace Obj = cdx::Obj;
namespace Prop = cdx::Prop;

// Node types.
constexpr unsigned kElement = 1, kNickname = 4, kFragmentNode = 5, kFormula = 6, kConnectionPoint = 12;

// Bond orders, a bit each.
constexpr unsigned kSingle = 0x1, kDouble = 0x2, kTriple = 0x4, kAromatic = 0x80, kDative = 0x1000,
                   kIonic = 0x2000, kHydrogenBond = 0x4000;

// Bond displays that are stereo marks; "End" ones have the narrow end at the
// bond's end node.
constexpr unsigned kHashBegin = 3, kHashEnd = 4, kWedgeBegin = 6, kWedgeEnd = 7, kWavy = 8;

// Positions are in 1/65536 pt. Without a bond to measure, a drawing is
// taken at the common 14.4 pt bond.
constexpr double kUnitsPerPoint = 65536.0;
constexpr double kDefaultBondPoints = 14.4;

const char* NodeTypeName(unsigned type) {
  switch (type) {
    case 2: return "an element list";
    case 3: return "an element-list abbreviation";
    case 7: return "a generic label";
    case 8: return "an anonymous alternative group";
    case 9: return "a named alternative group";
    case 10: return "a multi-centre attachment";
    case 11: return "a variable attachment";
    case 12: return "a connection point outside an abbreviation";
    case 13: return "a link node";
    default: return "of an unknown type";
  }
}

// Little-endian integers of the property's own length (1, 2 or 4 bytes);
// false for other lengths.
bool Integer(const std::string& data, std::int64_t& value, bool is_signed) {
  const auto* b = reinterpret_cast<const unsigned char*>(data.data());
  switch (data.size()) {
    case 1: value = is_signed ? static_cast<std::int8_t>(b[0]) : b[0]; return true;
    case 2: {
      const auto u = static_cast<std::uint16_t>(b[0] | b[1] << 8);
      value = is_signed ? static_cast<std::int16_t>(u) : u;
      return true;
    }
    case 4: {
      const std::uint32_t u = b[0] | b[1] << 8 | b[2] << 16 | static_cast<std::uint32_t>(b[3]) << 24;
      // Not a conditional expression: its common type would be unsigned.
      if (is_signed) {
        value = static_cast<std::int32_t>(u);
      } else {
        value = u;
      }
      return true;
    }
    default: return false;
  }
}

// The label of a node, for messages: its text object's string, or "?".
std::string Label(const Object& node) {
  std::string label;
  for (const Object& child : node.children) {
    const std::string* text = child.tag == Obj::Text ? child.Find(Prop::Text) : nullptr;
    if (!text || !cdx::StringText(*text, label)) continue;
    label.resize(std::min<std::size_t>(label.size(), 40));
    std::replace_if(label.begin(), label.end(), [](char c) { return static_cast<unsigned char>(c) < 32; }, ' ');
    return label;
  }
  return "?";
}

// What a node id stands for: an atom, or a connection point of an
// abbreviation, which collects the atoms bonded to it.
struct NodeRef {
  QvAtomBase* atom = nullptr;
  std::vector<QvAtomBase*> attached;
  bool point = false;
};

[[gnu::format(printf, 1, 2)]] bool Refuse(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  QvErrorHandler::Warning("CDX fragment refused: %s", text);
  return false;
}

long long Id(const Object& object) { return object.id; }

class Builder {
 public:
  explicit Builder(QvMolBase& mol) : mol_(mol) {}

  bool Build(const Object& fragment) {
    std::string title;
    if (const std::string* name = fragment.Find(Prop::Name); name && cdx::StringText(*name, title))
      mol_.SetTitle(title);
    if (!AddFragment(fragment)) return false;
    Finish();
    return true;
  }

 private:
  bool AddFragment(const Object& fragment) {
    for (const Object& child : fragment.children)
      if (child.tag == Obj::Node && !AddNode(child)) return false;
    for (const Object& child : fragment.children)
      if (child.tag == Obj::Bond && !AddBond(child)) return false;
    return true;
  }

  bool AddNode(const Object& node) {
    std::int64_t type = kElement;
    if (const std::string* data = node.Find(Prop::NodeType); data && !Integer(*data, type, false))
      return Refuse("node %lld has a malformed type", Id(node));
    if (nodes_.count(node.id)) return Refuse("node id %lld occurs twice", Id(node));
    if (type == kNickname || type == kFragmentNode || type == kFormula) return AddAbbreviation(node);
    if (type == kConnectionPoint && inside_abbreviation_ > 0) {
      nodes_[node.id].point = true;
      return true;
    }
    if (type != 0 && type != kElement)
      return Refuse("node %lld (\"%s\", %s) is not an atom", Id(node), Label(node).c_str(),
                    NodeTypeName(static_cast<unsigned>(type)));
    return AddAtom(node);
  }

  bool AddAtom(const Object& node) {
    std::int64_t element = 6, charge = 0, isotope = 0, hydrogens = -1;
    const std::string* data = nullptr;
    if ((data = node.Find(Prop::Element)) && (!Integer(*data, element, false) || element > QvMaxAtomicNum))
      return Refuse("node %lld has an element number that is no element", Id(node));
    if ((data = node.Find(Prop::Charge)) && (!Integer(*data, charge, true) || charge < -15 || charge > 15))
      return Refuse("node %lld has a malformed charge", Id(node));
    if ((data = node.Find(Prop::Isotope)) && (!Integer(*data, isotope, false) || isotope > 999))
      return Refuse("node %lld has a malformed isotope", Id(node));
    if ((data = node.Find(Prop::NumHydrogens)) && (!Integer(*data, hydrogens, false) || hydrogens > 16))
      return Refuse("node %lld has a malformed hydrogen count", Id(node));
    QvAtomBase* atom = mol_.NewAtom(static_cast<unsigned>(element));
    atom->SetFormalCharge(static_cast<int>(charge));
    if (isotope > 0) atom->SetIsotope(static_cast<unsigned>(isotope));
    if (hydrogens >= 0) {
      atom->SetImplicitHCount(static_cast<unsigned>(hydrogens));
    } else {
      valence_filled_.push_back(atom);
    }
    double xy[2] = {0, 0};
    if ((data = node.Find(Prop::Position2D))) {
      // Vertical first, and growing downwards.
      if (data->size() != 8) return Refuse("node %lld has a malformed position", Id(node));
      std::int64_t y = 0, x = 0;
      Integer(data->substr(0, 4), y, true);
      Integer(data->substr(4, 4), x, true);
      xy[0] = static_cast<double>(x), xy[1] = -static_cast<double>(y);
      positioned_ = true;
    }
    positions_.resize(std::max<std::size_t>(positions_.size(), atom->GetIdx() + 1));
    positions_[atom->GetIdx()] = {xy[0], xy[1]};
    nodes_[node.id].atom = atom;
    return true;
  }

  // The node's own fragment stands in for it; the outer bonds go to the atom
  // that its connection points are bonded to.
  bool AddAbbreviation(const Object& node) {
    const auto inner = std::find_if(node.children.begin(), node.children.end(),
                                    [](const Object& o) { return o.tag == Obj::Fragment; });
    if (inner == node.children.end())
      return Refuse("node %lld is the abbreviation \"%s\", which comes without its structure", Id(node),
                    Label(node).c_str());
    ++inside_abbreviation_;
    const bool added = AddFragment(*inner);
    --inside_abbreviation_;
    if (!added) return false;
    QvAtomBase* joint = nullptr;
    for (const Object& child : inner->children) {
      if (child.tag != Obj::Node) continue;
      const NodeRef& ref = nodes_[child.id];
      if (!ref.point) continue;
      for (QvAtomBase* atom : ref.attached) {
        if (joint && joint != atom)
          return Refuse("node %lld is the abbreviation \"%s\", which joins at more than one atom", Id(node),
                        Label(node).c_str());
        joint = atom;
      }
    }
    if (!joint)
      return Refuse("node %lld is the abbreviation \"%s\", whose structure has no connection point", Id(node),
                    Label(node).c_str());
    nodes_[node.id].atom = joint;
    return true;
  }

  bool AddBond(const Object& bond) {
    std::int64_t ids[2] = {0, 0}, order = kSingle, display = 0;
    const std::uint16_t ends[2] = {Prop::BondBegin, Prop::BondEnd};
    NodeRef* refs[2] = {nullptr, nullptr};
    for (int i = 0; i < 2; ++i) {
      const std::string* data = bond.Find(ends[i]);
      if (!data || data->size() != 4 || !Integer(*data, ids[i], true))
        return Refuse("bond %lld lacks one of its ends", Id(bond));
      const auto found = nodes_.find(static_cast<std::int32_t>(ids[i]));
      if (found == nodes_.end())
        return Refuse("bond %lld joins node %lld, which is not in its fragment", Id(bond),
                      static_cast<long long>(ids[i]));
      refs[i] = &found->second;
    }
    const std::string* data = nullptr;
    if ((data = bond.Find(Prop::BondOrder)) && !Integer(*data, order, false))
      return Refuse("bond %lld has a malformed order", Id(bond));
    if ((data = bond.Find(Prop::BondDisplay)) && !Integer(*data, display, false))
      return Refuse("bond %lld has a malformed display", Id(bond));
    if (order == kIonic || order == kHydrogenBond) return true;
    if (refs[0]->point != refs[1]->point) {
      NodeRef& point = refs[0]->point ? *refs[0] : *refs[1];
      point.attached.push_back(refs[0]->point ? refs[1]->atom : refs[0]->atom);
      return true;
    }
    QvAtomBase* a = refs[0]->atom;
    QvAtomBase* b = refs[1]->atom;
    if (!a || !b || a == b || a->IsConnected(b))
      return Refuse("bond %lld joins atoms that are no pair (the same atom, or already bonded)", Id(bond));
    unsigned mol_order = 1;
    switch (order) {
      case kSingle:
      case kDative: mol_order = 1; break;
      case kDouble: mol_order = 2; break;
      case kTriple: mol_order = 3; break;
      case kAromatic: mol_order = kQvAromaticOrder; break;
      default:
        return Refuse("bond %lld has the order 0x%llX, which is no single, double, triple or aromatic bond",
                      Id(bond), static_cast<long long>(order));
    }
    if (mol_order == 1 && (display == kWedgeEnd || display == kHashEnd)) std::swap(a, b);
    QvBondBase* made = mol_.NewBond(a, b, mol_order);
    aromatic_ = aromatic_ || mol_order == kQvAromaticOrder;
    if (mol_order != 1) return true;
    int mark = 0;
    if (display == kWedgeBegin || display == kWedgeEnd) mark = QvWedge::Up;
    if (display == kHashBegin || display == kHashEnd) mark = QvWedge::Hash;
    if (display == kWavy) mark = QvWedge::Either;
    if (mark) {
      made->SetData(Sorvil::QvBondStereoTag, mark);
      wedges_ = true;
    }
    return true;
  }

  // Median bond length to 1.5 Å, the molecule's centre kept where the page
  // put it.
  void PlaceAtoms() {
    std::vector<double> lengths;
    for (const QvBondBase& bond : mol_.GetBonds()) {
      const auto& p = positions_[bond.GetBgn()->GetIdx()];
      const auto& q = positions_[bond.GetEnd()->GetIdx()];
      const double length = std::hypot(p[0] - q[0], p[1] - q[1]);
      if (length > 0) lengths.push_back(length);
    }
    double units = kDefaultBondPoints * kUnitsPerPoint;
    if (!lengths.empty()) {
      std::nth_element(lengths.begin(), lengths.begin() + lengths.size() / 2, lengths.end());
      units = lengths[lengths.size() / 2];
    }
    const double scale = kQvLayout2DBondLength / units;
    for (QvAtomBase& atom : mol_.GetAtoms()) {
      const auto& p = positions_[atom.GetIdx()];
      const double xyz[3] = {p[0] * scale, p[1] * scale, 0};
      mol_.SetCoords(&atom, xyz);
    }
    mol_.SetDimension(2);
  }

  void Finish() {
    if (aromatic_) QvKekulize(mol_);
    for (QvAtomBase* atom : valence_filled_) QvAssignImplicitHCount(*atom);
    if (positioned_) PlaceAtoms();
    QvPerceiveRings(mol_);
    if (!positioned_) {
      QvSuppressHydrogens(mol_, true);
      return;
    }
    if (wedges_) {
      QvPerceiveAtomStereoFromWedges(mol_, 0);
    } else {
      mol_.SetPerceived(QvPerceivedAtomStereo, true);
    }
    QvPerceiveAromaticity(mol_);
    QvPerceiveBondStereoFromCoords(mol_, {});
    // Drawn hydrogens (labels "H", the hydrogens of a wedge) are folded once
    // the stereo they show is read; two alike substituents otherwise look
    // different to every later step (a phosphonic acid with one OH drawn
    // out would have a chiral phosphorus).
    QvSuppressHydrogens(mol_, true);
  }

  QvMolBase& mol_;
  std::unordered_map<std::int32_t, NodeRef> nodes_;
  std::vector<std::array<double, 2>> positions_;
  std::vector<QvAtomBase*> valence_filled_;
  int inside_abbreviation_ = 0;
  bool positioned_ = false;
  bool aromatic_ = false;
  bool wedges_ = false;
};

}  // namespace

bool QvCDXReadFxn(qvmolistream& in, QvMolBase& mol) {
  Object fragment;
  const cdx::Step step = cdx::ReadNextFragment(in.GetStream(), fragment, nullptr);
  if (step == cdx::Step::End) return false;
  if (step == cdx::Step::Fragment && Builder(mol).Build(fragment)) return true;
  // The closing tags and drawings after the last fragment are no record, so
  // the stream does not count a failure at the end of the data; this one is.
  if (in.at_end() && mol.NumAtoms() == 0) in.CountFailedRecord();
  return false;
}

}  // namespace Tamrin
