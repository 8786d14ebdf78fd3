#include <algorithm>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "pellar/numparse.h"
#include "pellar/qvstream.h"
#include "sorvil/error/errorhandler.h"
#include "tamrin/chem/elements.h"
#include "tamrin/formats/cif/chemcomp.h"
#include "tamrin/formats/cif/cif.h"
#include "tamrin/formats/cif/cifdoc.h"
#include "tamrin/formats/cif/cifcut.h"
#include "tamrin/formats/cif/smallmolecule.h"
#include "tamrin/model/graphmol.h"
#include "tamrin/model/residue.h"
#include "tamrin/streams/molio.h"
#include "tamrin/streams/molstream.h"

namespace Tamrin {

namespace {

using cifdoc::Table;
using Sorvil::QvErrorHandler;

// ---- values ----

// Numbers may carry their standard uncertainty in parentheses, "1.234(5)".
template <class T>
bool Number(std::string_view s, T& out) {
  if (!s.empty() && s.back() == ')') s = s.substr(0, s.find('('));
  return !s.empty() && Pellar::ParseWhole(s, out);
}

std::string_view FirstOf(const Table& table, std::size_t row, int preferred, int other) {
  const std::string_view s = table(row, preferred);
  return s.empty() ? table(row, other) : s;
}

char FirstChar(std::string_view s) { return s.empty() ? ' ' : s[0]; }

// ---- atom sites ----

enum Site {
  kX, kY, kZ, kGroup, kId, kType, kLabelAtom, kAuthAtom, kAlt, kLabelComp, kAuthComp, kLabelAsym, kAuthAsym,
  kEntity, kLabelSeq, kAuthSeq, kIns, kOcc, kB, kCharge, kModel
};
const std::vector<std::string_view> kSiteTags = {
    "Cartn_x",        "Cartn_y",          "Cartn_z",           "?group_PDB",          "?id",
    "?type_symbol",   "?label_atom_id",   "?auth_atom_id",     "?label_alt_id",       "?label_comp_id",
    "?auth_comp_id",  "?label_asym_id",   "?auth_asym_id",     "?label_entity_id",    "?label_seq_id",
    "?auth_seq_id",   "?pdbx_PDB_ins_code", "?occupancy",      "?B_iso_or_equiv",     "?pdbx_formal_charge",
    "?pdbx_PDB_model_num"};

// Deuterium and tritium are hydrogen isotopes here, as in PDB files.
unsigned ElementOf(std::string_view symbol, std::string_view name, unsigned& isotope) {
  isotope = 0;
  if (symbol.empty()) symbol = name.substr(0, std::min<std::size_t>(1, name.size()));
  if (symbol == "D" || symbol == "d") isotope = 2;
  if (symbol == "T" || symbol == "t") isotope = 3;
  return isotope ? 1 : QvGetAtomicNum(symbol);
}

// The name in PDB's four columns, as the PDB reader keeps it: a name of a
// one-letter element shorter than four characters starts in the second
// column.
std::string PaddedName(std::string_view name, unsigned z, unsigned isotope) {
  std::string padded;
  const char* symbol = QvGetAtomicSymbol(z);
  const char one = isotope == 2 ? 'D' : isotope == 3 ? 'T' : symbol[0] != '\0' && symbol[1] == '\0' ? symbol[0] : 0;
  if (one && name.size() < 4 && !name.empty() && (name[0] & ~0x20) == one) padded += ' ';
  padded += name;
  if (padded.size() < 4) padded.append(4 - padded.size(), ' ');
  return padded;
}

// The first polymer entity's description, as the PDB header's first
// MOLECULE line gives it; else the structure's title (which our writer
// gives), else the block name.
std::string TitleOf(const cifdoc::Block& block, const std::unordered_set<std::string>& polymers) {
  const Table entities(block, "_entity.", {"id", "?pdbx_description"});
  for (std::size_t row = 0; row < entities.size(); ++row) {
    if (polymers.count(std::string(entities(row, 0)))) {
      const std::string_view text = entities(row, 1);
      if (!text.empty()) return std::string(text);
    }
  }
  const std::string_view* title = cifdoc::FindValue(block, "_struct.title");
  return std::string(title && !cifdoc::Text(*title).empty() ? cifdoc::Text(*title) : block.name);
}

std::unordered_set<std::string> PolymerEntities(const cifdoc::Block& block) {
  std::unordered_set<std::string> ids;
  const Table entities(block, "_entity.", {"id", "type"});
  for (std::size_t row = 0; row < entities.size(); ++row)
    if (entities(row, 1) == "polymer") ids.emplace(entities(row, 0));
  return ids;
}

// Where an atom stands for the connection records: asym, residue number,
// insertion code, atom name.
std::string SiteKey(std::string_view asym, std::string_view seq, std::string_view ins, std::string_view atom) {
  std::string key;
  key.reserve(asym.size() + seq.size() + atom.size() + 4);
  key.append(asym).append(1, '\x1f').append(seq).append(1, '\x1f').append(1, FirstChar(ins)).append(1, '\x1f').append(atom);
  return key;
}

// What one model is being built into.
struct Model {
  Model(int n, QvMolBase* m, std::unique_ptr<QvMolBase> o) : number(n), mol(m), owned(std::move(o)) {}
  int number;
  QvMolBase* mol;
  std::unique_ptr<QvMolBase> owned;
  // Chain breaks as PDB files mark them with TER: after each polymer chain.
  int fragment = 0;
  bool last_polymer = false;
  std::string last_asym;
  std::unordered_map<std::string, QvAtomBase*> sites;
};

class BlockReader {
 public:
  BlockReader(const cifdoc::Block& block, unsigned flavor) : block_(block), flavor_(flavor) {}

