#include <algorithm>
#include <charconv>
#include <cstring>
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
#include "tamrin/formats/json/jsonrecord.h"
#include "tamrin/model/model.h"
#include "tamrin/perception/aromaticity.h"
#include "tamrin/perception/kekulize.h"
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

using json::Member;
using json::Num;
using json::Word;

[[noreturn, gnu::cold]] void IntFault(const char* name, std::int64_t lo, std::int64_t hi, unsigned atom) {
  throw Fault{Where("atom", atom) + ": \"" + name + "\" is not an integer from " + std::to_string(lo) + " to " +
              std::to_string(hi)};
}

// An atom field's name, its value when neither the atom nor the defaults
// give it, and its range.
struct FieldRule {
  const char* name;
  std::int64_t fallback, lo, hi;
};
constexpr FieldRule kFieldRules[json::kAtomFields] = {
    {"z", 6, 0, 118}, {"impHs", 0, 0, 16}, {"chg", 0, -16, 16}, {"isotope", 0, 0, 999}, {"nRad", 0, 0, 8}};

// The atom fields of the defaults, each checked once per molecule: one out
// of range is a fault of the first atom that takes it.
class AtomDefaults {
 public:
  explicit AtomDefaults(const json::AtomRecord& d) {
    for (unsigned k = 0; k < json::kAtomFields; ++k) {
      const Num& v = d.field[k];
      ok_[k] = v.kind == Num::kAbsent || InRange(v, kFieldRules[k]);
      value_[k] = v.kind == Num::kAbsent ? kFieldRules[k].fallback : v.value;
    }
  }

  // Field `k` of atom `i`, whose record is `a`. Five calls per atom: the
  // message is made out of line.
  std::int64_t Of(const json::AtomRecord& a, json::AtomField k, unsigned i) const {
    const Num& own = a.field[k];
    const FieldRule& rule = kFieldRules[k];
    if (own.kind == Num::kAbsent ? !ok_[k] : !InRange(own, rule)) IntFault(rule.name, rule.lo, rule.hi, i);
    return own.kind == Num::kAbsent ? value_[k] : own.value;
  }

 private:
  static bool InRange(const Num& v, const FieldRule& rule) {
    return v.kind == Num::kInt && v.value >= rule.lo && v.value <= rule.hi;
  }

  std::int64_t value_[json::kAtomFields];
  bool ok_[json::kAtomFields];
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
unsigned BondOrder(const Num& bo, unsigned bond) {
  if (bo.kind == Num::kAbsent) return 1;
  if (bo.kind == Num::kInt && bo.value >= 0 && bo.value <= 4) return static_cast<unsigned>(bo.value);
  if (bo.kind == Num::kHalf) return kQvAromaticOrder;
  throw Fault{Where("bond", bond) + ": \"bo\" is not 0, 1, 2, 3, 4 or 1.5"};
}

// Stereo waits until the graph and coordinates are complete: it is seen
// along the atom's bonds, and coordinate changes clear it.
struct BondStereo {
  QvBondBase* bond;
  unsigned ref0, ref1;
  QvBondConfig config;
};

constexpr unsigned kNoBond = ~0u;

// What one molecule's read needs besides the molecule, kept from one
// molecule to the next for its room.
struct Scratch {
  std::vector<QvAtomBase*> atoms;
  std::vector<unsigned> first_bond, next_bond, higher_atom;  // BondsSoFar
  std::vector<std::pair<unsigned, QvChirality>> chiral;
  std::vector<BondStereo> double_bonds;
  std::vector<const QvAtomBase*> nbrs;
};

// Bonds met so far, by their lower atom: a new bond that joins the same two
// atoms as an earlier one is found among the few of its lower atom, instead
// of a look at the molecule's bonds for every new bond.
class BondsSoFar {
 public:
  BondsSoFar(unsigned natoms, std::size_t nbonds, Scratch& scratch)
      : first_(scratch.first_bond), next_(scratch.next_bond), higher_(scratch.higher_atom) {
    first_.assign(natoms, kNoBond);
    if (next_.size() < nbonds) {
      next_.resize(nbonds);
      higher_.resize(nbonds);
    }
  }

