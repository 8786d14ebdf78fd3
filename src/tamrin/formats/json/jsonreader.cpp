#include <algorithm>
#include <charconv>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
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

struct Conformer {
  unsigned dim = 0;
  std::vector<double> xyz;
};

// What a molecule lacks, for the message that skips it.
struct Fault {
  std::string what;
};

// Messages name the item only when one is made: most molecules have none.
std::string Where(const char* kind, unsigned i) { return std::string(kind) + " " + std::to_string(i); }

const Value* Member(const Value& object, const char* name) {
  if (!object.IsObject()) return nullptr;
  const auto it = object.FindMember(name);
  return it == object.MemberEnd() ? nullptr : &it->value;
}

// The fields of atoms and bonds, found in one walk over each item's members
// (the first of a repeated name counts, as with a lookup by name).
enum AtomField { kZ, kImpHs, kChg, kIsotope, kNRad, kAtomStereo, kAtomFields };
constexpr std::string_view kAtomNames[kAtomFields] = {"z", "impHs", "chg", "isotope", "nRad", "stereo"};
enum BondField { kEnds, kOrder, kBondStereo, kStereoAtoms, kBondFields };
constexpr std::string_view kBondNames[kBondFields] = {"atoms", "bo", "stereo", "stereoAtoms"};

template <std::size_t N>
void Find(const Value& item, const std::string_view (&names)[N], const Value* (&found)[N]) {
  for (const auto& m : item.GetObject()) {
    const std::string_view key(m.name.GetString(), m.name.GetStringLength());
    for (std::size_t k = 0; k < N; ++k)
      if (key == names[k]) {
        if (!found[k]) found[k] = &m.value;
        break;
      }
  }
}

// A document's defaults for the atom and bond fields (null where it has
// none: CommonChem's own then apply). Only the bond order and stereo have
// defaults among the bond fields.
struct Defaults {
  const Value* atom[kAtomFields] = {};
  const Value* bond[kBondFields] = {};

  explicit Defaults(const Value& doc) {
    const Value* defaults = Member(doc, "defaults");
    if (const Value* a = defaults ? Member(*defaults, "atom") : nullptr; a && a->IsObject())
      Find(*a, kAtomNames, atom);
    if (const Value* b = defaults ? Member(*defaults, "bond") : nullptr) {
      bond[kOrder] = Member(*b, "bo");
      bond[kBondStereo] = Member(*b, "stereo");
    }
  }
  bool StateStereo() const { return atom[kAtomStereo] || bond[kBondStereo]; }
};

std::int64_t Int(const Value* v, const char* name, std::int64_t fallback, std::int64_t lo, std::int64_t hi,
                 unsigned atom) {
  if (!v) return fallback;
  if (!v->IsInt64() || v->GetInt64() < lo || v->GetInt64() > hi)
    throw Fault{Where("atom", atom) + ": \"" + name + "\" is not an integer from " + std::to_string(lo) + " to " +
                std::to_string(hi)};
  return v->GetInt64();
}

bool IsText(const Value* v, std::string_view text) {
  return v && v->IsString() && std::string_view(v->GetString(), v->GetStringLength()) == text;
}

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
  const auto where = [number] { return Where("conformer", number); };
  Conformer c;
  const Value* dim = Member(conf, "dim");
  const Value* coords = Member(conf, "coords");
  if (!dim || !dim->IsUint() || (dim->GetUint() != 2 && dim->GetUint() != 3))
    throw Fault{where() + ": \"dim\" is not 2 or 3"};
  if (!coords || !coords->IsArray() || coords->Size() != natoms)
    throw Fault{where() + ": \"coords\" is not an array with one entry per atom"};
  c.dim = dim->GetUint();
  c.xyz.assign(3 * static_cast<std::size_t>(natoms), 0.0);
  for (unsigned i = 0; i < natoms; ++i) {
    const Value& p = (*coords)[i];
    if (!p.IsArray() || p.Size() < c.dim || p.Size() > 3)
      throw Fault{where() + ": coordinates of atom " + std::to_string(i) + " are not " + std::to_string(c.dim) +
                  " numbers"};
    for (unsigned k = 0; k < p.Size(); ++k) {
      if (!p[k].IsNumber())
        throw Fault{where() + ": coordinates of atom " + std::to_string(i) + " are not numbers"};
      c.xyz[3 * i + k] = p[k].GetDouble();
    }
  }
  return c;
}

