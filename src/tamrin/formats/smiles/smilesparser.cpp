// The main pass of the SMILES parser: atoms, bonds, branches, ring closures,
// "&" labels, reactions and bracket atoms. The tail (CX block, title) and
// the whole-molecule steps are in smilesfinish.cpp.
#include "tamrin/formats/smiles/smilesparser.h"

#include <algorithm>

#include "tamrin/chem/elements.h"
#include "tamrin/model/molbase.h"

namespace Tamrin {

namespace {

bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool IsLower(unsigned char c) { return c >= 'a' && c <= 'z'; }
bool IsUpper(unsigned char c) { return c >= 'A' && c <= 'Z'; }
char Upper(char c) { return IsLower(static_cast<unsigned char>(c)) ? static_cast<char>(c - 'a' + 'A') : c; }

constexpr unsigned kMaxStereoH = 8;
constexpr unsigned kMaxBracketZ = 255;
constexpr unsigned kMaxChiralRun = 30;

// Lower-case bracket symbols that mean an aromatic atom; the other elements
// may be written in lower case but stay non-aromatic.
constexpr std::string_view kAromaticSymbols[] = {"b",  "c",  "n",  "o",  "p",  "s",  "al", "as", "bi", "ga",
                                                 "ge", "in", "pb", "po", "sb", "se", "si", "sn", "te", "tl"};

bool AromaticSymbol(std::string_view symbol) {
  return std::find(std::begin(kAromaticSymbols), std::end(kAromaticSymbols), symbol) != std::end(kAromaticSymbols);
}

// The element named by one or two letters in either case of the first
// letter (the second is lower case), or 0.
unsigned ElementOf(std::string_view letters) {
  char symbol[2] = {Upper(letters[0]), letters.size() > 1 ? letters[1] : '\0'};
  return QvGetAtomicNum(std::string_view(symbol, letters.size()));
}

}  // namespace

void QvSmilesParser::Reset(QvMolBase& mol, std::string_view text, const QvSmilesParseOptions& options) {
  mol_ = &mol;
  options_ = options;
  text_ = text;
  pos_ = 0;
  smiles_end_ = 0;
  pass_done_ = false;
  prev_ = nullptr;
  order_ = 0;
  mark_ = 0;
  branches_.clear();
  rings_.fill(nullptr);
  open_rings_ = 0;
  labels_.clear();
  marks_.clear();
  chirals_.clear();
  stereo_h_.clear();
  bracket_.clear();
  written_.clear();
  groups_.clear();
  reaction_ = false;
  role_ = 0;
  first_idx_ = mol.GetMaxAtomIdx();
  cx_ignored_ = false;
  cx_like_title_ = false;
  title_ = {};
  full_rest_ = {};
  groups_ok_ = true;
  racemic_ = false;
  first_bond_idx_ = mol.GetMaxBondIdx();
  bond_mark_.clear();
  reason_ = nullptr;
  error_pos_ = 0;
}

bool QvSmilesParser::Fail(const char* reason) {
  reason_ = reason;
  error_pos_ = pos_;
  return false;
}

// ---- the main pass ----

bool QvSmilesParser::MainPass() {
  if (!options_.strict)
    while (pos_ < text_.size() && text_[pos_] == ' ') ++pos_;
  while (pos_ < text_.size() && text_[pos_] != ' ' && text_[pos_] != '\t')
    if (!Step(static_cast<unsigned char>(text_[pos_]))) return false;
  smiles_end_ = pos_;
  pass_done_ = true;
  return true;
}

// One element of the grammar starting at the read position; advances past it.
bool QvSmilesParser::Step(unsigned char c) {
  switch (c) {
    case '-': return BondSymbol(1);
    case '=': return BondSymbol(2);
    case '#': return BondSymbol(3);
    case '$': return BondSymbol(4);
    case ':': return BondSymbol(5);
    case '/': return Direction(-1);
    case '\\': return Direction(+1);
    case '(': return OpenBranch();
    case ')': return CloseBranch();
    case '.': return Dot();
    case '>': return ReactionArrow();
    case '%': return PercentRing();
    case '&': return LabelBond();
    case '[': return BracketAtom();
    case '{': return Annotation();
    case '*': ++pos_; AddAtom(0, false); return true;
    case 'B': case 'C': case 'N': case 'O': case 'P': case 'S': case 'F': case 'I':
      return OrganicAtom(c);
    case 'b': case 'c': case 'n': case 'o': case 'p': case 's':
      return AromaticAtom(c);
    case 'H': case 'h': case 'D': case 'd': case 'T': case 't':
      return HydrogenAtom(c);
    default:
      if (IsDigit(c)) {
        ++pos_;
        return RingClosure(c - '0');
      }
      return Fail();
  }
}

bool QvSmilesParser::BondSymbol(unsigned order) {
  if (!prev_ || (options_.strict && order_)) return Fail();
  order_ = order;
  ++pos_;
  return true;
}

bool QvSmilesParser::Direction(int mark) {
  if (!prev_ || (options_.strict && order_)) return Fail();
  ++pos_;
  if (mark > 0 && !options_.strict && pos_ < text_.size() && text_[pos_] == '\\') ++pos_;
  mark_ = mark;
  return true;
}

bool QvSmilesParser::OpenBranch() {
  if (order_ || (options_.strict && !prev_)) return Fail();
  branches_.push_back(prev_);
  ++pos_;
  return true;
}

bool QvSmilesParser::CloseBranch() {
  if (order_ || branches_.empty() || (options_.strict && !prev_)) return Fail();
  prev_ = branches_.back();
  branches_.pop_back();
  ++pos_;
  return true;
}

bool QvSmilesParser::Dot() {
  if (order_ || (options_.strict && !prev_)) return Fail();
  prev_ = nullptr;
  ++pos_;
  return true;
}

bool QvSmilesParser::ReactionArrow() {
  if (order_ || open_rings_ || role_ == 3) return Fail();
  role_ = role_ == 0 ? 2 : 3;
  reaction_ = true;
  prev_ = nullptr;
  ++pos_;
  return true;
}

bool QvSmilesParser::PercentRing() {
  ++pos_;
  if (pos_ + 1 >= text_.size() || !IsDigit(text_[pos_]) || !IsDigit(text_[pos_ + 1])) return Fail();
  const unsigned number = (text_[pos_] - '0') * 10u + (text_[pos_ + 1] - '0');
  pos_ += 2;
  return RingClosure(number);
}

unsigned QvSmilesParser::AromaticRule(const QvAtomBase* a, const QvAtomBase* b) const {
  return a->IsAromatic() && b->IsAromatic() ? 5 : 1;
}

QvBondBase* QvSmilesParser::AddBond(QvAtomBase* bgn, QvAtomBase* end, unsigned type) {
  QvBondBase* bond = mol_->NewBond(bgn, end, type);
  bond->SetIntType(type);
  return bond;
}

QvAtomBase* QvSmilesParser::AddAtom(unsigned atomic_num, bool aromatic) {
  QvAtomBase* atom = mol_->NewAtom(atomic_num);
  if (aromatic) atom->SetAromatic(true);
  if (role_) atom->SetRxnRole(role_);
  if (prev_) {
    QvBondBase* bond = AddBond(prev_, atom, order_ ? order_ : AromaticRule(prev_, atom));
    if (mark_) marks_.push_back({bond, mark_});
  } else {
    for (auto it = branches_.rbegin(); it != branches_.rend() && !*it; ++it) *it = atom;
  }
  order_ = 0;
  mark_ = 0;
  prev_ = atom;
  bracket_.push_back(0);
  written_.push_back(atom);
  return atom;
}

// Ring number `n` at the previous atom: opens the slot or closes it.
bool QvSmilesParser::RingClosure(unsigned n) {
  if (!prev_) return Fail();
  if (!chirals_.empty() && chirals_.back().atom == prev_) ++chirals_.back().ring_digits;
  QvBondBase*& slot = rings_[n];
  if (!slot) {
    slot = AddBond(prev_, nullptr, order_);
    if (mark_) marks_.push_back({slot, mark_});
    ++open_rings_;
  } else {
    QvAtomBase* bgn = slot->GetBgn();
    if (bgn == prev_ || bgn->IsConnected(prev_)) return Fail();
    if (slot->GetIntType() == 0) {
      const unsigned type = order_ ? order_ : AromaticRule(bgn, prev_);
      slot->SetIntType(type);
      slot->SetOrder(type);
    } else if (order_ && order_ != slot->GetIntType()) {
      return Fail();
    }
    slot->SetEnd(prev_);
    if (mark_) marks_.push_back({slot, -mark_});
    slot = nullptr;
    --open_rings_;
  }
  order_ = 0;
  mark_ = 0;
  return true;
}

// "&", an optional bond symbol, a label of one digit or "%" and two digits.
bool QvSmilesParser::LabelBond() {
  if (options_.strict || !prev_) return Fail();
  ++pos_;
  unsigned order = 0;
  int mark = 0;
  if (pos_ < text_.size()) {
    switch (text_[pos_]) {
      case '-': order = 1; break;
      case '=': order = 2; break;
      case '#': order = 3; break;
      case '$': order = 4; break;
      case ':': order = 5; break;
      case '/': mark = -1; break;
      case '\\': mark = 1; break;
      default: break;
    }
    if (order || mark) ++pos_;
  }
  unsigned label = 0;
  if (pos_ < text_.size() && text_[pos_] == '%') {
    if (pos_ + 2 >= text_.size() || !IsDigit(text_[pos_ + 1]) || !IsDigit(text_[pos_ + 2])) return Fail();
    label = (text_[pos_ + 1] - '0') * 10u + (text_[pos_ + 2] - '0');
    pos_ += 3;
  } else if (pos_ < text_.size() && IsDigit(text_[pos_])) {
    label = text_[pos_++] - '0';
  } else {
    return Fail();
  }
  const auto known = std::find_if(labels_.begin(), labels_.end(), [&](const Label& l) { return l.label == label; });
  if (known == labels_.end()) {
    labels_.push_back({prev_, label, order, mark});
    return true;
  }
  if (known->order && order && known->order != order) return Fail();
  if (known->atom == prev_ || known->atom->IsConnected(prev_)) return Fail();
  const unsigned type = known->order ? known->order : order ? order : AromaticRule(known->atom, prev_);
  QvBondBase* bond = AddBond(known->atom, prev_, type);
  if (mark) marks_.push_back({bond, -mark});
  else if (known->mark) marks_.push_back({bond, known->mark});
  return true;
}

bool QvSmilesParser::OrganicAtom(unsigned char c) {
  const char next = pos_ + 1 < text_.size() ? text_[pos_ + 1] : '\0';
  unsigned atomic_num = ElementOf(std::string_view(reinterpret_cast<const char*>(&c), 1));
  std::size_t length = 1;
  if (c == 'B' && (next == 'r' || (next == 'R' && !options_.strict))) {
    atomic_num = 35;
    length = 2;
  } else if (c == 'C' && (next == 'l' || (next == 'L' && !options_.strict))) {
    atomic_num = 17;
    length = 2;
  }
  pos_ += length;
  AddAtom(atomic_num, false);
  return true;
}

bool QvSmilesParser::AromaticAtom(unsigned char c) {
  const char next = pos_ + 1 < text_.size() ? text_[pos_ + 1] : '\0';
  if (c == 'b') {
    if (options_.strict) return Fail();
    if (next == 'r' || next == 'R') {
      pos_ += 2;
      AddAtom(35, false);
      return true;
    }
  }
  ++pos_;
  AddAtom(ElementOf(std::string_view(reinterpret_cast<const char*>(&c), 1)), true);
  return true;
}

// Bare "H", "D" and "T" (either case): hydrogen and its isotopes.
bool QvSmilesParser::HydrogenAtom(unsigned char c) {
  if (options_.strict) return Fail();
  ++pos_;
  QvAtomBase* atom = AddAtom(1, false);
  const char upper = Upper(static_cast<char>(c));
  if (upper != 'H') atom->SetIsotope(upper == 'D' ? 2 : 3);
  return true;
}

// "{x}" with x one of the letters below: an annotation the parser skips.
bool QvSmilesParser::Annotation() {
  constexpr std::string_view kLetters = "ACENQRSTXZct";
  if (options_.strict || pos_ + 2 >= text_.size() || kLetters.find(text_[pos_ + 1]) == std::string_view::npos ||
      text_[pos_ + 2] != '}')
    return Fail();
  pos_ += 3;
  return true;
}

// ---- numbers ----

bool QvSmilesParser::Number(unsigned& value, unsigned max) {
  if (pos_ >= text_.size() || !IsDigit(text_[pos_])) return false;
  std::uint64_t v = 0;
  while (pos_ < text_.size() && IsDigit(text_[pos_])) {
    v = v * 10 + static_cast<unsigned>(text_[pos_] - '0');
    if (v > max) return false;
    ++pos_;
  }
  value = static_cast<unsigned>(v);
  return true;
}

bool QvSmilesParser::NonZeroLeadNumber(unsigned& value, unsigned max) {
  if (options_.strict && pos_ < text_.size() && text_[pos_] == '0') return false;
  return Number(value, max);
}

// ---- bracket atoms ----

bool QvSmilesParser::BracketAtom() {
  ++pos_;
  unsigned isotope = 0;
  if (pos_ < text_.size() && IsDigit(text_[pos_]) && !Number(isotope, 0xFFFFFFFFu)) return Fail();
  unsigned atomic_num = 0;
  unsigned map = 0;
  bool aromatic = false;
  const char* name = nullptr;
  std::size_t name_length = 0;
  if (!BracketSymbol(atomic_num, aromatic, isotope, map, name, name_length)) return Fail();

  QvAtomBase* atom = AddAtom(atomic_num, aromatic);
  if (isotope) atom->SetIsotope(isotope);
  if (name) atom->SetName(std::string(name, name_length));
  bracket_.back() = 1;

  Bracket bracket;
  if (!BracketProperties(bracket, map)) return Fail();
  if (map) atom->SetMapIdx(map);
  if (bracket.has_charge && !atom->SetFormalCharge(bracket.charge)) return Fail();
  ++pos_;  // the "]"
  if (bracket.chirality) {
    chirals_.push_back({atom, bracket.chirality == 2});
    if (bracket.h) return StereoHydrogens(atom, bracket.h);
  } else if (bracket.h && !atom->SetImplicitHCount(bracket.h)) {
    return Fail();
  }
  return true;
}

// The element (or wildcard) of a bracket atom. Sets `isotope` for "D" and
// "T", `map` for "R" and a number, `name` for a named wildcard.
bool QvSmilesParser::BracketSymbol(unsigned& atomic_num, bool& aromatic, unsigned& isotope, unsigned& map,
                                   const char*& name, std::size_t& name_length) {
  if (pos_ >= text_.size()) return false;
  const char* at = text_.data() + pos_;
  std::size_t lower = 0;
  while (pos_ + 1 + lower < text_.size() && IsLower(text_[pos_ + 1 + lower])) ++lower;
  if (IsUpper(at[0]) && lower >= 2) {
    atomic_num = 0;
    name = at;
    name_length = 1 + lower;
    pos_ += name_length;
    return true;
  }
  if (at[0] == '#') {
    ++pos_;
    return Number(atomic_num, kMaxBracketZ);
  }
  if (at[0] == '*') {
    ++pos_;
    atomic_num = 0;
    return true;
  }
  if (!IsUpper(at[0]) && !IsLower(at[0])) return false;
  for (std::size_t length = lower ? 2 : 1; length >= 1; --length) {
    const std::string_view letters(at, length);
    const unsigned z = ElementOf(letters);
    if (z >= 1 && z <= QvMaxAtomicNum) {
      atomic_num = z;
      aromatic = IsLower(at[0]) && AromaticSymbol(letters);
      pos_ += length;
      return true;
    }
  }
  if (options_.strict) return false;
  const char upper = Upper(at[0]);
  ++pos_;
  if (upper == 'R') {
    atomic_num = 0;
    return Number(map, 0xFFFFFFFFu);
  }
  if (upper == 'D' || upper == 'T') {
    atomic_num = 1;
    isotope = upper == 'D' ? 2 : 3;
    return true;
  }
  return false;
}

// Chirality, hydrogens and charge in any order, each at most once, then an
// optional class, then "]" (left at the read position).
bool QvSmilesParser::BracketProperties(Bracket& bracket, unsigned& map) {
  while (pos_ < text_.size()) {
    switch (text_[pos_]) {
      case ']': return true;
      case '@':
        if (bracket.has_chirality || !Chirality(bracket)) return false;
        break;
      case 'H':
        if (bracket.has_h || !HydrogenCount(bracket)) return false;
        break;
      case '+':
      case '-':
        if (bracket.has_charge || !Charge(bracket)) return false;
        break;
      case ':': return AtomClass(map) && pos_ < text_.size() && text_[pos_] == ']';
      default: return false;
    }
  }
  return false;
}

bool QvSmilesParser::Chirality(Bracket& bracket) {
  bracket.has_chirality = true;
  std::size_t run = 0;
  while (pos_ < text_.size() && text_[pos_] == '@') {
    ++run;
    ++pos_;
  }
  if (run > kMaxChiralRun) return false;
  if (run >= 2) {
    if (run == 2) bracket.chirality = 2;
    return true;
  }
  if (pos_ < text_.size() && IsDigit(text_[pos_])) {
    unsigned n = 0;
    if (!NonZeroLeadNumber(n, kMaxChiralRun)) return false;
    bracket.chirality = n == 1 ? 1 : n == 2 ? 2 : 0;
    return true;
  }
  if (pos_ + 1 < text_.size() && IsUpper(text_[pos_]) && IsUpper(text_[pos_ + 1])) return ChiralityClass(bracket);
  bracket.chirality = 1;
  return true;
}

// "@TH", "@SP", "@OH", "@TB", "@AL" with an optional number.
bool QvSmilesParser::ChiralityClass(Bracket& bracket) {
  struct Class {
    std::string_view name;
    unsigned max;
  };
  constexpr Class kClasses[] = {{"TH", 2}, {"SP", 3}, {"OH", 30}, {"TB", 20}, {"AL", 2}};
  const std::string_view two = text_.substr(pos_, 2);
  const auto found = std::find_if(std::begin(kClasses), std::end(kClasses), [&](const Class& k) { return k.name == two; });
  if (found == std::end(kClasses)) return false;
  pos_ += 2;
  unsigned n = 1;
  const bool numbered = pos_ < text_.size() && IsDigit(text_[pos_]);
  if (numbered && !NonZeroLeadNumber(n, found->max)) return false;
  if (found->name == "TH") bracket.chirality = n == 1 ? 1 : n == 2 ? 2 : 0;
  return true;
}

bool QvSmilesParser::HydrogenCount(Bracket& bracket) {
  bracket.has_h = true;
  ++pos_;
  bracket.h = 1;
  if (pos_ < text_.size() && IsDigit(text_[pos_])) return NonZeroLeadNumber(bracket.h, 255);
  return true;
}

bool QvSmilesParser::Charge(Bracket& bracket) {
  bracket.has_charge = true;
  const char sign = text_[pos_];
  ++pos_;
  unsigned magnitude = 1;
  if (pos_ < text_.size() && IsDigit(text_[pos_])) {
    if (!NonZeroLeadNumber(magnitude, 0x7FFF)) return false;
  } else {
    while (pos_ < text_.size() && text_[pos_] == sign) {
      ++magnitude;
      ++pos_;
    }
  }
  bracket.charge = sign == '-' ? -static_cast<int>(magnitude) : static_cast<int>(magnitude);
  return true;
}

bool QvSmilesParser::AtomClass(unsigned& map) {
  ++pos_;
  unsigned value = 0;
  if (!Number(value, 0xFFFFFFFFu) || (options_.strict && value == 0)) return false;
  if (value) map = value;
  return true;
}

// Hydrogens written on a chiral atom become atoms, so that they take their
// place among the stereo neighbours.
bool QvSmilesParser::StereoHydrogens(QvAtomBase* atom, unsigned count) {
  if (count > kMaxStereoH) return Fail("Maximum of 8 explicit stereo hydrogens exceeded in SMILES input");
  for (unsigned i = 0; i < count; ++i) {
    QvAtomBase* h = mol_->NewAtom(1);
    if (role_) h->SetRxnRole(role_);
    AddBond(atom, h, 1);
    bracket_.push_back(1);
  }
  stereo_h_.push_back({atom, count});
  return true;
}

}  // namespace Tamrin
