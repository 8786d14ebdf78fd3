#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "pellar/numformat.h"
#include "pellar/qvstream.h"
#include "sorvil/error/errorhandler.h"
#include "tamrin/chem/elements.h"
#include "tamrin/formats/pdb/pdb.h"
#include "tamrin/model/molbase.h"
#include "tamrin/model/residue.h"

namespace Tamrin {

namespace {

using Pellar::Align;
using Pellar::FormatFixed;
using Pellar::FormatInt;
using Pellar::Pad;
using Sorvil::QvErrorHandler;
namespace Flag = QvOFlavor::PDB;

constexpr std::string_view kChainIDs = "ABDEFGIJKLMNOPQRSTUVWbcdefghijklmnopqtuvxyz";
constexpr std::string_view kChainDigits = "123456789";
// Every field is bounded but the numbers, which "%f" widens without limit.
constexpr std::size_t kLineMax = 128 + 8 * Pellar::FixedChars(3);

bool Printable(char c) { return c > ' ' && c < 127; }

bool FitsResidueName(std::string_view name) {
  return name.size() <= 3 && std::all_of(name.begin(), name.end(), Printable);
}

// Residue names and chain IDs the format cannot hold, and what they are written as.
struct Naming {
  std::map<std::string, std::string, std::less<>> residues;
  std::map<std::string, char, std::less<>> chains;

  std::string_view Residue(const std::string& name) const {
    const auto it = residues.find(name);
    return it == residues.end() ? std::string_view(name) : std::string_view(it->second);
  }
  char Chain(const std::string& chain) const {
    if (chain.empty()) return ' ';
    const auto it = chains.find(chain);
    return it == chains.end() ? chain[0] : it->second;
  }
};

// Long residue names keep their first three characters when no other residue
// has them, else become "L" and two base-36 digits; long chain IDs take the
// first letter or digit of the replacement lists that no chain uses.
bool MakeNaming(const QvMolBase& mol, Naming& naming) {
  std::set<std::string, std::less<>> names, long_names, chains, long_chains;
  for (const QvAtomBase& atom : mol.GetAtoms()) {
    const QvResidue* res = QvGetResidue(atom);
    if (!res) continue;
    (FitsResidueName(res->name) ? names : long_names).insert(res->name);
    if (res->chain.empty()) continue;
    if (!Printable(res->chain[0])) {
      QvErrorHandler::Warning("Could not write PDB file for molecule with chain ID %s", res->chain.c_str());
      return false;
    }
    (res->chain.size() == 1 ? chains : long_chains).insert(res->chain);
  }
  static constexpr std::string_view kDigits36 = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  std::size_t next = 0;
  for (const std::string& name : long_names) {
    std::string mapped;
    std::string first(name.substr(0, 3));
    std::replace_if(first.begin(), first.end(), [](char c) { return !Printable(c); }, '_');
    if (!names.contains(first)) {
      mapped = first;
    } else {
      for (; next < kDigits36.size() * kDigits36.size() && mapped.empty(); ++next) {
        const std::string candidate{'L', kDigits36[next / kDigits36.size()], kDigits36[next % kDigits36.size()]};
        if (!names.contains(candidate)) mapped = candidate;
      }
    }
    if (mapped.empty()) {
      QvErrorHandler::Warning("Could not write PDB file for molecule. Residue naming failure.");
      return false;
    }
    names.insert(mapped);
    QvErrorHandler::Warning("Mapped residue name %s to %s to be PDB format compliant", name.c_str(), mapped.c_str());
    naming.residues.emplace(name, std::move(mapped));
  }
  std::string pool(kChainIDs);
  pool += kChainDigits;
  std::size_t pos = 0;
  for (const std::string& chain : long_chains) {
    while (pos < pool.size() && chains.contains(std::string_view(&pool[pos], 1))) ++pos;
    if (pos == pool.size()) {
      QvErrorHandler::Warning("Could not write PDB file for molecule. Chain ID naming failure.");
      return false;
    }
    const char mapped = pool[pos++];
    QvErrorHandler::Warning("Mapped chain ID %s to %c to be PDB format compliant", chain.c_str(), mapped);
    naming.chains.emplace(chain, mapped);
  }
  return true;
}

// " C  ", "CL  ": the element upper-cased, right-aligned in two columns.
void DefaultName(const QvAtomBase& atom, char name[5]) {
  const char* symbol = QvGetAtomicSymbol(atom.GetAtomicNum());
  std::memcpy(name, "    ", 5);
  if (!*symbol) {
    std::memcpy(name, " UNK", 4);
  } else if (!symbol[1]) {
    name[1] = static_cast<char>(std::toupper(static_cast<unsigned char>(symbol[0])));
  } else {
    name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(symbol[0])));
    name[1] = static_cast<char>(std::toupper(static_cast<unsigned char>(symbol[1])));
  }
}