  // The models in the order the block lists them; the first is built in `mol`.
  std::vector<Model> Read(QvMolBase& mol) {
    polymers_ = PolymerEntities(block_);
    conn_ = Table(block_, "_struct_conn.", kConnTags);
    title_ = TitleOf(block_, polymers_);
    const Table sites(block_, "_atom_site.", kSiteTags);
    models_.emplace_back(0, &mol, nullptr);
    for (std::size_t row = 0; row < sites.size(); ++row) Atom(sites, row);
    // One model is the model of a file without MODEL records.
    if (models_.size() == 1) {
      for (QvAtomBase& atom : mol.GetAtoms())
        if (QvResidue* res = QvMutableResidue(atom)) res->model = 0;
    }
    if (conn_.size() > 0) Connections();
    return std::move(models_);
  }

 private:
  enum Conn {
    kType1, kAsym1, kAuthAsym1, kSeq1, kLabelSeq1, kIns1, kAtom1, kAuthAtom1, kSym1,
    kAsym2, kAuthAsym2, kSeq2, kLabelSeq2, kIns2, kAtom2, kAuthAtom2, kSym2, kOrder
  };
  inline static const std::vector<std::string_view> kConnTags = {
      "conn_type_id",
      "?ptnr1_label_asym_id", "?ptnr1_auth_asym_id", "?ptnr1_auth_seq_id", "?ptnr1_label_seq_id",
      "?pdbx_ptnr1_PDB_ins_code", "?ptnr1_label_atom_id", "?ptnr1_auth_atom_id", "?ptnr1_symmetry",
      "?ptnr2_label_asym_id", "?ptnr2_auth_asym_id", "?ptnr2_auth_seq_id", "?ptnr2_label_seq_id",
      "?pdbx_ptnr2_PDB_ins_code", "?ptnr2_label_atom_id", "?ptnr2_auth_atom_id", "?ptnr2_symmetry",
      "?pdbx_value_order"};

  Model& ModelOf(const Table& sites, std::size_t row) {
    int number = 1;
    Number(sites(row, kModel), number);
    if (!started_) {
      started_ = true;
      models_[0].number = number;
      Start(*models_[0].mol);
    }
    if (models_[current_].number == number) return models_[current_];
    for (current_ = 0; current_ < models_.size(); ++current_)
      if (models_[current_].number == number) return models_[current_];
    auto mol = std::make_unique<QvGraphMolImpl>();
    Start(*mol);
    QvMolBase* raw = mol.get();
    models_.emplace_back(number, raw, std::move(mol));
    return models_[current_];
  }