// Kekulé orders (4 a quadruple bond) as they are; 1.5 marks an aromatic
// bond to be resolved.
unsigned BondOrder(const Value* bo, unsigned bond) {
  if (!bo) return 1;
  if (bo->IsUint() && bo->GetUint() <= 4) return bo->GetUint();
  if (bo->IsDouble() && bo->GetDouble() == 1.5) return kQvAromaticOrder;
  throw Fault{Where("bond", bond) + ": \"bo\" is not 0, 1, 2, 3, 4 or 1.5"};
}

// Stereo waits until the graph and coordinates are complete: it is seen
// along the atom's bonds, and coordinate changes clear it.
struct BondStereo {
  QvBondBase* bond;
  unsigned ref0, ref1;
  QvBondConfig config;
};

// Reads molecule `m` into the empty `mol`, which it leaves unfinished, and
// returns the coordinates of its conformers after the first.
std::vector<Conformer> ReadMolecule(const Value& m, const Defaults& d, QvMolBase& mol) {
  if (!m.IsObject()) throw Fault{"it is not an object"};
  const Value* name = Member(m, "name");
  if (name && name->IsString()) mol.SetTitle(std::string(name->GetString(), name->GetStringLength()));
  const Value* atoms = Member(m, "atoms");
  if (!atoms || !atoms->IsArray()) throw Fault{"no \"atoms\" array"};
  const Value* bonds = Member(m, "bonds");
  static const Value kEmpty(rapidjson::kArrayType);
  if (!bonds) bonds = &kEmpty;
  if (!bonds->IsArray()) throw Fault{"\"bonds\" is not an array"};

  bool stated = d.StateStereo();
  const unsigned natoms = atoms->Size();
  std::vector<QvAtomBase*> atom_list(natoms);
  std::vector<std::pair<unsigned, QvChirality>> chiral;
  for (unsigned i = 0; i < natoms; ++i) {
    const Value& a = (*atoms)[i];
    if (!a.IsObject()) throw Fault{Where("atom", i) + " is not an object"};
    const Value* own[kAtomFields] = {};
    Find(a, kAtomNames, own);
    const auto field = [&](AtomField k) { return own[k] ? own[k] : d.atom[k]; };
    QvAtomBase* atom = mol.NewAtom(static_cast<unsigned>(Int(field(kZ), "z", 6, 0, 118, i)));
    if (!atom) throw Fault{Where("atom", i) + ": cannot be made"};
    atom->SetImplicitHCount(static_cast<unsigned>(Int(field(kImpHs), "impHs", 0, 0, 16, i)));
    atom->SetFormalCharge(static_cast<int>(Int(field(kChg), "chg", 0, -16, 16, i)));
    atom->SetIsotope(static_cast<unsigned>(Int(field(kIsotope), "isotope", 0, 0, 999, i)));
    Int(field(kNRad), "nRad", 0, 0, 8, i);
    atom_list[i] = atom;
    stated = stated || own[kAtomStereo];
    const Value* s = field(kAtomStereo);
    if (IsText(s, "ccw")) chiral.emplace_back(i, QvChirality::Anticlockwise);
    else if (IsText(s, "cw")) chiral.emplace_back(i, QvChirality::Clockwise);
  }

  bool aromatic = false;
  std::vector<BondStereo> double_bonds;
  for (unsigned i = 0; i < bonds->Size(); ++i) {
    const Value& b = (*bonds)[i];
    if (!b.IsObject()) throw Fault{Where("bond", i) + " is not an object"};
    const Value* own[kBondFields] = {};
    Find(b, kBondNames, own);
    const Value* ends = own[kEnds];
    if (!ends || !ends->IsArray() || ends->Size() != 2 || !(*ends)[0].IsUint() || !(*ends)[1].IsUint())
      throw Fault{Where("bond", i) + ": \"atoms\" is not a pair of atom indices"};
    const unsigned a0 = (*ends)[0].GetUint(), a1 = (*ends)[1].GetUint();
    if (a0 >= natoms || a1 >= natoms)
      throw Fault{Where("bond", i) + ": \"atoms\" refers to an atom past the last (" + std::to_string(natoms) +
                  " atoms)"};
    if (a0 == a1 || mol.GetBond(atom_list[a0], atom_list[a1]))
      throw Fault{Where("bond", i) + ": joins atom " + std::to_string(a0) + " to itself or repeats a bond"};
    const unsigned order = BondOrder(own[kOrder] ? own[kOrder] : d.bond[kOrder], i);
    QvBondBase* bond = mol.NewBond(atom_list[a0], atom_list[a1], order);
    if (!bond) throw Fault{Where("bond", i) + ": cannot be made"};
    aromatic = aromatic || order == kQvAromaticOrder;

    stated = stated || own[kBondStereo];
    const Value* s = own[kBondStereo] ? own[kBondStereo] : d.bond[kBondStereo];
    const QvBondConfig c = IsText(s, "cis") ? QvBondConfig::Cis
                           : IsText(s, "trans") ? QvBondConfig::Trans
                                                : QvBondConfig::None;
    const Value* refs = own[kStereoAtoms];
    if (c == QvBondConfig::None || !refs || !refs->IsArray() || refs->Size() != 2 || !(*refs)[0].IsUint() ||
        !(*refs)[1].IsUint() || (*refs)[0].GetUint() >= natoms || (*refs)[1].GetUint() >= natoms)
      continue;
    double_bonds.push_back({bond, (*refs)[0].GetUint(), (*refs)[1].GetUint(), c});
  }
  if (aromatic && !QvKekulize(mol)) throw Fault{"its aromatic bonds have no Kekulé form"};

  std::vector<Conformer> more;
  if (const Value* confs = Member(m, "conformers")) {
    if (!confs->IsArray()) throw Fault{"\"conformers\" is not an array"};
    for (unsigned k = 0; k < confs->Size(); ++k) {
      Conformer c = ReadConformer((*confs)[k], natoms, k);
      if (k == 0) {
        mol.SetCoords(c.xyz.data());
        mol.SetDimension(c.dim);
      } else {
        more.push_back(std::move(c));
      }
    }
  }
  if (const Value* props = Member(m, "properties"); props && props->IsObject())
    for (const auto& p : props->GetObject())
      Sorvil::QvAddSDData(mol, std::string_view(p.name.GetString(), p.name.GetStringLength()),
                          PropertyText(p.value));

  std::vector<const QvAtomBase*> nbrs;
  for (const auto& [i, c] : chiral) {
    nbrs.clear();
    for (const QvAtomBase& nbr : atom_list[i]->GetAtoms()) nbrs.push_back(&nbr);
    if (nbrs.size() == 3) nbrs.push_back(nullptr);
    QvSetAtomStereo(*atom_list[i], nbrs, c);
  }
  for (const BondStereo& s : double_bonds) {
    const QvAtomBase* r0 = atom_list[s.ref0];
    const QvAtomBase* r1 = atom_list[s.ref1];
    if (!s.bond->GetBgn()->IsConnected(r0)) std::swap(r0, r1);
    QvSetBondStereo(*s.bond, r0, r1, s.config);
  }
  if (stated) mol.SetPerceived(QvPerceivedAtomStereo | QvPerceivedBondStereo, true);
  return more;
}