std::string_view AtomName(const QvAtomBase& atom, char buffer[5]) {
  const std::string_view name = atom.GetName();
  if (!name.empty()) return name.substr(0, 4);
  DefaultName(atom, buffer);
  return std::string_view(buffer, 4);
}

// "%8.3f", except that what does not fit in 8 columns is clamped.
char* PutCoord(char* p, double v) {
  if (v >= 9999.9995) return std::copy_n("9999.999", 8, p);
  if (v <= -999.9995) return std::copy_n("-999.999", 8, p);
  return FormatFixed(p, v, 8, 3);
}

class Writer {
 public:
  Writer(Pellar::qvostream& out, const QvMolBase& mol, unsigned flags) : out_(out), mol_(mol), flags_(flags) {}

  bool Write() {
    if (!MakeNaming(mol_, naming_)) return false;
    Header();
    Atoms();
    if (flags_ & (Flag::CONECT | Flag::OrderCONECT | Flag::HetCONECT)) Conects();
    if (flags_ & Flag::TER) {
      Put("TER");
      ++ter_;
    }
    Master();
    if (!(flags_ & Flag::TER)) Put("END");
    return true;
  }

 private:
  void Put(std::string_view text) {
    out_.write(text.data(), text.size());
    out_.put('\n');
  }
  // The line in line_ up to `end`.
  void Finish(char* end) {
    *end++ = '\n';
    out_.write(line_, static_cast<std::size_t>(end - line_));
  }

  void Header() {
    const auto pairs = QvGetPDBData(mol_);
    const std::string_view title = mol_.GetTitle();
    const bool compound = !title.empty() && (pairs.empty() || (pairs[0].first != "HEADER" && pairs[0].first != "COMPND"));
    if (compound) Put(std::string("COMPND    ").append(title));
    for (const auto& [record, rest] : pairs) {
      if (record == "MASTER") continue;
      Put(std::string(record).append(rest));
      std::size_t* count = record == "REMARK"                  ? &remark_
                           : record == "HET"                   ? &het_
                           : record == "HELIX"                 ? &helix_
                           : record == "SHEET"                 ? &sheet_
                           : record == "TURN"                  ? &turn_
                           : record == "SITE"                  ? &site_
                           : record == "SEQRES"                ? &seqres_
                           : record.starts_with("ORIGX") || record.starts_with("SCALE") || record.starts_with("MTRIX")
                               ? &xform_
                               : nullptr;
      if (count) ++*count;
    }
  }

  char* Identity(char* p, const QvResidue& res, std::string_view name) {
    p = Pad(p, name, 4, Align::Left);
    *p++ = res.alternate_location;
    p = Pad(p, naming_.Residue(res.name), 3, Align::Left);
    *p++ = ' ';
    *p++ = naming_.Chain(res.chain);
    p = FormatInt(p, res.number, 4);
    *p++ = res.insertion_code;
    return p;
  }

  // Blanks up to column 76, then the element and charge when asked for.
  char* ElementCharge(char* p, const QvAtomBase& atom, std::size_t blanks = 9) {
    if (!(flags_ & (Flag::Element | Flag::ElementCharge))) return p;
    char symbol[3] = {};
    std::strncpy(symbol, QvGetAtomicSymbol(atom.GetAtomicNum()), 2);
    if (!symbol[0]) symbol[0] = 'X';
    for (char& c : symbol) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    p = Pad(std::fill_n(p, blanks, ' '), symbol, 2);
    const int charge = atom.GetFormalCharge();
    if ((flags_ & Flag::ElementCharge) && charge != 0 && charge >= -9 && charge <= 9) {
      *p++ = static_cast<char>('0' + std::abs(charge));
      *p++ = charge > 0 ? '+' : '-';
    }
    return p;
  }

  void Ter(const QvResidue& last) {
    char* p = std::copy_n("TER   ", 6, line_);
    p = FormatInt(p, last_serial_ + 1, 5);
    p = std::fill_n(p, 6, ' ');
    p = Pad(p, naming_.Residue(last.name), 3, Align::Left);
    *p++ = ' ';
    *p++ = naming_.Chain(last.chain);
    p = FormatInt(p, last.number, 4);
    *p++ = last.insertion_code;
    Finish(p);
    ++ter_;
    ++last_serial_;  // the TER record takes a serial number of its own
  }

  void ModelLine(int model) {
    char* p = std::copy_n("MODEL     ", 10, line_);
    Finish(FormatInt(p, model, 4));
  }

  void Atoms() {
    serials_.assign(mol_.GetMaxAtomIdx() + 1, 0);
    const QvResidue* previous = nullptr;
    for (const QvAtomBase& atom : mol_.GetAtoms()) {
      const QvResidue* res = QvGetResidue(atom);
      if (previous && (!res || res->fragment != previous->fragment || res->model != previous->model))
        Ter(*previous);
      if (previous && (!res || res->model != previous->model) && previous->model != 0) Put("ENDMDL");
      if (res && (previous ? res->model != previous->model : res->model != 0) && res->model != 0)
        ModelLine(res->model);
      const int serial = res && res->serial > 0 ? res->serial : last_serial_ + 1;
      AtomLine(atom, res, serial);
      serials_[atom.GetIdx()] = serial;
      last_serial_ = serial;
      previous = res;
      ++atoms_;
    }
    if (previous) {
      Ter(*previous);
      if (previous->model != 0) Put("ENDMDL");
    }
  }

