// The SMILES parser after the main pass: end-of-pass checks, the CX block
// and the title, the whole-molecule steps, bond orders and the messages.
#include <algorithm>
#include <string>

#include "pellar/numparse.h"
#include "sorvil/error/errorhandler.h"
#include "tamrin/formats/smiles/lonepair.h"
#include "tamrin/formats/smiles/smilesparser.h"
#include "tamrin/model/molbase.h"
#include "tamrin/perception/kekulize.h"
#include "tamrin/perception/rings.h"
#include "tamrin/perception/stereo.h"

namespace Tamrin {

using Sorvil::QvErrorHandler;

namespace {

// Texts this long are not echoed in messages.
constexpr std::size_t kMaxEchoedText = 2048;
constexpr std::string_view kCXCharacters = ",ao&:0123456789r";

using Pellar::IsBlank;
using Pellar::TrimBlanks;

// The parser's own hydrogen rule for atoms written without brackets, from
// s = twice the sum of the bond orders (an aromatic bond counting 1.5).
unsigned ImplicitHydrogens(const QvAtomBase& atom) {
  unsigned s = 0;
  for (const QvBondBase& bond : atom.GetBonds()) s += bond.GetIntType() == 5 ? 3 : 2 * bond.GetIntType();
  if (s >= 12) return 0;
  const unsigned v = s / 2;
  const auto upto = [v](unsigned target) { return target > v ? target - v : 0; };
  const bool aromatic = atom.IsAromatic();
  switch (atom.GetAtomicNum()) {
    case 5: return upto(3);
    case 6:
      if (!aromatic) return upto(4);
      if (s == 0) return 3;
      if (s == 2 || s == 3) return 2;
      if (s == 4) return atom.GetExplicitDegree() == 1 ? 2 : 1;
      if (s == 5) return 1;
      return upto(4);
    case 7:
    case 15:
    case 33:
      if (aromatic) return s == 0 ? 2 : (s >= 2 && s <= 4) ? 1 : 0;
      return upto(v >= 4 ? 5 : 3);
    case 8: return aromatic ? 0 : upto(2);
    case 9:
    case 17:
    case 35:
    case 53: return upto(1);
    case 16:
    case 34:
    case 52:
      if (aromatic) return 0;
      return upto(v <= 2 ? 2 : v <= 4 ? 4 : 6);
    default: return 0;
  }
}

// Which side of a double bond at `center` the neighbour across `bond` lies
// on: +1 or -1 from the bond's direction mark (which is seen from the
// bond's begin atom).
int SideOf(const QvBondBase& bond, const QvAtomBase* center, int mark) {
  return bond.GetBgn() == center ? -mark : mark;
}

}  // namespace

// ---- end of the pass ----

bool QvSmilesParser::EndChecks() {
  if (open_rings_) {
    CloseOpenRings();
    return Fail("Unclosed ring.");
  }
  if (options_.strict && !prev_) {
    if (text_.empty()) return Fail("Empty string is not allowed in strict mode");
    if (text_.front() == ' ') return Fail("Leading space is not allowed in strict mode");
    return Fail("Strict mode without previous atom.");
  }
  if (order_) return Fail("Bond without end atom.");
  if (!branches_.empty()) return Fail("Unclosed branch.");
  if (reaction_ && role_ != 3) return Fail("Incorrect reaction role.");
  return true;
}

// An open ring closure ends on a wildcard atom that carries the ring number
// as its isotope, so that no bond is left with an empty end.
void QvSmilesParser::CloseOpenRings() {
  for (unsigned n = 0; n < rings_.size(); ++n) {
    QvBondBase* bond = rings_[n];
    if (!bond) continue;
    QvAtomBase* atom = mol_->NewAtom(0);
    atom->SetIsotope(n);
    bracket_.push_back(0);
    if (bond->GetIntType() == 0) {
      bond->SetIntType(1);
      bond->SetOrder(1);
    }
    bond->SetEnd(atom);
    rings_[n] = nullptr;
  }
  open_rings_ = 0;
}

// ---- the tail: CX block and title ----

void QvSmilesParser::ParseTail() {
  if (!pass_done_) {
    // After a grammar error the title is what follows the next blank.
    const std::size_t blank = text_.find_first_of(" \t", pos_);
    title_ = blank == std::string_view::npos ? std::string_view() : TrimBlanks(text_.substr(blank));
    return;
  }
  std::string_view rest = text_.substr(smiles_end_);
  full_rest_ = TrimBlanks(rest);
  if (options_.cx) TakeCXBlock(rest);
  title_ = TrimBlanks(rest);
}

// Takes a "|...|" block from the front of `rest` when it is one this parser
// understands; an unsupported block is dropped with a warning, and a "|"
// that does not start a well-formed block stays in the title.
bool QvSmilesParser::TakeCXBlock(std::string_view& rest) {
  std::size_t open = 0;
  while (open < rest.size() && IsBlank(rest[open])) ++open;
  if (open == rest.size() || rest[open] != '|') return false;
  std::size_t close = open + 1;
  while (close < rest.size() && !(rest[close] == '|' && (close + 1 == rest.size() || IsBlank(rest[close + 1]))))
    ++close;
  if (close >= rest.size()) {
    cx_like_title_ = true;
    return false;
  }
  const std::string_view block = rest.substr(open + 1, close - open - 1);
  rest.remove_prefix(close + 1);
  if (block.find_first_not_of(kCXCharacters) != std::string_view::npos) {
    QvErrorHandler::Warning("cxsmiles information was ignored.");
    cx_ignored_ = true;
    return false;
  }
  groups_ok_ = ParseStereoGroups(block);
  return true;
}

// Fields separated by ",": "a:i,j,...", "o<n>:i,...", "&<n>:i,...", or "r"
// (every stereo centre not in a group joins a new "&" group).
bool QvSmilesParser::ParseStereoGroups(std::string_view block) {
  std::size_t i = 0;
  const auto number = [&](unsigned& value) {
    if (i >= block.size() || block[i] < '0' || block[i] > '9') return false;
    value = 0;
    while (i < block.size() && block[i] >= '0' && block[i] <= '9') {
      value = value * 10 + static_cast<unsigned>(block[i++] - '0');
      if (value > 1000000) return false;
    }
    return true;
  };
  const auto digit_follows = [&] { return i + 1 < block.size() && block[i + 1] >= '0' && block[i + 1] <= '9'; };
  while (i < block.size()) {
    const char kind = block[i++];
    if (kind == 'r') {
      racemic_ = true;
    } else {
      unsigned group = 0;
      if (kind == 'o' || kind == '&') {
        if (!number(group) || group == 0) return false;
      } else if (kind != 'a') {
        return false;
      }
      if (i >= block.size() || block[i++] != ':') return false;
      for (;;) {
        unsigned atom = 0;
        if (!number(atom)) return false;
        groups_.push_back({atom, kind, group});
        if (i >= block.size() || block[i] != ',' || !digit_follows()) break;
        ++i;
      }
    }
    if (i == block.size()) break;
    if (block[i++] != ',' || i == block.size()) return false;
  }
  return true;
}

// ---- finishing ----

void QvSmilesParser::Finish() {
  AddLabelAtoms();
  AssignReactionRoles();
  MarkRingAromaticBonds();
  AssignImplicitHydrogens();
  if (options_.cx && cx_like_title_)
    QvErrorHandler::Warning("Problem parsing ambiguous or unsupported CXSMILES-like TITLE: %s", mol_->GetTitle());
  AssignAtomStereo();
  AssignBondStereo();
  mol_->SetPerceived(QvPerceivedAtomStereo | QvPerceivedBondStereo, true);
}

void QvSmilesParser::AddLabelAtoms() {
  for (const Label& label : labels_) {
    QvAtomBase* atom = mol_->NewAtom(0);
    atom->SetMapIdx(label.label);
    bracket_.push_back(0);
    AddBond(label.atom, atom, label.order ? label.order : 1);
  }
}

void QvSmilesParser::AssignReactionRoles() {
  if (!reaction_) return;
  for (QvAtomBase& atom : mol_->GetAtoms()) {
    if (atom.GetIdx() < first_idx_) continue;
    if (atom.GetRxnRole() != 0) break;
    atom.SetRxnRole(1);
  }
}

void QvSmilesParser::MarkRingAromaticBonds() {
  QvPerceiveRings(*mol_);
  for (QvBondBase& bond : mol_->GetBonds())
    if (bond.GetIdx() >= first_bond_idx_ && bond.GetIntType() == 5 && bond.IsInRing()) bond.SetAromatic(true);
}

void QvSmilesParser::AssignImplicitHydrogens() {
  for (QvAtomBase& atom : mol_->GetAtoms()) {
    const unsigned k = atom.GetIdx() - first_idx_;
    if (atom.GetIdx() < first_idx_ || (k < bracket_.size() && bracket_[k])) continue;
    if (const unsigned h = ImplicitHydrogens(atom)) atom.SetImplicitHCount(h);
  }
}

// The neighbours in bond-list order, which is the written order; the lone
// pair of an atom with three connections goes where lonepair.h says.
void QvSmilesParser::AssignAtomStereo() {
  bool ok = true;
  std::vector<const QvAtomBase*> nbrs;
  for (const Chiral& chiral : chirals_) {
    nbrs.clear();
    bool all_single = true;
    for (const QvBondBase& bond : chiral.atom->GetBonds()) {
      nbrs.push_back(bond.GetNbr(chiral.atom));
      all_single = all_single && bond.GetIntType() == 1;
    }
    bool clockwise = chiral.clockwise;
    if (nbrs.size() == 3 && chiral.atom->GetImplicitHCount() == 0) {
      nbrs.insert(nbrs.begin() + 1, nullptr);
      clockwise = clockwise != QvLonePairFlipsHand(chiral.ring_digits, all_single);
    }
    const QvChirality chirality = clockwise ? QvChirality::Clockwise : QvChirality::Anticlockwise;
    ok = QvSetAtomStereo(*chiral.atom, nbrs, chirality) && ok;
  }
  ok = AssignStereoGroups() && ok;
  if (!ok && options_.cx) {
    QvErrorHandler::Warning("Problem parsing SMILES:");
    QvErrorHandler::Warning("Probable enhanced stereogroup definition issue.");
    ReportText();
    mol_->SetTitle(std::string(full_rest_));
  }
}

bool QvSmilesParser::AssignStereoGroups() {
  if (!groups_ok_) return false;
  unsigned next_and = 1;
  for (const StereoGroupEntry& entry : groups_) {
    if (entry.atom >= written_.size() || !QvHasAtomStereo(*written_[entry.atom])) return false;
    QvAtomBase& atom = *written_[entry.atom];
    if (QvGetStereoGroup(atom).kind != QvStereoGroupKind::None) return false;
    const QvStereoGroupKind kind = entry.kind == 'a'   ? QvStereoGroupKind::Absolute
                                   : entry.kind == 'o' ? QvStereoGroupKind::Or
                                                       : QvStereoGroupKind::And;
    if (!QvSetStereoGroup(atom, {kind, entry.number})) return false;
    if (kind == QvStereoGroupKind::And) next_and = std::max(next_and, entry.number + 1);
  }
  if (racemic_)
    for (const Chiral& chiral : chirals_)
      if (QvHasAtomStereo(*chiral.atom) && QvGetStereoGroup(*chiral.atom).kind == QvStereoGroupKind::None)
        QvSetStereoGroup(*chiral.atom, {QvStereoGroupKind::And, next_and});
  return true;
}

// Each double bond with marked neighbours at both ends gets a configuration
// from the first marked neighbour at each end; two marked neighbours at one
// end must lie on opposite sides, and a bond marked twice (at both ends of
// a ring closure) must be marked alike.
void QvSmilesParser::AssignBondStereo() {
  bool consistent = true;
  bond_mark_.assign(mol_->GetMaxBondIdx() - first_bond_idx_, 0);
  for (const Mark& m : marks_) {
    std::int8_t& slot = bond_mark_[m.bond->GetIdx() - first_bond_idx_];
    if (slot && slot != m.mark) consistent = false;
    slot = static_cast<std::int8_t>(m.mark);
  }
  if (!marks_.empty())
    for (QvBondBase& bond : mol_->GetBonds())
      if (bond.GetIdx() >= first_bond_idx_ && bond.GetIntType() == 2 && bond.GetEnd())
        consistent = AssignDoubleBond(bond) && consistent;
  if (!consistent) {
    QvErrorHandler::Warning("Problem parsing SMILES:");
    QvErrorHandler::Warning("Inconsistent cis/trans bond stereo.");
    ReportText();
  }
}

// The first marked neighbour of `center` (not `other`) and its side; false
// when two marked neighbours lie on the same side.
bool QvSmilesParser::MarkedNeighbour(const QvAtomBase* center, const QvAtomBase* other, const QvAtomBase*& ref,
                                     int& side) const {
  ref = nullptr;
  side = 0;
  for (const QvBondBase& bond : center->GetBonds()) {
    const QvAtomBase* nbr = bond.GetNbr(center);
    if (nbr == other || bond.GetIdx() < first_bond_idx_) continue;
    const int mark = bond_mark_[bond.GetIdx() - first_bond_idx_];
    if (!mark) continue;
    const int s = SideOf(bond, center, mark);
    if (!ref) {
      ref = nbr;
      side = s;
    } else if (s == side) {
      return false;
    }
  }
  return true;
}

// Marks around a double bond with no marked neighbour at one end (a
// carbonyl between two marked bonds of a conjugated chain) say nothing
// about it, so they cannot contradict each other there.
bool QvSmilesParser::AssignDoubleBond(QvBondBase& bond) {
  const QvAtomBase* ref_bgn = nullptr;
  const QvAtomBase* ref_end = nullptr;
  int side_bgn = 0;
  int side_end = 0;
  const bool bgn_ok = MarkedNeighbour(bond.GetBgn(), bond.GetEnd(), ref_bgn, side_bgn);
  const bool end_ok = MarkedNeighbour(bond.GetEnd(), bond.GetBgn(), ref_end, side_end);
  if (!ref_bgn || !ref_end) return true;
  if (!bgn_ok || !end_ok) return false;
  QvSetBondStereo(bond, ref_bgn, ref_end, side_bgn == side_end ? QvBondConfig::Cis : QvBondConfig::Trans);
  return true;
}

// ---- bond orders ----

bool QvSmilesParser::SetOrders() {
  bool unresolved = false;
  for (QvBondBase& bond : mol_->GetBonds()) {
    if (bond.GetIdx() < first_bond_idx_) continue;
    bond.SetOrder(bond.GetIntType());
    unresolved = unresolved || bond.GetIntType() == kQvAromaticOrder;
  }
  if (!unresolved) return true;
  if (options_.noKekulization) {
    if (!options_.quiet)
      QvErrorHandler::Warning("%s : molecule has bond(s) with incorrect bond order due to skipping kekulization!",
                              "QvParseSmiles()");
    return true;
  }
  if (QvKekulize(*mol_)) return true;
  if (!options_.quiet) {
    QvErrorHandler::Warning("%s : unable to Kekulize SMILES:", "QvParseSmiles()");
    QvErrorHandler::Warning("%.*s", static_cast<int>(text_.size()), text_.data());
  }
  return false;
}

// ---- messages ----

void QvSmilesParser::ReportText() const {
  if (text_.size() < kMaxEchoedText) QvErrorHandler::Warning("%.*s", static_cast<int>(text_.size()), text_.data());
}

void QvSmilesParser::ReportFailure() const {
  if (options_.quiet) return;
  QvErrorHandler::Warning("Problem parsing SMILES:");
  if (reason_) QvErrorHandler::Warning("%s", reason_);
  if (text_.size() >= kMaxEchoedText) return;
  ReportText();
  QvErrorHandler::Warning("%s^\n", std::string(error_pos_, ' ').c_str());
}

// ---- the whole parse ----

bool QvSmilesParser::Parse(QvMolBase& mol, std::string_view text, const QvSmilesParseOptions& options) {
  Reset(mol, text, options);
  const bool ok = MainPass() && EndChecks();
  if (!ok) {
    CloseOpenRings();
    ReportFailure();
  }
  ParseTail();
  mol.SetTitle(std::string(title_));
  Finish();
  return ok && SetOrders();
}

bool QvParseSmiles(QvMolBase& mol, std::string_view text, const QvSmilesParseOptions& options) {
  // The parser's lists keep their capacity from line to line.
  thread_local QvSmilesParser parser;
  return parser.Parse(mol, text, options);
}

bool QvParseSmiles(QvMolBase& mol, const std::string& text, bool noKekulization, bool strict) {
  return QvParseSmiles(mol, text, QvSmilesParseOptions{noKekulization, strict, false, false});
}

}  // namespace Tamrin