// The input is read a window at a time; its documents are parsed as the
// records are asked for, and their molecules read one per call, straight
// into the caller's molecule.
class ReadState : public QvMolStreamReaderState {
 public:
  explicit ReadState(qvmolistream& in) : position_(in.GetStream().tell()), pool_(buffer_, sizeof buffer_) {}

  // Reads the next molecule that can be read into the empty `mol`, faults
  // reported and counted; false at the end of the input.
  bool Next(qvmolistream& in, QvMolBase& mol, std::vector<Conformer>& more) {
    for (;;) {
      while (next_ >= count_)
        if (!NextDocument(in)) return false;
      const unsigned i = next_++;
      try {
        more = ReadMolecule((*molecules_)[i], defaults_, mol);
        return true;
      } catch (const Fault& fault) {
        Sorvil::QvErrorHandler::Warning("JSON document %u, molecule %u skipped: %s", cursor_.number, i,
                                        fault.what.c_str());
        in.CountFailedRecord();
        mol.Clear();
      }
    }
  }

  // Where the input stood when reading began, for molecules queued from it.
  std::int64_t Position() const { return position_; }

 private:
  static constexpr std::size_t kWindow = 64 * 1024;

  bool NextDocument(qvmolistream& in) {
    // The molecules of the last document are all read: its memory is
    // reused, and the window's room once most of it has been read.
    molecules_ = nullptr;
    next_ = count_ = 0;
    doc_.SetNull();
    pool_.Clear();
    if (2 * cursor_.pos >= text_.size()) {
      text_.erase(0, cursor_.pos);
      cursor_.base += cursor_.pos;
      cursor_.pos = 0;
      cursor_.text = text_;
    }
    unsigned faults = 0;
    const bool got = json::NextDocument(cursor_, doc_, faults, [&] { return More(in); });
    for (; faults > 0; --faults) in.CountFailedRecord();
    if (!got) return false;
    const Value* molecules = Member(doc_, "molecules");
    if (!molecules || !molecules->IsArray()) {
      Sorvil::QvErrorHandler::Warning("JSON document %u has no \"molecules\" array", cursor_.number);
      in.CountFailedRecord();
      return true;
    }
    molecules_ = molecules;
    count_ = molecules->Size();
    defaults_ = Defaults(doc_);
    return true;
  }

