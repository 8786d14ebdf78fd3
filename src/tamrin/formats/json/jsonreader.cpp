#include <charconv>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "pellar/qvstream.h"
#include "sorvil/error/errorhandler.h"
#include "tamrin/formats/json/json.h"
#include "tamrin/formats/json/jsondoc.h"
#include "tamrin/model/model.h"
#include "tamrin/perception/aromaticity.h"
#include "tamrin/perception/kekulize.h"
#include "tamrin/perception/rings.h"
#include "tamrin/perception/stereo.h"
#include "tamrin/perception/stereoperception.h"
#include "tamrin/streams/flavor.h"
#include "tamrin/streams/molstream.h"

namespace Tamrin {

namespace {

using rapidjson::Value;

// A molecule as read: the graph with its first conformer's coordinates,
// and the coordinates of the others.
struct Conformer {
  unsigned dim = 0;
  std::vector<double> xyz;
};
struct ReadMol {
  std::unique_ptr<QvGraphMolImpl> mol;
  std::vector<Conformer> more;
};

// What a molecule lacks, for the message that skips it.
struct Fault {
  std::string what;
};

const Value* Member(const Value& object, const char* name) {
  if (!object.IsObject()) return nullptr;
  const auto it = object.FindMember(name);
  return it == object.MemberEnd() ? nullptr : &it->value;
}

// An atom or bond field: the item's own value, else the document's default,
// else CommonChem's.
struct Fields {
  const Value& item;
  const Value* defaults;
  const Value* Get(const char* name) const {
    if (const Value* v = Member(item, name)) return v;
    return defaults ? Member(*defaults, name) : nullptr;
  }
  std::int64_t Int(const char* name, std::int64_t fallback, std::int64_t lo, std::int64_t hi,
                   const std::string& where) const {
    const Value* v = Get(name);
    if (!v) return fallback;
    if (!v->IsInt64() || v->GetInt64() < lo || v->GetInt64() > hi)
      throw Fault{where + ": \"" + name + "\" is not an integer from " + std::to_string(lo) + " to " +
                  std::to_string(hi)};
    return v->GetInt64();
  }
  std::string Text(const char* name) const {
    const Value* v = Get(name);
    return v && v->IsString() ? std::string(v->GetString(), v->GetStringLength()) : std::string();
  }
};

// JSON text of a property value that is not a string.
std::string PropertyText(const Value& v) {
  if (v.IsString()) return {v.GetString(), v.GetStringLength()};
  if (v.IsBool()) return v.GetBool() ? "true" : "false";
  if (v.IsInt64()) return std::to_string(v.GetInt64());
  if (v.IsUint64()) return std::to_string(v.GetUint64());
  if (v.IsDouble()) {
    char buf[32];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v.GetDouble());
    return ec == std::errc() ? std::string(buf, end) : std::string();
  }
  return {};
}

Conformer ReadConformer(const Value& conf, unsigned natoms, unsigned number) {
  const std::string where = "conformer " + std::to_string(number);
  Conformer c;
  const Value* dim = Member(conf, "dim");
  const Value* coords = Member(conf, "coords");
  if (!dim || !dim->IsUint() || (dim->GetUint() != 2 && dim->GetUint() != 3))
    throw Fault{where + ": \"dim\" is not 2 or 3"};
  if (!coords || !coords->IsArray() || coords->Size() != natoms)
    throw Fault{where + ": \"coords\" is not an array with one entry per atom"};
  c.dim = dim->GetUint();
  c.xyz.assign(3 * static_cast<std::size_t>(natoms), 0.0);
  for (unsigned i = 0; i < natoms; ++i) {
    const Value& p = (*coords)[i];
    if (!p.IsArray() || p.Size() < c.dim || p.Size() > 3)
      throw Fault{where + ": coordinates of atom " + std::to_string(i) + " are not " + std::to_string(c.dim) +
                  " numbers"};
    for (unsigned k = 0; k < p.Size(); ++k) {
      if (!p[k].IsNumber())
        throw Fault{where + ": coordinates of atom " + std::to_string(i) + " are not numbers"};
      c.xyz[3 * i + k] = p[k].GetDouble();
    }
  }
  return c;
}

void ReadAtoms(const Value& atoms, const Value* defaults, QvMolBase& mol) {
  for (unsigned i = 0; i < atoms.Size(); ++i) {
    const std::string where = "atom " + std::to_string(i);
    const Value& a = atoms[i];
    if (!a.IsObject()) throw Fault{where + " is not an object"};
    const Fields f{a, defaults};
    QvAtomBase* atom = mol.NewAtom(static_cast<unsigned>(f.Int("z", 6, 0, 118, where)));
    if (!atom) throw Fault{where + ": cannot be made"};
    atom->SetImplicitHCount(static_cast<unsigned>(f.Int("impHs", 0, 0, 16, where)));
    atom->SetFormalCharge(static_cast<int>(f.Int("chg", 0, -16, 16, where)));
    atom->SetIsotope(static_cast<unsigned>(f.Int("isotope", 0, 0, 999, where)));
    f.Int("nRad", 0, 0, 8, where);
  }
}

// Kekulé orders (4 a quadruple bond) as they are; 1.5 marks an aromatic
// bond to be resolved.
unsigned BondOrder(const Fields& f, const std::string& where) {
  const Value* bo = f.Get("bo");
  if (!bo) return 1;
  if (bo->IsUint() && bo->GetUint() <= 4) return bo->GetUint();
  if (bo->IsDouble() && bo->GetDouble() == 1.5) return kQvAromaticOrder;
  throw Fault{where + ": \"bo\" is not 0, 1, 2, 3, 4 or 1.5"};
}

// Returns whether some bond order waits for kekulization.
bool ReadBonds(const Value& bonds, const Value* defaults, QvMolBase& mol, const std::vector<QvAtomBase*>& atoms) {
  bool aromatic = false;
  for (unsigned i = 0; i < bonds.Size(); ++i) {
    const std::string where = "bond " + std::to_string(i);
    const Value& b = bonds[i];
    if (!b.IsObject()) throw Fault{where + " is not an object"};
    const Value* ends = Member(b, "atoms");
    if (!ends || !ends->IsArray() || ends->Size() != 2 || !(*ends)[0].IsUint() || !(*ends)[1].IsUint())
      throw Fault{where + ": \"atoms\" is not a pair of atom indices"};
    const unsigned a0 = (*ends)[0].GetUint(), a1 = (*ends)[1].GetUint();
    if (a0 >= atoms.size() || a1 >= atoms.size())
      throw Fault{where + ": \"atoms\" refers to an atom past the last (" + std::to_string(atoms.size()) + " atoms)"};
    if (a0 == a1 || mol.GetBond(atoms[a0], atoms[a1]))
      throw Fault{where + ": joins atom " + std::to_string(a0) + " to itself or repeats a bond"};
    const unsigned order = BondOrder(Fields{b, defaults}, where);
    QvBondBase* bond = mol.NewBond(atoms[a0], atoms[a1], order);
    if (!bond) throw Fault{where + ": cannot be made"};
    aromatic = aromatic || order == kQvAromaticOrder;
  }
  return aromatic;
}

// Stereo along the record's own neighbour order (see json.h); returns
// whether the molecule states stereo at all.
bool ReadStereo(const Value& atoms, const Value& bonds, const Value* atom_defaults, const Value* bond_defaults,
                QvMolBase& mol, const std::vector<QvAtomBase*>& atom_list) {
  bool stated = (atom_defaults && Member(*atom_defaults, "stereo")) ||
                (bond_defaults && Member(*bond_defaults, "stereo"));
  for (unsigned i = 0; i < atoms.Size(); ++i) {
    const Fields f{atoms[i], atom_defaults};
    stated = stated || Member(atoms[i], "stereo");
    const std::string s = f.Text("stereo");
    const QvChirality c = s == "ccw" ? QvChirality::Anticlockwise : s == "cw" ? QvChirality::Clockwise
                                                                             : QvChirality::None;
    if (c == QvChirality::None) continue;
    std::vector<const QvAtomBase*> nbrs;
    for (const QvAtomBase& nbr : atom_list[i]->GetAtoms()) nbrs.push_back(&nbr);
    if (nbrs.size() == 3) nbrs.push_back(nullptr);
    QvSetAtomStereo(*atom_list[i], nbrs, c);
  }
  unsigned i = 0;
  for (QvBondBase& bond : mol.GetBonds()) {
    const Value& b = bonds[i++];
    stated = stated || Member(b, "stereo");
    const std::string s = Fields{b, bond_defaults}.Text("stereo");
    const QvBondConfig c = s == "cis" ? QvBondConfig::Cis : s == "trans" ? QvBondConfig::Trans : QvBondConfig::None;
    const Value* refs = Member(b, "stereoAtoms");
    if (c == QvBondConfig::None || !refs || !refs->IsArray() || refs->Size() != 2 || !(*refs)[0].IsUint() ||
        !(*refs)[1].IsUint() || (*refs)[0].GetUint() >= atom_list.size() || (*refs)[1].GetUint() >= atom_list.size())
      continue;
    const QvAtomBase* r0 = atom_list[(*refs)[0].GetUint()];
    const QvAtomBase* r1 = atom_list[(*refs)[1].GetUint()];
    if (!bond.GetBgn()->IsConnected(r0)) std::swap(r0, r1);
    QvSetBondStereo(bond, r0, r1, c);
  }
  return stated;
}

ReadMol ReadMolecule(const Value& m, const Value* defaults) {
  ReadMol out;
  out.mol = std::make_unique<QvGraphMolImpl>();
  QvMolBase& mol = *out.mol;
  if (!m.IsObject()) throw Fault{"it is not an object"};
  const Value* name = Member(m, "name");
  if (name && name->IsString()) mol.SetTitle(std::string(name->GetString(), name->GetStringLength()));
  const Value* atoms = Member(m, "atoms");
  if (!atoms || !atoms->IsArray()) throw Fault{"no \"atoms\" array"};
  const Value* bonds = Member(m, "bonds");
  static const Value kEmpty(rapidjson::kArrayType);
  if (!bonds) bonds = &kEmpty;
  if (!bonds->IsArray()) throw Fault{"\"bonds\" is not an array"};
  const Value* atom_defaults = defaults ? Member(*defaults, "atom") : nullptr;
  const Value* bond_defaults = defaults ? Member(*defaults, "bond") : nullptr;

  ReadAtoms(*atoms, atom_defaults, mol);
  std::vector<QvAtomBase*> atom_list;
  for (QvAtomBase& atom : mol.GetAtoms()) atom_list.push_back(&atom);
  if (ReadBonds(*bonds, bond_defaults, mol, atom_list) && !QvKekulize(mol))
    throw Fault{"its aromatic bonds have no Kekulé form"};

  if (const Value* confs = Member(m, "conformers")) {
    if (!confs->IsArray()) throw Fault{"\"conformers\" is not an array"};
    for (unsigned k = 0; k < confs->Size(); ++k) {
      Conformer c = ReadConformer((*confs)[k], static_cast<unsigned>(atom_list.size()), k);
      if (k == 0) {
        mol.SetCoords(c.xyz.data());
        mol.SetDimension(c.dim);
      } else {
        out.more.push_back(std::move(c));
      }
    }
  }
  if (const Value* props = Member(m, "properties"); props && props->IsObject())
    for (const auto& p : props->GetObject())
      Sorvil::QvAddSDData(mol, std::string_view(p.name.GetString(), p.name.GetStringLength()),
                          PropertyText(p.value));
  // Last: coordinate changes clear the stereo bits that say the record gave it.
  if (ReadStereo(*atoms, *bonds, atom_defaults, bond_defaults, mol, atom_list))
    mol.SetPerceived(QvPerceivedAtomStereo | QvPerceivedBondStereo, true);
  return out;
}

// Every molecule of the rest of the input, faults reported.
std::vector<ReadMol> ReadInput(qvmolistream& in) {
  std::string text;
  in.GetStream().readall(text);
  std::vector<ReadMol> mols;
  const unsigned faults = json::ForEachDocument(text, [&](const Value& doc, unsigned number) {
    const Value* molecules = Member(doc, "molecules");
    if (!molecules || !molecules->IsArray()) {
      Sorvil::QvErrorHandler::Warning("JSON document %u has no \"molecules\" array", number);
      in.CountFailedRecord();
      return;
    }
    const Value* defaults = Member(doc, "defaults");
    for (unsigned i = 0; i < molecules->Size(); ++i) {
      try {
        mols.push_back(ReadMolecule((*molecules)[i], defaults));
      } catch (const Fault& fault) {
        Sorvil::QvErrorHandler::Warning("JSON document %u, molecule %u skipped: %s", number, i, fault.what.c_str());
        in.CountFailedRecord();
      }
    }
  });
  for (unsigned i = 0; i < faults; ++i) in.CountFailedRecord();
  return mols;
}

void Finish(QvMolBase& mol, unsigned flavor) {
  QvFinishJSONMolecule(mol);
  QvPerceiveAromaticity(mol, QvAromaticityModelOf(flavor));
}

// A copy of the graph with another conformer's coordinates.
std::unique_ptr<QvMolBase> WithConformer(const QvMolBase& mol, const Conformer& c) {
  auto copy = std::make_unique<QvGraphMolImpl>();
  copy->Copy(mol);
  const bool stated = mol.HasPerceived(QvPerceivedAtomStereo | QvPerceivedBondStereo);
  copy->SetCoords(c.xyz.data());
  copy->SetDimension(c.dim);
  if (stated) copy->SetPerceived(QvPerceivedAtomStereo | QvPerceivedBondStereo, true);
  return copy;
}

}  // namespace