  void Start(QvMolBase& mol) const {
    mol.SetDimension(3);
    mol.SetTitle(title_);
  }

  void Atom(const Table& sites, std::size_t row) {
    double xyz[3];
    if (!Number(sites(row, kX), xyz[0]) || !Number(sites(row, kY), xyz[1]) || !Number(sites(row, kZ), xyz[2])) {
      ++bad_sites_;
      return;
    }
    const std::string_view name = FirstOf(sites, row, kAuthAtom, kLabelAtom);
    const std::string_view res_name = FirstOf(sites, row, kAuthComp, kLabelComp);
    const char alt = FirstChar(sites(row, kAlt));
    unsigned isotope;
    const unsigned z = ElementOf(sites(row, kType), name, isotope);
    std::string padded = PaddedName(name, z, isotope);
    if (!(flavor_ & QvIFlavor::MMCIF::AllSites) &&
        ((alt != ' ' && alt != 'A' && alt != '1') || res_name == "DUM" || padded.compare(0, 2, " Q") == 0))
      return;

    Model& model = ModelOf(sites, row);
    QvMolBase& mol = *model.mol;
    QvAtomBase* atom = mol.NewAtom(z);
    if (isotope) atom->SetIsotope(isotope);
    mol.SetCoords(atom, xyz);
    atom->SetName(std::move(padded));
    int charge = 0;
    if (Number(sites(row, kCharge), charge) && charge != 0) atom->SetFormalCharge(charge);

    const std::string_view asym = sites(row, kLabelAsym);
    const std::string_view entity = sites(row, kEntity);
    const std::string_view group = sites(row, kGroup);
    // Sites come residue by residue: the entity of the last site is
    // looked up once per run of sites.
    if (entity != last_entity_) {
      last_entity_ = entity;
      last_entity_polymer_ = polymers_.count(last_entity_) > 0;
    }
    const bool polymer = polymers_.empty() ? group == "ATOM" : last_entity_polymer_;
    if (model.last_polymer && (!polymer || asym != model.last_asym)) ++model.fragment;
    model.last_polymer = polymer;
    model.last_asym = asym;

    QvResidue res;
    res.name = res_name;
    res.chain = FirstOf(sites, row, kAuthAsym, kLabelAsym);
    const std::string_view seq = FirstOf(sites, row, kAuthSeq, kLabelSeq);
    Pellar::ParseWhole(seq, res.number);
    res.insertion_code = FirstChar(sites(row, kIns));
    res.alternate_location = alt;
    Number(sites(row, kId), res.serial);
    res.model = model.number;
    res.fragment = model.fragment;
    res.hetero = group.empty() ? !polymer : group == "HETATM";
    Number(sites(row, kOcc), res.occupancy);
    Number(sites(row, kB), res.b_factor);
    QvSetResidue(*atom, std::move(res));

    if (conn_.size() > 0) {
      const std::string_view key_asym = asym.empty() ? FirstOf(sites, row, kAuthAsym, kLabelAsym) : asym;
      model.sites.emplace(SiteKey(key_asym, seq, sites(row, kIns), FirstOf(sites, row, kLabelAtom, kAuthAtom)), atom);
    }
  }