  // False when bond `i` from `a0` to `a1` repeats one met before.
  bool Add(unsigned i, unsigned a0, unsigned a1) {
    const unsigned lo = std::min(a0, a1), hi = std::max(a0, a1);
    for (unsigned j = first_[lo]; j != kNoBond; j = next_[j])
      if (higher_[j] == hi) return false;
    next_[i] = first_[lo];
    higher_[i] = hi;
    first_[lo] = i;
    return true;
  }

 private:
  std::vector<unsigned>& first_;
  std::vector<unsigned>& next_;
  std::vector<unsigned>& higher_;
};

// Makes atoms and bonds through the molecule's virtual interface.
class AnyBuilder {
 public:
  explicit AnyBuilder(QvMolBase& mol) : mol_(mol) {}
  QvAtomBase* Atom(unsigned atomic_num) { return mol_.NewAtom(atomic_num); }
  QvBondBase* Bond(QvAtomBase* bgn, QvAtomBase* end, unsigned order) { return mol_.NewBond(bgn, end, order); }

 private:
  QvMolBase& mol_;
};

// Makes them directly in the toolkit's own molecule classes, their lists
// grown once. The ends of a bond are two different atoms this builder made
// (the reader checks its indices first).
template <class Graph>
class GraphBuilder {
 public:
  // As a new atom would, the first one clears the perception bits.
  GraphBuilder(Graph& mol, std::size_t atoms, std::size_t bonds) : mol_(mol) {
    mol.PrepareFill(static_cast<unsigned>(atoms), static_cast<unsigned>(bonds));
  }
  QvAtom* Atom(unsigned atomic_num) { return mol_.AddAtom(atomic_num); }
  QvBond* Bond(QvAtomBase* bgn, QvAtomBase* end, unsigned order) {
    return mol_.AddBond(static_cast<QvAtom*>(bgn), static_cast<QvAtom*>(end), order);
  }

