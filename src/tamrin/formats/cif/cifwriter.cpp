#include <charconv>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "pellar/numparse.h"
#include "pellar/qvstream.h"
#include "tamrin/chem/elements.h"
#include "tamrin/formats/cif/cif.h"
#include "tamrin/model/molbase.h"
#include "tamrin/model/residue.h"

namespace Tamrin {

namespace {

// A value as one CIF token: '?' when empty, quoted when it could be read
// as something else (white space, a leading quote or reserved character, a
// reserved word).
void Token(std::string& out, std::string_view value) {
  if (value.empty()) {
    out += '?';
    return;
  }
  bool quote = value == "?" || value == "." || value[0] == '_' || value[0] == '#' || value[0] == '$' ||
               value[0] == '\'' || value[0] == '"' || value[0] == ';' || value[0] == '[' || value[0] == ']';
  for (char c : value) quote = quote || c == ' ' || c == '\t';
  if (!quote && value.size() >= 5) {
    std::string lower(value.substr(0, 5));
    for (char& c : lower) c = static_cast<char>(c | 0x20);
    quote = lower == "data_" || lower == "loop_" || lower == "save_" || lower.starts_with("stop_") ||
            lower.starts_with("globa");
  }
  if (!quote) {
    out += value;
    return;
  }
  // A quote character ends a quoted value only when white space follows it.
  const char q = value.find("\" ") == std::string_view::npos && value.back() != '"' ? '"' : '\'';
  out += q;
  out += value;
  out += q;
}

void Fixed(std::string& out, double value, int decimals) {
  char buf[64];
  const auto got = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
  out.append(buf, got.ptr);
}

void Int(std::string& out, long value) {
  char buf[24];
  const auto got = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, got.ptr);
}

// Block names are one token with no white space.
std::string BlockName(std::string_view title) {
  std::string name;
  for (char c : title) name += (static_cast<unsigned char>(c) <= ' ') ? '_' : c;
  return name.empty() ? "molecule" : name;
}

constexpr const char* kSiteTags[] = {
    "group_PDB", "id", "type_symbol", "label_atom_id", "label_alt_id", "label_comp_id", "label_asym_id",
    "label_seq_id", "pdbx_PDB_ins_code", "Cartn_x", "Cartn_y", "Cartn_z", "occupancy", "B_iso_or_equiv",
    "pdbx_formal_charge", "auth_seq_id", "auth_asym_id", "pdbx_PDB_model_num"};

constexpr const char* kConnTags[] = {
    "id", "conn_type_id", "ptnr1_label_asym_id", "ptnr1_label_comp_id", "ptnr1_label_atom_id",
    "ptnr1_auth_asym_id", "ptnr1_auth_seq_id", "pdbx_ptnr1_PDB_ins_code", "ptnr2_label_asym_id",
    "ptnr2_label_comp_id", "ptnr2_label_atom_id", "ptnr2_auth_asym_id", "ptnr2_auth_seq_id",
    "pdbx_ptnr2_PDB_ins_code", "pdbx_value_order"};

void LoopHeader(std::string& out, std::string_view category, const auto& tags) {
  out += "loop_\n";
  for (const char* tag : tags) out.append(category).append(".").append(tag).append("\n");
}

// What a site is written with: atoms without residue data form one "UNL"
// residue, as the PDB writer has them.
struct Site {
  const QvResidue* res;
  std::string name;
  int serial;
};

Site SiteOf(const QvAtomBase& atom, int index) {
  Site site{QvGetResidue(atom), std::string(Pellar::TrimBlanks(atom.GetName())), index + 1};
  if (site.name.empty()) {
    const char* symbol = QvGetAtomicSymbol(atom.GetAtomicNum());
    site.name = *symbol ? symbol : "X";
  }
  if (site.res && site.res->serial > 0) site.serial = site.res->serial;
  return site;
}

std::string_view ResidueName(const Site& s) {
  return s.res && !s.res->name.empty() ? std::string_view(s.res->name) : std::string_view("UNL");
}
int ResidueNumber(const Site& s) { return s.res ? s.res->number : 1; }
char Insertion(const Site& s) { return s.res ? s.res->insertion_code : ' '; }
std::string_view Chain(const Site& s) { return s.res ? std::string_view(s.res->chain) : std::string_view(); }

// Bonds the residues' own chemistry and the chain's order imply are not
// connection records: those within a residue, and the peptide (C-N) and
// phosphodiester (O3'-P) links between residues of one chain.
bool Implied(const Site& a, const Site& b) {
  if (!a.res || !b.res || a.res->SameResidue(*b.res)) return true;
  if (a.res->chain != b.res->chain) return false;
  const auto link = [](const Site& x, const Site& y) {
    return (x.name == "C" && y.name == "N") || (x.name == "O3'" && y.name == "P");
  };
  return link(a, b) || link(b, a);
}

void ConnPartner(std::string& out, const Site& s) {
  Token(out, Chain(s));
  out += ' ';
  Token(out, ResidueName(s));
  out += ' ';
  Token(out, s.name);
  out += ' ';
  Token(out, Chain(s));
  out += ' ';
  Int(out, ResidueNumber(s));
  out += ' ';
  out += Insertion(s) == ' ' ? '?' : Insertion(s);
  out += ' ';
}

}  // namespace