  // Appends the next bytes of the input to the window, at least as many as
  // it holds, so that a long document is parsed again a few times only. The
  // first reads are short, for the many inputs of a molecule or two.
  bool More(qvmolistream& in) {
    if (end_) return false;
    const std::size_t had = text_.size();
    const std::size_t want = std::max(chunk_, had);
    chunk_ = std::min(2 * chunk_, kWindow);
    text_.resize(had + want);
    const std::size_t got = in.GetStream().read(text_.data() + had, want);
    text_.resize(had + got);
    end_ = got < want;
    cursor_.text = text_;
    return got > 0;
  }

  std::int64_t position_;
  std::string text_;
  json::TextCursor cursor_;
  bool end_ = false;
  std::size_t chunk_ = 4096;
  // A document of a molecule or two fits; larger ones take more chunks.
  alignas(8) char buffer_[64 * 1024];
  rapidjson::MemoryPoolAllocator<> pool_;
  rapidjson::Document doc_{&pool_};
  const Value* molecules_ = nullptr;
  unsigned next_ = 0, count_ = 0;
  Defaults defaults_{doc_};
};

ReadState& StateOf(qvmolistream& in) {
  std::unique_ptr<QvMolStreamReaderState>& slot = in.Cache().reader_state;
  if (auto* state = dynamic_cast<ReadState*>(slot.get())) return *state;
  slot = std::make_unique<ReadState>(in);
  return static_cast<ReadState&>(*slot);
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

// Every read is followed by the aromaticity model of the stream's flavor,
// which overwrites all aromatic flags: model 2 is only worth its time when
// the stereo from coordinates looks at them.
void QvFinishJSONMolecule(QvMolBase& mol) {
  QvPerceiveRings(mol);
  if (mol.HasPerceived(QvPerceivedAtomStereo | QvPerceivedBondStereo)) return;
  QvPerceiveAromaticity(mol, QvAromaticityModel{2});
  QvPerceiveStereoFromCoords(mol);
}

bool QvJSONReadFxn(qvmolistream& in, QvMolBase& mol, unsigned flavor) {
  // The streams call again, queue or not, after a molecule without atoms.
  if (const std::unique_ptr<QvMolBase> queued = in.Dequeue()) return mol.Copy(*queued);
  ReadState& state = StateOf(in);
  std::vector<Conformer> more;
  // A molecule without atoms is no record of this format: the streams
  // would skip it, and its conformers with it.
  for (;;) {
    if (!state.Next(in, mol, more)) return false;
    if (mol.NumAtoms() > 0) break;
    mol.Clear();
  }
  // The streams finish the molecule they are handed, the queue holds
  // finished ones.
  for (const Conformer& c : more) {
    std::unique_ptr<QvMolBase> conf = WithConformer(mol, c);
    Finish(*conf, flavor);
    in.Enqueue(std::move(conf), state.Position());
  }
  return true;
}

bool QvJSONReadConformersFxn(qvmolistream& in, QvMCMolBase& mol, unsigned flavor) {
  if (const std::unique_ptr<QvMolBase> queued = in.Dequeue()) return mol.Copy(*queued);
  ReadState& state = StateOf(in);
  QvGraphMolImpl graph;
  std::vector<Conformer> more;
  if (!state.Next(in, graph, more)) return false;
  auto mc = std::make_unique<QvMol>();
  mc->Copy(graph);
  for (const Conformer& c : more)
    if (QvConfBase* conf = mc->NewConf(c.xyz.data())) conf->SetDimension(c.dim);
  if (graph.HasPerceived(QvPerceivedAtomStereo | QvPerceivedBondStereo))
    mc->SetPerceived(QvPerceivedAtomStereo | QvPerceivedBondStereo, true);
  Finish(*mc, flavor);
  mol.Copy(*mc);
  return true;
}

}  // namespace Tamrin
