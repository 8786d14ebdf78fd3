#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <unordered_map>
#include <vector>

#include "sorvil/error/errorhandler.h"
#include "tamrin/formats/json/json.h"
#include "tamrin/model/model.h"
#include "tamrin/perception/kekulize.h"
#include "tamrin/perception/stereo.h"
#include "tamrin/perception/valence.h"

namespace Tamrin {

namespace {

using Writer = rapidjson::Writer<rapidjson::StringBuffer>;

void Key(Writer& w, const char* key) { w.Key(key); }

void Text(Writer& w, std::string_view text) {
  w.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
}

// Coordinates are floats in the model: their shortest form, not the digits
// of the double they widen to; always with a fraction or exponent, as
// readers that want a double for a coordinate refuse "0".
void Number(Writer& w, float v) {
  char buf[32];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf - 2, std::isfinite(v) ? v : 0.0f);
  if (ec != std::errc()) {
    w.Double(0.0);
    return;
  }
  if (std::string_view(buf, static_cast<std::size_t>(end - buf)).find_first_of(".e") == std::string_view::npos) {
    *end++ = '.';
    *end++ = '0';
  }
  w.RawValue(buf, static_cast<std::size_t>(end - buf), rapidjson::kNumberType);
}

void Header(Writer& w) {
  Key(w, "commonchem");
  w.StartObject();
  Key(w, "version");
  w.Uint(10);
  w.EndObject();
  Key(w, "defaults");
  w.StartObject();
  Key(w, "atom");
  w.StartObject();
  for (const char* field : {"z", "impHs", "chg", "nRad", "isotope"}) {
    Key(w, field);
    w.Uint(field[0] == 'z' ? 6 : 0);
  }
  Key(w, "stereo");
  w.String("unspecified");
  w.EndObject();
  Key(w, "bond");
  w.StartObject();
  Key(w, "bo");
  w.Uint(1);
  Key(w, "stereo");
  w.String("unspecified");
  w.EndObject();
  w.EndObject();
}

using NbrLists = std::unordered_map<const QvAtomBase*, std::vector<const QvAtomBase*>>;

// Each atom's neighbours in the order its bonds are written (which need not
// be the order they were attached to it in), an implicit hydrogen or lone
// pair last: the order the stereo values refer to.
NbrLists WrittenNbrs(const QvMolBase& mol) {
  NbrLists nbrs;
  for (const QvBondBase& bond : mol.GetBonds()) {
    nbrs[bond.GetBgn()].push_back(bond.GetEnd());
    nbrs[bond.GetEnd()].push_back(bond.GetBgn());
  }
  return nbrs;
}

const char* AtomStereo(const QvAtomBase& atom, const NbrLists& lists) {
  const auto it = lists.find(&atom);
  if (it == lists.end()) return nullptr;
  std::vector<const QvAtomBase*> nbrs = it->second;
  if (nbrs.size() == 3) nbrs.push_back(nullptr);
  if (nbrs.size() != 4) return nullptr;
  switch (QvGetAtomStereo(atom, nbrs)) {
    case QvChirality::Anticlockwise: return "ccw";
    case QvChirality::Clockwise: return "cw";
    default: return nullptr;
  }
}

// The radical electrons of an atom whose bonds and hydrogens fall short of
// its lowest standard valence, as readers that take the hydrogen counts as
// given expect them stated ([O] of a nitroxide, the carbene [CH2]).
unsigned Radicals(const QvAtomBase& atom, unsigned used) {
  const unsigned target = QvTargetValence(atom.GetAtomicNum(), atom.GetFormalCharge(), used);
  return target > used ? target - used : 0;
}

void Atoms(Writer& w, const QvMolBase& mol, const std::vector<unsigned>& orders) {
  const NbrLists nbrs = WrittenNbrs(mol);
  std::unordered_map<const QvAtomBase*, unsigned> valence;
  unsigned b = 0;
  for (const QvBondBase& bond : mol.GetBonds()) {
    valence[bond.GetBgn()] += orders[b];
    valence[bond.GetEnd()] += orders[b++];
  }
  Key(w, "atoms");
  w.StartArray();
  for (const QvAtomBase& atom : mol.GetAtoms()) {
    w.StartObject();
    // Only what differs from the defaults of the header.
    const auto field = [&w](const char* key, int value, int fallback) {
      if (value == fallback) return;
      Key(w, key);
      w.Int(value);
    };
    field("z", static_cast<int>(atom.GetAtomicNum()), 6);
    field("impHs", static_cast<int>(atom.GetImplicitHCount()), 0);
    field("chg", atom.GetFormalCharge(), 0);
    field("isotope", static_cast<int>(atom.GetIsotope()), 0);
    field("nRad", static_cast<int>(Radicals(atom, valence[&atom] + atom.GetImplicitHCount())), 0);
    if (const char* stereo = AtomStereo(atom, nbrs)) {
      Key(w, "stereo");
      w.String(stereo);
    }
    w.EndObject();
  }
  w.EndArray();
}

const QvAtomBase* OtherNbr(const QvAtomBase& atom, const QvAtomBase& partner) {
  for (const QvAtomBase& nbr : atom.GetAtoms())
    if (&nbr != &partner) return &nbr;
  return nullptr;
}

void Bonds(Writer& w, const QvMolBase& mol, const std::vector<unsigned>& orders,
           const std::unordered_map<const QvAtomBase*, unsigned>& index) {
  Key(w, "bonds");
  w.StartArray();
  unsigned i = 0;
  for (const QvBondBase& bond : mol.GetBonds()) {
    w.StartObject();
    const unsigned order = orders[i++];
    if (order != 1) {
      Key(w, "bo");
      w.Uint(order);
    }
    Key(w, "atoms");
    w.StartArray();
    w.Uint(index.at(bond.GetBgn()));
    w.Uint(index.at(bond.GetEnd()));
    w.EndArray();
    const QvAtomBase* r0 = OtherNbr(*bond.GetBgn(), *bond.GetEnd());
    const QvAtomBase* r1 = OtherNbr(*bond.GetEnd(), *bond.GetBgn());
    const QvBondConfig config = r0 && r1 ? QvGetBondStereo(bond, r0, r1) : QvBondConfig::None;
    if (config != QvBondConfig::None) {
      Key(w, "stereo");
      w.String(config == QvBondConfig::Cis ? "cis" : "trans");
      Key(w, "stereoAtoms");
      w.StartArray();
      w.Uint(index.at(r0));
      w.Uint(index.at(r1));
      w.EndArray();
    }
    w.EndObject();
  }
  w.EndArray();
}

void Conformer(Writer& w, const QvMolBase& mol, unsigned dim, const std::vector<float>& xyz) {
  w.StartObject();
  Key(w, "dim");
  w.Uint(dim);
  Key(w, "coords");
  w.StartArray();
  for (const QvAtomBase& atom : mol.GetAtoms()) {
    w.StartArray();
    for (unsigned k = 0; k < dim; ++k) Number(w, xyz[3 * atom.GetIdx() + k]);
    w.EndArray();
  }
  w.EndArray();
  w.EndObject();
}

void Conformers(Writer& w, const QvMolBase& mol) {
  std::vector<float> xyz(3 * static_cast<std::size_t>(mol.GetMaxAtomIdx()));
  if (const auto* mc = Sorvil::QvCast<QvMCMolBase>(&mol)) {
    if (mc->NumConfs() == 0 || mc->GetConfs().begin()->GetDimension() == 0) return;
    Key(w, "conformers");
    w.StartArray();
    for (const QvConfBase& conf : mc->GetConfs()) {
      if (conf.GetDimension() == 0) continue;
      conf.GetCoords(xyz.data());
      Conformer(w, mol, conf.GetDimension(), xyz);
    }
    w.EndArray();
    return;
  }
  if (mol.GetDimension() == 0) return;
  mol.GetCoords(xyz.data());
  Key(w, "conformers");
  w.StartArray();
  Conformer(w, mol, mol.GetDimension(), xyz);
  w.EndArray();
}

void Properties(Writer& w, const QvMolBase& mol) {
  const auto pairs = Sorvil::QvGetSDDataPairs(mol);
  if (pairs.empty()) return;
  Key(w, "properties");
  w.StartObject();
  // JSON object keys are unique: a name given twice keeps its first value.
  std::vector<std::string_view> seen;
  for (const auto& [name, value] : pairs) {
    if (std::find(seen.begin(), seen.end(), name) != seen.end()) continue;
    seen.push_back(name);
    w.Key(name.data(), static_cast<rapidjson::SizeType>(name.size()));
    Text(w, value);
  }
  w.EndObject();
}

// The Kekulé orders (0 to 4) by bond position, from a kekulized copy where
// some bond still waits for one; empty when none exists or an order is
// none of these.
std::vector<unsigned> KekuleOrders(const QvMolBase& mol) {
  std::vector<unsigned> orders;
  bool unresolved = false;
  for (const QvBondBase& bond : mol.GetBonds()) {
    orders.push_back(bond.GetOrder());
    unresolved = unresolved || bond.GetOrder() == kQvAromaticOrder;
  }
  if (unresolved) {
    QvGraphMolImpl copy;
    copy.Copy(mol);
    if (!QvKekulize(copy)) return {};
    orders.clear();
    for (const QvBondBase& bond : copy.GetBonds()) orders.push_back(bond.GetOrder());
  }
  if (std::any_of(orders.begin(), orders.end(), [](unsigned order) { return order > 4; })) return {};
  return orders;
}

}  // namespace

bool QvJSONWriteFxn(std::string& out, const QvMolBase& mol) {
  const std::vector<unsigned> orders = KekuleOrders(mol);
  if (orders.size() != mol.NumBonds()) {
    Sorvil::QvErrorHandler::Warning("Molecule \"%s\" has bond orders without a Kekulé form; not written as JSON",
                                    mol.GetTitle());
    return false;
  }
  std::unordered_map<const QvAtomBase*, unsigned> index;
  for (const QvAtomBase& atom : mol.GetAtoms()) index.emplace(&atom, static_cast<unsigned>(index.size()));

  rapidjson::StringBuffer buffer;
  Writer w(buffer);
  w.StartObject();
  Header(w);
  Key(w, "molecules");
  w.StartArray();
  w.StartObject();
  if (*mol.GetTitle()) {
    Key(w, "name");
    w.String(mol.GetTitle());
  }
  Atoms(w, mol, orders);
  Bonds(w, mol, orders, index);
  Conformers(w, mol);
  Properties(w, mol);
  w.EndObject();
  w.EndArray();
  w.EndObject();
  out.append(buffer.GetString(), buffer.GetSize());
  out.push_back('\n');
  return true;
}

}  // namespace Tamrin