 private:
  Graph& mol_;
};

// Reads molecule `m` into the empty `mol`, which it leaves unfinished, and
// returns the coordinates of its conformers after the first.
template <class Builder>
std::vector<Conformer> ReadMolecule(const json::MoleculeRecord& m, const json::DefaultsRecord& d, QvMolBase& mol,
                                    Builder builder, Scratch& scratch) {
  std::vector<QvAtomBase*>& atom_list = scratch.atoms;
  auto& chiral = scratch.chiral;
  std::vector<BondStereo>& double_bonds = scratch.double_bonds;
  chiral.clear();
  double_bonds.clear();
  if (!m.object) throw Fault{"it is not an object"};
  if (m.has_name) mol.SetTitle(std::string(m.name));
  if (m.atoms_state != json::MoleculeRecord::kArray) throw Fault{"no \"atoms\" array"};
  if (m.bonds_state == json::MoleculeRecord::kNotArray) throw Fault{"\"bonds\" is not an array"};

  bool stated = d.StateStereo();
  const unsigned natoms = static_cast<unsigned>(m.atoms.size());
  atom_list.assign(natoms, nullptr);
  const AtomDefaults defaults(d.atom);
  for (unsigned i = 0; i < natoms; ++i) {
    const json::AtomRecord& a = m.atoms[i];
    if (!a.object) throw Fault{Where("atom", i) + " is not an object"};
    auto* atom = builder.Atom(static_cast<unsigned>(defaults.Of(a, json::kZ, i)));
    if (!atom) throw Fault{Where("atom", i) + ": cannot be made"};
    // A new atom has none of these: only the others are set.
    if (const auto h = defaults.Of(a, json::kImpHs, i)) atom->SetImplicitHCount(static_cast<unsigned>(h));
    if (const auto q = defaults.Of(a, json::kChg, i)) atom->SetFormalCharge(static_cast<int>(q));
    if (const auto mass = defaults.Of(a, json::kIsotope, i)) atom->SetIsotope(static_cast<unsigned>(mass));
    defaults.Of(a, json::kNRad, i);
    atom_list[i] = atom;
    stated = stated || a.stereo != Word::kAbsent;
    const Word s = a.stereo != Word::kAbsent ? a.stereo : d.atom.stereo;
    if (s == Word::kCcw) chiral.emplace_back(i, QvChirality::Anticlockwise);
    else if (s == Word::kCw) chiral.emplace_back(i, QvChirality::Clockwise);
  }

  BondsSoFar so_far(natoms, m.bonds.size(), scratch);
  bool aromatic = false;
  for (unsigned i = 0; i < m.bonds.size(); ++i) {
    const json::BondRecord& b = m.bonds[i];
    if (!b.object) throw Fault{Where("bond", i) + " is not an object"};
    if (!b.ends.ok) throw Fault{Where("bond", i) + ": \"atoms\" is not a pair of atom indices"};
    const unsigned a0 = b.ends.first, a1 = b.ends.second;
    if (a0 >= natoms || a1 >= natoms)
      throw Fault{Where("bond", i) + ": \"atoms\" refers to an atom past the last (" + std::to_string(natoms) +
                  " atoms)"};
    if (a0 == a1 || !so_far.Add(i, a0, a1))
      throw Fault{Where("bond", i) + ": joins atom " + std::to_string(a0) + " to itself or repeats a bond"};
    const unsigned order = BondOrder(b.order.kind != Num::kAbsent ? b.order : d.order, i);
    QvBondBase* bond = builder.Bond(atom_list[a0], atom_list[a1], order);
    if (!bond) throw Fault{Where("bond", i) + ": cannot be made"};
    aromatic = aromatic || order == kQvAromaticOrder;

    stated = stated || b.stereo != Word::kAbsent;
    const Word s = b.stereo != Word::kAbsent ? b.stereo : d.bond_stereo;
    const QvBondConfig c = s == Word::kCis     ? QvBondConfig::Cis
                           : s == Word::kTrans ? QvBondConfig::Trans
                                               : QvBondConfig::None;
    if (c == QvBondConfig::None || !b.refs.ok || b.refs.first >= natoms || b.refs.second >= natoms) continue;
    double_bonds.push_back({bond, b.refs.first, b.refs.second, c});
  }
  if (aromatic && !QvKekulize(mol)) throw Fault{"its aromatic bonds have no Kekulé form"};

  std::vector<Conformer> more;
  if (const Value* confs = m.conformers) {
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
  if (const Value* props = m.properties; props && props->IsObject())
    for (const auto& p : props->GetObject())
      Sorvil::QvAddSDData(mol, std::string_view(p.name.GetString(), p.name.GetStringLength()),
                          PropertyText(p.value));

  std::vector<const QvAtomBase*>& nbrs = scratch.nbrs;
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

// The bytes of the input window: its room grows without being filled first
// (the read fills it).
class Window {
 public:
  std::string_view View() const { return {data_.get(), size_}; }
  std::size_t size() const { return size_; }
  char operator[](std::size_t i) const { return data_[i]; }
  void EraseFront(std::size_t n) {
    if (n == 0) return;  // the window may not have room yet
    std::memmove(data_.get(), data_.get() + n, size_ - n);
    size_ -= n;
  }
  // Room for `n` more bytes after the last; Commit says how many were put.
  char* Grow(std::size_t n) {
    if (size_ + n > capacity_) {
      capacity_ = std::max(2 * capacity_, size_ + n);
      std::unique_ptr<char[]> more = std::make_unique_for_overwrite<char[]>(capacity_);
      if (size_) std::memcpy(more.get(), data_.get(), size_);
      data_ = std::move(more);
    }
    return data_.get() + size_;
  }
  void Commit(std::size_t n) { size_ += n; }

 private:
  std::unique_ptr<char[]> data_;
  std::size_t size_ = 0, capacity_ = 0;
};

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
        if (!scanned_doc_) json::ReadMoleculeRecord((*molecules_)[i], parsed_);
        const json::MoleculeRecord& record = scanned_doc_ ? scanned_.molecules[i] : parsed_;
        more = Read(record, mol);
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

  // A molecule without atoms may still hold deleted ones: only a fresh
  // list is built directly.
  std::vector<Conformer> Read(const json::MoleculeRecord& record, QvMolBase& mol) {
    const json::DefaultsRecord& d = scanned_.defaults;
    const std::size_t atoms = record.atoms.size(), bonds = record.bonds.size();
    if (auto* graph = Sorvil::QvCast<QvMolBaseImpl>(&mol); graph && graph->AtomList().empty())
      return ReadMolecule(record, d, mol, GraphBuilder<QvMolGraphImpl<QvMolBase>>(*graph, atoms, bonds), scratch_);
    if (auto* mc = Sorvil::QvCast<QvMol>(&mol); mc && mc->AtomList().empty())
      return ReadMolecule(record, d, mol, GraphBuilder<QvMolGraphImpl<QvMCMolBase>>(*mc, atoms, bonds), scratch_);
    return ReadMolecule(record, d, mol, AnyBuilder(mol), scratch_);
  }

  bool NextDocument(qvmolistream& in) {
    // The molecules of the last document are all read: its memory is
    // reused, and the window's room once most of it has been read.
    molecules_ = nullptr;
    next_ = count_ = 0;
    doc_.SetNull();
    pool_.Clear();
    // What is left is moved to the front once it is a small part of the
    // window, so that few bytes are moved.
    if (8 * (text_.size() - cursor_.pos) <= text_.size()) {
      text_.EraseFront(cursor_.pos);
      cursor_.base += cursor_.pos;
      cursor_.pos = 0;
      cursor_.text = text_.View();
    }
    // Most documents are plain text the scanner reads, also the one the
    // window's end cuts, once more text is in; the others are parsed, from
    // the same place.
    std::size_t& pos = cursor_.pos;
    for (;;) {
      while (pos < text_.size() &&
             (text_[pos] == ' ' || text_[pos] == '\t' || text_[pos] == '\r' || text_[pos] == '\n'))
        ++pos;
      const std::string_view rest = text_.View().substr(pos);
      if (const std::size_t n = json::ScanDocument(rest, scanned_)) {
        pos += n;
        ++cursor_.number;
        scanned_doc_ = true;
        count_ = static_cast<unsigned>(scanned_.count);
        return true;
      }
      if (rest.find('\n') != std::string_view::npos || !More(in)) break;
    }
    scanned_doc_ = false;
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
    json::ReadDefaults(doc_, scanned_.defaults);
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
    const std::size_t got = in.GetStream().read(text_.Grow(want), want);
    text_.Commit(got);
    end_ = got < want;
    cursor_.text = text_.View();
    return got > 0;
  }

  std::int64_t position_;
  Window text_;
  json::TextCursor cursor_;
  bool end_ = false;
  std::size_t chunk_ = 4096;
  // A document of a molecule or two fits; larger ones take more chunks.
  alignas(8) char buffer_[64 * 1024];
  rapidjson::MemoryPoolAllocator<> pool_;
  rapidjson::Document doc_{&pool_};
  const Value* molecules_ = nullptr;
  unsigned next_ = 0, count_ = 0;
  // The scanned document, or the parsed document's defaults; the records
  // and the scratch keep their room from molecule to molecule.
  json::DocumentRecord scanned_;
  bool scanned_doc_ = false;
  json::MoleculeRecord parsed_;
  Scratch scratch_;
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
// which perceives the rings with the graph view it builds and overwrites all
// aromatic flags: model 2 is only worth its time when the stereo from
// coordinates looks at them, and there are coordinates to look at.
void QvFinishJSONMolecule(QvMolBase& mol) {
  const unsigned dim = mol.GetDimension();
  if (mol.HasPerceived(QvPerceivedAtomStereo | QvPerceivedBondStereo) || (dim != 2 && dim != 3)) return;
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