  void AtomLine(const QvAtomBase& atom, const QvResidue* res, int serial) {
    char buffer[5];
    const std::string_view name = res ? AtomName(atom, buffer) : (DefaultName(atom, buffer), std::string_view(buffer, 4));
    char* p = std::copy_n(res && res->hetero ? "HETATM" : "ATOM  ", 6, line_);
    p = FormatInt(p, serial, 5);
    *p++ = ' ';
    if (res) {
      p = Identity(p, *res, name);
      p = std::fill_n(p, 3, ' ');
    } else {
      p = Pad(p, name, 4, Align::Left);
      p = std::copy_n(" UNL     1    ", 14, p);
    }
    double xyz[3] = {};
    mol_.GetCoords(&atom, xyz);
    for (double v : xyz) p = PutCoord(p, v);
    p = FormatFixed(p, flags_ & Flag::Radius ? atom.GetRadius() : res ? res->occupancy : 1.0, 6, 2);
    if (flags_ & Flag::Charge) {
      p = FormatFixed(p, atom.GetPartialCharge(), 7, 3);
    } else {
      p = FormatFixed(p, res ? res->b_factor : 0.0, 6, 2);
      *p++ = ' ';
    }
    Finish(ElementCharge(p, atom));

    const QvAnisoU* u = QvGetAnisoU(atom);
    if (!u || !res) return;
    p = std::copy_n("ANISOU", 6, line_);
    p = FormatInt(p, serial, 5);
    *p++ = ' ';
    p = Identity(p, *res, name);
    *p++ = ' ';
    for (int v : u->u) p = FormatInt(p, v, 7);
    // The element lands in columns 77-78 as on the atom line.
    if (flags_ & (Flag::Element | Flag::ElementCharge))
      Finish(ElementCharge(p, atom, 6));
    else
      Finish(std::fill_n(p, 8, ' '));
  }

  void Conects() {
    const bool every = flags_ & (Flag::CONECT | Flag::OrderCONECT);
    std::vector<std::pair<int, unsigned>> nbrs;  // serial, entries
    for (const QvAtomBase& atom : mol_.GetAtoms()) {
      const int serial = serials_[atom.GetIdx()];
      const QvResidue* res = QvGetResidue(atom);
      const bool het = res && res->hetero;
      nbrs.clear();
      for (const QvBondBase* bond : atom.BondList()) {
        if (bond->IsDeleted()) continue;
        const QvAtomBase* nbr = bond->GetNbr(&atom);
        if (!nbr) continue;
        const int other = serials_[nbr->GetIdx()];
        if (other == serial || (other < serial && !(flags_ & Flag::BothCONECT))) continue;
        if (!every) {
          const QvResidue* nres = QvGetResidue(*nbr);
          if (!het && !(nres && nres->hetero)) continue;
        }
        const unsigned order = bond->GetOrder();
        nbrs.emplace_back(other, (flags_ & Flag::OrderCONECT) && (order == 2 || order == 3) ? order : 1);
      }
      if (nbrs.empty()) continue;
      std::sort(nbrs.begin(), nbrs.end());
      ++conect_;
      char* p = nullptr;
      int used = 4;
      for (const auto& [other, entries] : nbrs) {
        if (used + static_cast<int>(entries) > 4) {
          if (p) Finish(p);
          p = FormatInt(std::copy_n("CONECT", 6, line_), serial, 5);
          used = 0;
        }
        for (unsigned i = 0; i < entries; ++i) p = FormatInt(p, other, 5);
        used += static_cast<int>(entries);
      }
      Finish(p);
    }
  }

  void Master() {
    char* p = std::copy_n("MASTER", 6, line_);
    p = FormatInt(p, remark_, 9);
    for (std::size_t n : {std::size_t{0}, het_, helix_, sheet_, turn_, site_, xform_, atoms_, ter_, conect_, seqres_})
      p = FormatInt(p, n, 5);
    Finish(p);
  }

  Pellar::qvostream& out_;
  const QvMolBase& mol_;
  const unsigned flags_;
  Naming naming_;
  char line_[kLineMax];
  std::vector<int> serials_;
  int last_serial_ = 0;
  std::size_t remark_ = 0, het_ = 0, helix_ = 0, sheet_ = 0, turn_ = 0, site_ = 0, xform_ = 0, seqres_ = 0;
  std::size_t atoms_ = 0, ter_ = 0, conect_ = 0;
};

}  // namespace

bool QvPDBWriteFxn(Pellar::qvostream& out, const QvMolBase& mol, unsigned flags) {
  return Writer(out, mol, flags).Write();
}

}  // namespace Tamrin