void QvFinishJSONMolecule(QvMolBase& mol) {
  QvPerceiveRings(mol);
  QvPerceiveAromaticity(mol, QvAromaticityModel{2});
  if (!mol.HasPerceived(QvPerceivedAtomStereo | QvPerceivedBondStereo)) QvPerceiveStereoFromCoords(mol);
}

bool QvJSONReadFxn(qvmolistream& in, QvMolBase& mol, unsigned flavor) {
  // The streams call again, queue or not, after a molecule without atoms.
  if (const std::unique_ptr<QvMolBase> queued = in.Dequeue()) return mol.Copy(*queued);
  const std::int64_t position = in.GetStream().tell();
  std::vector<ReadMol> mols = ReadInput(in);
  bool first = true;
  for (ReadMol& r : mols) {
    std::vector<std::unique_ptr<QvMolBase>> confs;
    for (const Conformer& c : r.more) confs.push_back(WithConformer(*r.mol, c));
    if (first) {
      // The streams finish the molecule they are handed.
      mol.Copy(*r.mol);
      if (r.mol->HasPerceived(QvPerceivedAtomStereo | QvPerceivedBondStereo))
        mol.SetPerceived(QvPerceivedAtomStereo | QvPerceivedBondStereo, true);
      first = false;
    } else {
      Finish(*r.mol, flavor);
      in.Enqueue(std::move(r.mol), position);
    }
    for (auto& conf : confs) {
      Finish(*conf, flavor);
      in.Enqueue(std::move(conf), position);
    }
  }
  return !first;
}

bool QvJSONReadConformersFxn(qvmolistream& in, QvMCMolBase& mol, unsigned flavor) {
  if (const std::unique_ptr<QvMolBase> queued = in.Dequeue()) return mol.Copy(*queued);
  const std::int64_t position = in.GetStream().tell();
  bool first = true;
  for (ReadMol& r : ReadInput(in)) {
    auto mc = std::make_unique<QvMol>();
    mc->Copy(*r.mol);
    for (const Conformer& c : r.more)
      if (QvConfBase* conf = mc->NewConf(c.xyz.data())) conf->SetDimension(c.dim);
    if (r.mol->HasPerceived(QvPerceivedAtomStereo | QvPerceivedBondStereo))
      mc->SetPerceived(QvPerceivedAtomStereo | QvPerceivedBondStereo, true);
    Finish(*mc, flavor);
    if (first) {
      mol.Copy(*mc);
      first = false;
    } else {
      in.Enqueue(std::move(mc), position);
    }
  }
  return !first;
}

}  // namespace Tamrin