  // Covalent links, disulfides and metal coordination are bonds; hydrogen
  // bonds and mismatches are not, nor links to a symmetry mate.
  void Connections() {
    unsigned missing = 0;
    for (std::size_t row = 0; row < conn_.size(); ++row) {
      const std::string_view type = conn_(row, kType1);
      if (!(type.starts_with("covale") || type == "disulf" || type == "metalc")) continue;
      const std::string_view sym1 = conn_(row, kSym1), sym2 = conn_(row, kSym2);
      if ((!sym1.empty() && sym1 != "1_555") || (!sym2.empty() && sym2 != "1_555")) continue;
      const std::string key1 = SiteKey(FirstOf(conn_, row, kAsym1, kAuthAsym1), FirstOf(conn_, row, kSeq1, kLabelSeq1),
                                       conn_(row, kIns1), FirstOf(conn_, row, kAtom1, kAuthAtom1));
      const std::string key2 = SiteKey(FirstOf(conn_, row, kAsym2, kAuthAsym2), FirstOf(conn_, row, kSeq2, kLabelSeq2),
                                       conn_(row, kIns2), FirstOf(conn_, row, kAtom2, kAuthAtom2));
      const std::string_view order_text = conn_(row, kOrder);
      const unsigned order = order_text == "doub" ? 2 : order_text == "trip" ? 3 : order_text == "quad" ? 4 : 1;
      // Models of an NMR entry need not all hold the atoms a link names.
      bool found = false;
      for (Model& model : models_) {
        const auto a = model.sites.find(key1), b = model.sites.find(key2);
        if (a == model.sites.end() || b == model.sites.end() || a->second == b->second) continue;
        found = true;
        if (!model.mol->GetBond(a->second, b->second)) model.mol->NewBond(a->second, b->second, order);
      }
      missing += !found;
    }
    if (missing)
      QvErrorHandler::Warning("%u connections of CIF data block \"%s\" name atoms that it does not hold; skipped",
                              missing, std::string(block_.name).c_str());
  }

  const cifdoc::Block& block_;
  const unsigned flavor_;
  std::unordered_set<std::string> polymers_;
  std::string last_entity_;
  bool last_entity_polymer_ = false;
  Table conn_;
  std::string title_;
  std::vector<Model> models_;
  std::size_t current_ = 0;
  bool started_ = false;

 public:
  unsigned bad_sites_ = 0;
};

bool ReadMacromolecule(qvmolistream& in, const cifdoc::Block& block, QvMolBase& mol, std::int64_t position) {
  BlockReader reader(block, in.GetFlavor(QvFormat::MMCIF));
  std::vector<Model> models = reader.Read(mol);
  if (reader.bad_sites_)
    QvErrorHandler::Warning("%u atom sites of CIF data block \"%s\" have no coordinates; skipped", reader.bad_sites_,
                            std::string(block.name).c_str());
  for (std::size_t i = 1; i < models.size(); ++i) {
    QvFinishRecord(in, *models[i].mol);
    in.Enqueue(std::move(models[i].owned), position);
  }
  return mol.NumAtoms() > 0;
}

}  // namespace

bool QvCIFReadFxn(qvmolistream& in, QvMolBase& mol, unsigned) {
  const std::int64_t position = in.GetStream().tell() - static_cast<std::int64_t>(in.PushedBackSize());
  std::string text;
  const auto get = [&](std::string_view& line) { return in.GetLine(line); };
  const auto hold = [&](std::string_view line) { in.PushBackLine(std::string(line)); };
  // Comments and a global_ block before the first data block are no record,
  // and no record cut short when the input ends there.
  const auto skipped = [&] { in.MarkRecordStart(); };
  if (!QvCutCIFBlock(get, hold, skipped, text)) return false;
  std::vector<cifdoc::Block> blocks;
  std::string error;
  if (!cifdoc::Parse(text, blocks, error)) {
    QvErrorHandler::Warning("Unable to parse CIF data block: %s", error.c_str());
    return false;
  }
  if (blocks.empty()) return false;
  const cifdoc::Block& block = blocks.front();
  const std::string name(block.name);
  mol.SetTitle(name);
  try {
    if (cifdoc::FindValue(block, "_atom_site.Cartn_x")) return ReadMacromolecule(in, block, mol, position);
    if (cifdoc::FindValue(block, "_atom_site_fract_x") || cifdoc::FindValue(block, "_atom_site.fract_x"))
      return QvReadSmallMoleculeBlock(block, mol, in.GetFlavor(QvFormat::CIF));
    if (cifdoc::FindValue(block, "_chem_comp_atom.atom_id")) return QvReadChemCompBlock(block, mol);
  } catch (const std::exception& e) {
    QvErrorHandler::Warning("CIF data block \"%s\": %s", name.c_str(), e.what());
    return false;
  }
  QvErrorHandler::Warning("CIF data block \"%s\" holds no atom sites", name.c_str());
  return false;
}

}  // namespace Tamrin