bool QvMMCIFWriteFxn(Pellar::qvostream& stream, const QvMolBase& mol) {
  std::string out;
  out.reserve(128 + 96 * static_cast<std::size_t>(mol.NumAtoms()));
  out.append("data_").append(BlockName(mol.GetTitle())).append("\n#\n");
  std::string_view title = mol.GetTitle();
  if (!title.empty()) {
    out += "_struct.title ";
    Token(out, title);
    out += "\n#\n";
  }

  std::unordered_map<const QvAtomBase*, Site> sites;
  sites.reserve(mol.NumAtoms());
  LoopHeader(out, "_atom_site", kSiteTags);
  int index = 0;
  for (const QvAtomBase& atom : mol.GetAtoms()) {
    const Site& s = sites.emplace(&atom, SiteOf(atom, index++)).first->second;
    out += s.res && !s.res->hetero ? "ATOM " : "HETATM ";
    Int(out, s.serial);
    out += ' ';
    const char* symbol = QvGetAtomicSymbol(atom.GetAtomicNum());
    const unsigned isotope = atom.GetAtomicNum() == 1 ? atom.GetIsotope() : 0;
    Token(out, isotope == 2 ? "D" : isotope == 3 ? "T" : *symbol ? symbol : "X");
    out += ' ';
    Token(out, s.name);
    out += ' ';
    const char alt = s.res ? s.res->alternate_location : ' ';
    out += alt == ' ' ? '.' : alt;
    out += ' ';
    Token(out, ResidueName(s));
    out += ' ';
    Token(out, Chain(s));
    out += ' ';
    // Polymer residues number their place in the chain; others have none.
    if (s.res && !s.res->hetero)
      Int(out, ResidueNumber(s));
    else
      out += '.';
    out += ' ';
    out += Insertion(s) == ' ' ? '?' : Insertion(s);
    double xyz[3] = {0, 0, 0};
    mol.GetCoords(&atom, xyz);
    for (double v : xyz) {
      out += ' ';
      Fixed(out, v, 3);
    }
    out += ' ';
    Fixed(out, s.res ? s.res->occupancy : 1.0, 2);
    out += ' ';
    Fixed(out, s.res ? s.res->b_factor : 0.0, 2);
    out += ' ';
    Int(out, atom.GetFormalCharge());
    out += ' ';
    Int(out, ResidueNumber(s));
    out += ' ';
    Token(out, Chain(s));
    out += ' ';
    Int(out, s.res && s.res->model > 0 ? s.res->model : 1);
    out += '\n';
  }
  out += "#\n";

  int conn = 0;
  for (const QvBondBase& bond : mol.GetBonds()) {
    const Site& a = sites.at(bond.GetBgn());
    const Site& b = sites.at(bond.GetEnd());
    if (Implied(a, b)) continue;
    if (conn == 0) LoopHeader(out, "_struct_conn", kConnTags);
    out += "link";
    Int(out, ++conn);
    const bool sulfur = bond.GetBgn()->GetAtomicNum() == 16 && bond.GetEnd()->GetAtomicNum() == 16;
    out += sulfur ? " disulf " : " covale ";
    ConnPartner(out, a);
    ConnPartner(out, b);
    const unsigned order = bond.GetOrder();
    out += order == 2 ? "doub" : order == 3 ? "trip" : order == 4 ? "quad" : "sing";
    out += '\n';
  }
  if (conn) out += "#\n";
  return stream.write(out.data(), out.size());
}

}  // namespace Tamrin
