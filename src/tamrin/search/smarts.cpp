#include "tamrin/search/smarts.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <set>

#include "tamrin/chem/elements.h"

namespace Tamrin {

QvQMolBase::QvQMolBase(const QvQMolBase& other)
    : atoms_(other.atoms_), bonds_(other.bonds_), nodes_(other.nodes_) {
  for (const auto& nested : other.recursive_) recursive_.push_back(std::make_unique<QvQMolBase>(*nested));
}

QvQMolBase& QvQMolBase::operator=(const QvQMolBase& other) {
  if (this != &other) *this = QvQMolBase(other);
  return *this;
}

void QvQMolBase::Clear() {
  atoms_.clear();
  bonds_.clear();
  nodes_.clear();
  recursive_.clear();
}

namespace {

using AP = QvQAtomPrim;
using BP = QvQBondPrim;

// Limits far above real queries that keep the recursive parts (the parser on
// $(...), expression evaluation, the writer's walk) off the end of the stack.
constexpr unsigned kMaxNesting = 64;
constexpr unsigned kMaxOperands = 256;
constexpr unsigned kMaxAtoms = 4096;
constexpr unsigned kMaxNumber = 1000000;

// Element symbols as written, exact case, for 1 to 118.
const std::map<std::string, unsigned, std::less<>>& Symbols() {
  static const auto* table = [] {
    auto* t = new std::map<std::string, unsigned, std::less<>>;
    for (unsigned z = 1; z <= 118; ++z) {
      const char* s = QvGetAtomicSymbol(z);
      if (s && *s) t->emplace(s, z);
    }
    return t;
  }();
  return *table;
}

unsigned ElementOf(std::string_view symbol) {
  const auto& t = Symbols();
  auto it = t.find(symbol);
  return it == t.end() ? 0 : it->second;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Stands for an atom's fourth stereo neighbour that the query does not name,
// and for a ring bond not closed yet, in lists of neighbour atoms.
constexpr unsigned kImplicit = ~0u;
constexpr unsigned kPending = ~0u - 1;

// Calls `fn` on every primitive node of the tree at `idx`.
template <class Fn>
void ForEachPrim(QvQMolBase& q, unsigned idx, const Fn& fn) {
  QvQNode& n = q.MutableNode(idx);
  switch (n.op) {
    case QvQOp::Prim: fn(n); return;
    case QvQOp::Not: ForEachPrim(q, n.left, fn); return;
    default:
      ForEachPrim(q, n.left, fn);
      ForEachPrim(q, n.right, fn);
  }
}

bool HasChirality(const QvQMolBase& q, unsigned idx) {
  const QvQNode& n = q.Node(idx);
  switch (n.op) {
    case QvQOp::Prim: return AP(n.prim) == AP::Chirality;
    case QvQOp::Not: return HasChirality(q, n.left);
    default: return HasChirality(q, n.left) || HasChirality(q, n.right);
  }
}

// Whether the atom names a hydrogen count of one or more along its chain of
// ands, as [C@H] does: then a hydrogen takes the place of the fourth
// neighbour where SMILES puts it.
bool NamesHydrogen(const QvQMolBase& q, unsigned idx) {
  const QvQNode& n = q.Node(idx);
  if (n.op == QvQOp::Prim) return AP(n.prim) == AP::TotalH && n.value > 0;
  if (n.op == QvQOp::And || n.op == QvQOp::AndLow) return NamesHydrogen(q, n.left) || NamesHydrogen(q, n.right);
  return false;
}

// The order in which the stored chirality of `atom` reads its neighbours:
// along the bonds, the fourth neighbour last.
std::vector<unsigned> StoredOrder(const QvQMolBase& q, unsigned atom) {
  std::vector<unsigned> order;
  for (const QvQBond& b : q.Bonds()) {
    if (b.bgn == atom) order.push_back(b.end);
    else if (b.end == atom) order.push_back(b.bgn);
  }
  if (order.size() == 3) order.push_back(kImplicit);
  return order;
}

// The neighbours of a stereo centre as the text reads them: `written` in the
// order they appear, the fourth neighbour of an atom with three placed as in
// SMILES. That is right after the first neighbour, but first of all when the
// atom opens its chain and names its hydrogen ([C@H](F)(Cl)Br reads from the
// hydrogen). Empty when the atom has fewer than three or more than four.
std::vector<unsigned> TextOrder(const QvQMolBase& q, unsigned atom, std::vector<unsigned> written, bool opens_chain) {
  if (written.size() == 3) {
    const bool first = opens_chain && NamesHydrogen(q, q.Atoms()[atom].expr);
    written.insert(written.begin() + (first ? 0 : 1), kImplicit);
  }
  if (written.size() != 4) written.clear();
  return written;
}

// Whether `a` is an odd permutation of `b` (same elements, at most four).
bool OddPermutation(const std::vector<unsigned>& a, const std::vector<unsigned>& b) {
  std::array<std::size_t, 4> pos{};
  for (std::size_t i = 0; i < a.size() && i < 4; ++i)
    pos[i] = std::size_t(std::find(b.begin(), b.end(), a[i]) - b.begin());
  unsigned inversions = 0;
  for (std::size_t i = 0; i < a.size() && i < 4; ++i)
    for (std::size_t j = i + 1; j < a.size() && j < 4; ++j) inversions += pos[i] > pos[j];
  return inversions % 2 == 1;
}

void FlipChirality(QvQNode& n) {
  if (n.op == QvQOp::Prim && AP(n.prim) == AP::Chirality && (n.value == 1 || n.value == 2)) n.value = 3 - n.value;
}

void FlipDirection(QvQNode& n) {
  if (n.op != QvQOp::Prim) return;
  if (BP(n.prim) == BP::Up) n.prim = std::uint8_t(BP::Down);
  else if (BP(n.prim) == BP::Down) n.prim = std::uint8_t(BP::Up);
}

class SmartsParser {
 public:
  SmartsParser(std::string_view text, unsigned depth) : text_(text), depth_(depth) {}

  // Parses from pos_ up to the end of the text or, nested, up to the ')'
  // that closes the $( at depth > 0.
  bool Parse(QvQMolBase& q, bool nested) {
    q_ = &q;
    struct Open {
      unsigned atom;
      unsigned bond_expr;
      bool has_bond;
      std::size_t pos;
      std::size_t slot;  // its place among the atom's written neighbours
    };
    std::map<unsigned, Open> rings;
    std::vector<int> branches;  // the atom each open branch returns to
    int prev = -1;
    bool pending_bond = false;
    unsigned bond_expr = 0;
    while (pos_ < text_.size()) {
      const char c = text_[pos_];
      if (c == ')' && branches.empty()) {
        if (nested) break;
        if (!group_) return Fail("unbalanced ')'");
        if (pending_bond) return Fail("bond without an atom after it");
        if (prev < 0) return Fail("empty component-level group");
        group_ = 0;
        ++pos_;
        if (Peek() != '\0' && Peek() != '.') return Fail("'.' expected after a component-level group");
        continue;
      }
      if (c == '(') {
        if (prev < 0) {  // at the start or after '.'
          if (nested) return Fail("component-level grouping inside $()");
          if (group_) return Fail("component-level groups do not nest");
          group_ = ++groups_;
          ++pos_;
          continue;
        }
        if (pending_bond) return Fail("bond before a branch");
        if (branches.size() >= kMaxNesting) return Fail("branches nested too deeply");
        branches.push_back(prev);
        ++pos_;
        continue;
      }
      if (c == ')') {
        if (pending_bond) return Fail("bond without an atom after it");
        if (pos_ > 0 && text_[pos_ - 1] == '(') return Fail("empty branch");
        prev = branches.back();
        branches.pop_back();
        ++pos_;
        continue;
      }
      if (c == '.') {
        if (prev < 0 || pending_bond || !branches.empty()) return Fail("misplaced '.'");
        prev = -1;
        ++pos_;
        continue;
      }
      if (c == '>') return Fail("reaction queries are not supported");
      if (IsDigit(c) || c == '%') {
        if (prev < 0) return Fail("ring closure before any atom");
        const std::size_t at = pos_;
        unsigned number = 0;
        if (!RingNumber(number)) return false;
        auto it = rings.find(number);
        if (it == rings.end()) {
          rings[number] = {static_cast<unsigned>(prev), bond_expr, pending_bond, at, written_[prev].size()};
          written_[prev].push_back(kPending);
        } else {
          const Open open = it->second;
          rings.erase(it);
          if (open.atom == static_cast<unsigned>(prev)) return Fail("ring closure to the same atom", at);
          if (q.Atoms()[open.atom].component != q.Atoms()[unsigned(prev)].component)
            return Fail("ring bond out of a component-level group", at);
          for (const QvQBond& b : q.Bonds())
            if ((b.bgn == open.atom && b.end == static_cast<unsigned>(prev)) ||
                (b.end == open.atom && b.bgn == static_cast<unsigned>(prev)))
              return Fail("ring closure duplicates a bond", at);
          // A bond written at both digits counts at the opening one, as RDKit
          // reads it; a direction written at the closing digit reads from
          // this atom.
          unsigned expr = open.has_bond  ? open.bond_expr
                          : pending_bond ? bond_expr
                                         : q.AddPrim(unsigned(BP::Default), 0);
          if (!open.has_bond && pending_bond) ForEachPrim(q, expr, FlipDirection);
          q.AddBond(open.atom, static_cast<unsigned>(prev), expr);
          written_[open.atom][open.slot] = unsigned(prev);
          written_[prev].push_back(open.atom);
        }
        pending_bond = false;
        continue;
      }
      if (IsBondStart(c)) {
        if (prev < 0) return Fail("bond before any atom");
        if (!BondExpr(bond_expr)) return false;
        pending_bond = true;
        continue;
      }
      unsigned expr = 0, map = 0;
      if (q.NumAtoms() >= kMaxAtoms) return Fail("more than 4096 atoms");
      if (!AtomToken(expr, map)) return false;
      const unsigned atom = q.AddAtom(expr, map, group_);
      written_.emplace_back();
      opens_chain_.push_back(prev < 0);
      if (prev >= 0) {
        q.AddBond(static_cast<unsigned>(prev), atom, pending_bond ? bond_expr : q.AddPrim(unsigned(BP::Default), 0));
        written_[prev].push_back(atom);
        written_[atom].push_back(unsigned(prev));
      }
      pending_bond = false;
      prev = static_cast<int>(atom);
    }
    if (pending_bond) return Fail("bond without an atom after it");
    if (!branches.empty()) return Fail("unclosed branch '('");
    if (!rings.empty()) return Fail("unclosed ring bond", rings.begin()->second.pos);
    if (group_) return Fail("unclosed component-level group '('");
    if (q.NumAtoms() == 0) return Fail(nested ? "empty $()" : "no atoms");
    if (prev < 0) return Fail("'.' at the end");
    StoreChirality(q);
    return true;
  }

  const std::string& Error() const { return error_; }
  std::size_t Pos() const { return pos_; }
  void SetPos(std::size_t pos) { pos_ = pos; }

 private:
  // Turns the chirality marks, written for the text's order of neighbours,
  // into the stored order's (qmol.h).
  void StoreChirality(QvQMolBase& q) {
    for (unsigned a = 0; a < q.NumAtoms(); ++a) {
      const unsigned expr = q.Atoms()[a].expr;
      if (!HasChirality(q, expr)) continue;
      const std::vector<unsigned> text = TextOrder(q, a, written_[a], opens_chain_[a]);
      if (!text.empty() && OddPermutation(text, StoredOrder(q, a))) ForEachPrim(q, expr, FlipChirality);
    }
  }

  bool Fail(const char* what) { return Fail(what, pos_); }
  bool Fail(const std::string& what, std::size_t at) {
    if (error_.empty()) {
      error_ = "SMARTS error at position " + std::to_string(at) + ": " + what + "\n  " + std::string(text_) + "\n  " +
               std::string(at, ' ') + "^";
    }
    return false;
  }

  char Peek(std::size_t ahead = 0) const { return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0'; }

  bool ReadNumber(unsigned& value) {
    if (!IsDigit(Peek())) return false;
    unsigned v = 0;
    while (IsDigit(Peek())) {
      v = v * 10 + unsigned(Peek() - '0');
      if (v > kMaxNumber) return Fail("number too large");
      ++pos_;
    }
    value = v;
    return true;
  }

  bool RingNumber(unsigned& number) {
    if (Peek() != '%') {
      number = unsigned(Peek() - '0');
      ++pos_;
      return true;
    }
    ++pos_;
    if (Peek() == '(') {
      ++pos_;
      if (!ReadNumber(number)) return Fail("ring number expected after '%('");
      if (Peek() != ')') return Fail("')' expected after the ring number");
      ++pos_;
      return true;
    }
    if (!IsDigit(Peek()) || !IsDigit(Peek(1))) return Fail("two digits expected after '%'");
    number = unsigned(Peek() - '0') * 10 + unsigned(Peek(1) - '0');
    pos_ += 2;
    return true;
  }

  static bool IsBondStart(char c) {
    return c == '-' || c == '=' || c == '#' || c == ':' || c == '~' || c == '@' || c == '/' || c == '\\' ||
           c == '!' || c == '&' || c == ',' || c == ';';
  }

  // ---- expressions: the same precedence climbing for atoms and bonds ----
  template <class PrimFn>
  bool LowAnd(unsigned& out, PrimFn prim, char close) {
    return Level(out, prim, close, 0);
  }
  // Level 0 joins with ';', level 1 with ','; level 2 is HighAnd.
  template <class PrimFn>
  bool Level(unsigned& out, PrimFn prim, char close, int level) {
    if (level == 2) return HighAnd(out, prim, close);
    const char separator = level == 0 ? ';' : ',';
    if (!Level(out, prim, close, level + 1)) return false;
    while (Peek() == separator) {
      ++pos_;
      unsigned rhs = 0;
      if (!Level(rhs, prim, close, level + 1)) return false;
      out = q_->AddOp(level == 0 ? QvQOp::AndLow : QvQOp::Or, out, rhs);
    }
    return true;
  }
  template <class PrimFn>
  bool HighAnd(unsigned& out, PrimFn prim, char close) {
    if (!Not(out, prim, close)) return false;
    for (;;) {
      const char c = Peek();
      if (c == '&') {
        ++pos_;
      } else if (c == '\0' || c == ';' || c == ',' || c == close || !StartsPrimitive(c, close)) {
        return true;
      }
      unsigned rhs = 0;
      if (!Not(rhs, prim, close)) return false;
      out = q_->AddOp(QvQOp::And, out, rhs);
    }
  }
  template <class PrimFn>
  bool Not(unsigned& out, PrimFn prim, char) {
    if (++operands_ > kMaxOperands) return Fail("expression too long");
    bool negate = false;
    for (; Peek() == '!'; ++pos_) negate = !negate;
    if (!(this->*prim)(out)) return false;
    if (negate) out = q_->AddOp(QvQOp::Not, out);
    return true;
  }
  // Inside brackets anything but the operators and the close starts a
  // primitive; a bond expression ends at the first character that is not
  // a bond primitive.
  bool StartsPrimitive(char c, char close) const {
    if (close == ']') return c != ']' && c != ':';
    return c == '-' || c == '=' || c == '#' || c == ':' || c == '~' || c == '@' || c == '/' || c == '\\' || c == '!';
  }

  bool BondExpr(unsigned& out) {
    operands_ = 0;
    return LowAnd(out, &SmartsParser::BondPrim, '\0');
  }

  bool BondPrim(unsigned& out) {
    BP prim;
    switch (Peek()) {
      case '-': prim = BP::Single; break;
      case '=': prim = BP::Double; break;
      case '#': prim = BP::Triple; break;
      case ':': prim = BP::Aromatic; break;
      case '~': prim = BP::Any; break;
      case '@': prim = BP::Ring; break;
      case '/': prim = BP::Up; break;
      case '\\': prim = BP::Down; break;
      default: return Fail("bond primitive expected");
    }
    ++pos_;
    out = q_->AddPrim(unsigned(prim), 0);
    return true;
  }

  // ---- atoms ----
  bool AtomToken(unsigned& expr, unsigned& map) {
    const char c = Peek();
    if (c == '[') return Bracket(expr, map);
    if (c == '*') return ++pos_, expr = q_->AddPrim(unsigned(AP::Any), 0), true;
    if (c == 'a') return ++pos_, expr = q_->AddPrim(unsigned(AP::Aromatic), 0), true;
    if (c == 'A') return ++pos_, expr = q_->AddPrim(unsigned(AP::Aliphatic), 0), true;
    if (c == 'C' && Peek(1) == 'l') return pos_ += 2, expr = q_->AddPrim(unsigned(AP::AliphaticElement), 17), true;
    if (c == 'B' && Peek(1) == 'r') return pos_ += 2, expr = q_->AddPrim(unsigned(AP::AliphaticElement), 35), true;
    static constexpr std::string_view kOrganic = "BCNOPSFI";
    static constexpr std::array<int, 8> kOrganicZ = {5, 6, 7, 8, 15, 16, 9, 53};
    static constexpr std::string_view kAromatic = "bcnops";
    static constexpr std::array<int, 6> kAromaticZ = {5, 6, 7, 8, 15, 16};
    if (auto i = kOrganic.find(c); i != std::string_view::npos)
      return ++pos_, expr = q_->AddPrim(unsigned(AP::AliphaticElement), kOrganicZ[i]), true;
    if (auto i = kAromatic.find(c); i != std::string_view::npos)
      return ++pos_, expr = q_->AddPrim(unsigned(AP::AromaticElement), kAromaticZ[i]), true;
    if (c == ')' || c == '(') return Fail("atom expected");
    return Fail(std::string("unexpected character '") + c + "'", pos_);
  }

  bool Bracket(unsigned& expr, unsigned& map) {
    const std::size_t open = pos_;
    ++pos_;
    bracket_start_ = pos_;
    operands_ = 0;
    if (!LowAnd(expr, &SmartsParser::AtomPrim, ']')) return false;
    if (Peek() == ':') {
      ++pos_;
      if (!ReadNumber(map)) return Fail("atom map number expected after ':'");
    }
    if (Peek() != ']') return Fail(Peek() == '\0' ? std::string("unclosed '['") : "']' expected", Peek() ? pos_ : open);
    ++pos_;
    return true;
  }

  // Numbers after H D X v R r x h: absent means the default given.
  bool Counted(unsigned& out, AP prim, int absent) {
    ++pos_;
    unsigned n = 0;
    int value = absent;
    if (IsDigit(Peek())) {
      if (!ReadNumber(n)) return false;
      value = static_cast<int>(n);
    }
    out = q_->AddPrim(unsigned(prim), value);
    return true;
  }

  bool AtomPrim(unsigned& out) {
    const char c = Peek();
    const char d = Peek(1);
    if (IsDigit(c)) {
      unsigned mass = 0;
      if (!ReadNumber(mass)) return false;
      out = q_->AddPrim(unsigned(AP::Isotope), static_cast<int>(mass));
      return true;
    }
    switch (c) {
      case '*': ++pos_; out = q_->AddPrim(unsigned(AP::Any), 0); return true;
      case '#': {
        ++pos_;
        unsigned z = 0;
        if (!ReadNumber(z)) return Fail("atomic number expected after '#'");
        out = q_->AddPrim(unsigned(AP::AtomicNum), static_cast<int>(z));
        return true;
      }
      case '+':
      case '-': {
        const int sign = c == '+' ? 1 : -1;
        int count = 0;
        while (Peek() == c) ++pos_, ++count;
        unsigned n = 0;
        if (count == 1 && IsDigit(Peek())) {
          if (!ReadNumber(n)) return false;
          count = static_cast<int>(n);
        }
        out = q_->AddPrim(unsigned(AP::Charge), sign * count);
        return true;
      }
      case '@': {
        ++pos_;
        int value = 1;
        if (Peek() == '@') ++pos_, value = 2;
        out = q_->AddPrim(unsigned(AP::Chirality), value);
        return true;
      }
      case '$': {
        if (d != '(') return Fail("'(' expected after '$'");
        if (depth_ + 1 >= kMaxNesting) return Fail("$() nested too deeply");
        pos_ += 2;
        auto nested = std::make_unique<QvQMolBase>();
        SmartsParser inner(text_, depth_ + 1);
        inner.SetPos(pos_);
        if (!inner.Parse(*nested, true)) {
          error_ = inner.Error();
          return false;
        }
        pos_ = inner.Pos();
        if (Peek() != ')') return Fail("unclosed '$('");
        ++pos_;
        out = q_->AddPrim(unsigned(AP::Recursive), static_cast<int>(q_->AddRecursive(std::move(nested))));
        return true;
      }
      default: break;
    }
    // Two-letter element symbols first: [Cl], [Rh], [se].
    if (c >= 'A' && c <= 'Z' && d >= 'a' && d <= 'z') {
      if (unsigned z = ElementOf(text_.substr(pos_, 2))) {
        pos_ += 2;
        out = q_->AddPrim(unsigned(AP::AliphaticElement), static_cast<int>(z));
        return true;
      }
    }
    if (c >= 'a' && c <= 'z' && d >= 'a' && d <= 'z') {
      const std::string_view two = text_.substr(pos_, 2);
      if (two == "se" || two == "as" || two == "te") {
        pos_ += 2;
        const std::string cap{char(c - 'a' + 'A'), d};
        out = q_->AddPrim(unsigned(AP::AromaticElement), static_cast<int>(ElementOf(cap)));
        return true;
      }
    }
    switch (c) {
      case 'H':
        if (IsHydrogenAtom()) {
          ++pos_;
          out = q_->AddPrim(unsigned(AP::AtomicNum), 1);
          return true;
        }
        return Counted(out, AP::TotalH, 1);
      case 'h': return Counted(out, AP::ImplicitH, -1);
      case 'D': return Counted(out, AP::Degree, 1);
      case 'X': return Counted(out, AP::Connectivity, 1);
      case 'v': return Counted(out, AP::Valence, 1);
      case 'R': return Counted(out, AP::RingCount, -1);
      case 'r': return Counted(out, AP::RingSize, -1);
      case 'x': return Counted(out, AP::RingConnectivity, -1);
      case 'a': ++pos_; out = q_->AddPrim(unsigned(AP::Aromatic), 0); return true;
      case 'A': ++pos_; out = q_->AddPrim(unsigned(AP::Aliphatic), 0); return true;
      default: break;
    }
    if (c >= 'A' && c <= 'Z') {
      if (unsigned z = ElementOf(text_.substr(pos_, 1))) {
        ++pos_;
        out = q_->AddPrim(unsigned(AP::AliphaticElement), static_cast<int>(z));
        return true;
      }
    }
    if (c == 'c' || c == 'n' || c == 'o' || c == 'p' || c == 's' || c == 'b') {
      ++pos_;
      const char cap[2] = {char(c - 'a' + 'A'), 0};
      out = q_->AddPrim(unsigned(AP::AromaticElement), static_cast<int>(ElementOf(cap)));
      return true;
    }
    if (c == '\0') return Fail("unclosed '['");
    return Fail(std::string("unexpected character '") + c + "' in an atom", pos_);
  }

  // H is the element when it opens the bracket (after a mass number) and
  // only a charge or a map follows.
  bool IsHydrogenAtom() const {
    std::size_t i = bracket_start_;
    while (i < pos_ && IsDigit(text_[i])) ++i;
    if (i != pos_) return false;
    const char next = Peek(1);
    return next == ']' || next == '+' || next == '-' || next == ':';
  }

  std::string_view text_;
  unsigned depth_;
  std::size_t pos_ = 0;
  std::size_t bracket_start_ = 0;
  unsigned operands_ = 0;
  QvQMolBase* q_ = nullptr;
  std::string error_;
  unsigned group_ = 0, groups_ = 0;  // the open component-level group, and how many were opened
  std::vector<std::vector<unsigned>> written_;  // per atom, its neighbours in the order written
  std::vector<bool> opens_chain_;                // per atom, written with no atom before it
};

// ---- writing ----

void WriteCount(std::string& out, char symbol, int value, int absent) {
  out += symbol;
  if (value != absent) out += std::to_string(value);
}

void WriteAtomPrim(std::string& out, const QvQMolBase& q, const QvQNode& n, bool flip) {
  switch (AP(n.prim)) {
    case AP::Any: out += '*'; break;
    case AP::AtomicNum:
      out += '#';
      out += std::to_string(n.value);
      break;
    case AP::AliphaticElement: {
      const char* s = QvGetAtomicSymbol(unsigned(n.value));
      if (s && *s) {
        out += s;
      } else {
        out += '#';
        out += std::to_string(n.value);
        out += "&A";
      }
      break;
    }
    case AP::AromaticElement: {
      const char* s = QvGetAtomicSymbol(unsigned(n.value));
      const std::string_view sv = s ? s : "";
      if (sv == "B" || sv == "C" || sv == "N" || sv == "O" || sv == "P" || sv == "S" || sv == "Se" || sv == "As" ||
          sv == "Te") {
        out += char(sv[0] - 'A' + 'a');
        out += sv.substr(1);
      } else {
        out += '#';
        out += std::to_string(n.value);
        out += "&a";
      }
      break;
    }
    case AP::Aromatic: out += 'a'; break;
    case AP::Aliphatic: out += 'A'; break;
    case AP::Isotope: out += std::to_string(n.value); break;
    case AP::Charge:
      out += n.value < 0 ? '-' : '+';
      out += std::to_string(n.value < 0 ? -n.value : n.value);
      break;
    case AP::TotalH: WriteCount(out, 'H', n.value, -2); break;
    case AP::ImplicitH: WriteCount(out, 'h', n.value, -1); break;
    case AP::Degree: WriteCount(out, 'D', n.value, -2); break;
    case AP::Connectivity: WriteCount(out, 'X', n.value, -2); break;
    case AP::Valence: WriteCount(out, 'v', n.value, -2); break;
    case AP::RingCount: WriteCount(out, 'R', n.value, -1); break;
    case AP::RingSize: WriteCount(out, 'r', n.value, -1); break;
    case AP::RingConnectivity: WriteCount(out, 'x', n.value, -1); break;
    case AP::Chirality: out += (n.value == 2) != flip ? "@@" : "@"; break;
    case AP::Recursive: {
      out += "$(";
      const auto& nested = q.Recursive();
      if (n.value >= 0 && unsigned(n.value) < nested.size()) out += QvCreateSmarts(*nested[unsigned(n.value)]);
      out += ')';
      break;
    }
  }
}

void WriteBondPrim(std::string& out, const QvQNode& n, bool flip) {
  static constexpr const char* kSymbols[] = {"", "~", "-", "=", "#", ":", "@", "/", "\\"};
  unsigned p = n.prim;
  if (flip && (BP(p) == BP::Up || BP(p) == BP::Down)) p = unsigned(BP(p) == BP::Up ? BP::Down : BP::Up);
  if (p < std::size(kSymbols)) out += kSymbols[p];
}

// `flip` writes the other hand of chirality marks (atoms) or the other
// direction of / and \ (bonds).
void WriteExpr(std::string& out, const QvQMolBase& q, unsigned idx, bool atom, bool flip = false) {
  const QvQNode& n = q.Node(idx);
  switch (n.op) {
    case QvQOp::Prim:
      if (atom) WriteAtomPrim(out, q, n, flip);
      else WriteBondPrim(out, n, flip);
      return;
    case QvQOp::Not:
      out += '!';
      WriteExpr(out, q, n.left, atom, flip);
      return;
    default: {
      // Operands come from a higher level of the grammar (or the same one on
      // the left), so no parentheses are ever needed.
      WriteExpr(out, q, n.left, atom, flip);
      out += n.op == QvQOp::And ? '&' : n.op == QvQOp::Or ? ',' : ';';
      WriteExpr(out, q, n.right, atom, flip);
      return;
    }
  }
}

// Atoms a bare symbol writes without brackets.
bool WriteBareAtom(std::string& out, const QvQMolBase& q, const QvQAtom& a) {
  if (a.map) return false;
  const QvQNode& n = q.Node(a.expr);
  if (n.op != QvQOp::Prim) return false;
  switch (AP(n.prim)) {
    case AP::Any: out += '*'; return true;
    case AP::Aromatic: out += 'a'; return true;
    case AP::Aliphatic: out += 'A'; return true;
    case AP::AliphaticElement:
    case AP::AromaticElement: {
      // The organic subset; aromatic forms only for the six that have one.
      static constexpr int kOrganic[] = {5, 6, 7, 8, 15, 16, 9, 17, 35, 53};
      const bool aromatic = AP(n.prim) == AP::AromaticElement;
      const auto end = std::end(kOrganic) - (aromatic ? 4 : 0);
      if (std::find(std::begin(kOrganic), end, n.value) == end) return false;
      std::string symbol = QvGetAtomicSymbol(unsigned(n.value));
      if (aromatic) symbol[0] = char(symbol[0] - 'A' + 'a');
      out += symbol;
      return true;
    }
    default: return false;
  }
}

class SmartsWriter {
 public:
  explicit SmartsWriter(const QvQMolBase& q) : q_(q), nbrs_(q.NumAtoms()), done_(q.NumAtoms(), false) {
    for (unsigned i = 0; i < q.NumBonds(); ++i) {
      nbrs_[q.Bonds()[i].bgn].push_back(i);
      nbrs_[q.Bonds()[i].end].push_back(i);
    }
  }

  std::string Write() {
    // Ring closures: bonds that the depth-first walk meets a second time.
    FindClosures();
    // Fragments in the order of their first atoms, those of a component-level
    // group together in one "(...)".
    for (unsigned root : roots_) {
      if (done_[root]) continue;
      const unsigned group = q_.Atoms()[root].component;
      if (!out_.empty()) out_ += '.';
      if (!group) {
        Walk(root, ~0u);
        continue;
      }
      out_ += '(';
      bool first = true;
      for (unsigned other : roots_) {
        if (done_[other] || q_.Atoms()[other].component != group) continue;
        if (!first) out_ += '.';
        first = false;
        Walk(other, ~0u);
      }
      out_ += ')';
    }
    return out_;
  }

 private:
  void FindClosures() {
    std::vector<bool> seen(q_.NumAtoms(), false), tree(q_.NumBonds(), false);
    visit_.assign(q_.NumAtoms(), 0);
    unsigned visited = 0;
    for (unsigned root = 0; root < q_.NumAtoms(); ++root) {
      if (seen[root]) continue;
      roots_.push_back(root);
      seen[root] = true;
      visit_[root] = visited++;
      // Iterative preorder that visits neighbours in bond order, as Walk does.
      std::vector<std::pair<unsigned, unsigned>> frames{{root, 0}};
      while (!frames.empty()) {
        auto& [atom, next] = frames.back();
        if (next == nbrs_[atom].size()) {
          frames.pop_back();
          continue;
        }
        const unsigned b = nbrs_[atom][next++];
        const unsigned other = q_.Bonds()[b].bgn == atom ? q_.Bonds()[b].end : q_.Bonds()[b].bgn;
        if (seen[other]) continue;
        seen[other] = true;
        visit_[other] = visited++;
        tree[b] = true;
        frames.push_back({other, 0});
      }
    }
    closure_.assign(q_.NumBonds(), false);
    for (unsigned b = 0; b < q_.NumBonds(); ++b) closure_[b] = !tree[b];
    ring_number_.assign(q_.NumBonds(), 0);
  }

  // `written` lists the neighbours in the order the text gives them.
  void WriteAtom(unsigned a, const std::vector<unsigned>& written, bool opens_chain) {
    const QvQAtom& atom = q_.Atoms()[a];
    if (WriteBareAtom(out_, q_, atom)) return;
    bool flip = false;
    if (HasChirality(q_, atom.expr)) {
      const std::vector<unsigned> text = TextOrder(q_, a, written, opens_chain);
      flip = !text.empty() && OddPermutation(text, StoredOrder(q_, a));
    }
    out_ += '[';
    WriteExpr(out_, q_, atom.expr, true, flip);
    if (atom.map) {
      out_ += ':';
      out_ += std::to_string(atom.map);
    }
    out_ += ']';
  }

  // The bond as read from `from`.
  void WriteBond(unsigned b, unsigned from) {
    WriteExpr(out_, q_, q_.Bonds()[b].expr, false, q_.Bonds()[b].bgn != from);
  }

  void WriteRingNumber(unsigned n) {
    if (n < 10) out_ += char('0' + n);
    else if (n < 100) out_ += '%', out_ += std::to_string(n);
    else out_ += "%(", out_ += std::to_string(n), out_ += ')';
  }

  unsigned Other(unsigned b, unsigned atom) const {
    const QvQBond& bond = q_.Bonds()[b];
    return bond.bgn == atom ? bond.end : bond.bgn;
  }

  void Walk(unsigned atom, unsigned from_bond) {
    // Recursion depth follows the query's longest chain: queries are small.
    done_[atom] = true;
    // The text gives the neighbours as: the atom before, ring closures,
    // branches and the chain's next atom.
    std::vector<unsigned> closures, children, written;
    if (from_bond != ~0u) written.push_back(Other(from_bond, atom));
    for (unsigned b : nbrs_[atom]) {
      if (b == from_bond) continue;
      if (closure_[b]) closures.push_back(b);
      else if (!done_[Other(b, atom)]) children.push_back(b);
    }
    // Digits in the order of the atoms at their other ends: the text read
    // back and written again gives the same digits.
    std::sort(closures.begin(), closures.end(),
              [&](unsigned x, unsigned y) { return visit_[Other(x, atom)] < visit_[Other(y, atom)]; });
    for (unsigned b : closures) written.push_back(Other(b, atom));
    for (unsigned b : children) written.push_back(Other(b, atom));
    WriteAtom(atom, written, from_bond == ~0u);
    for (unsigned b : closures) {
      if (ring_number_[b] == 0) {
        unsigned n = 1;
        while (open_.count(n)) ++n;
        open_.insert(n);
        ring_number_[b] = n;
        WriteBond(b, atom);
        WriteRingNumber(n);
      } else {
        WriteRingNumber(ring_number_[b]);
        open_.erase(ring_number_[b]);
      }
    }
    for (std::size_t i = 0; i < children.size(); ++i) {
      const unsigned b = children[i];
      const bool branch = i + 1 < children.size();
      if (branch) out_ += '(';
      WriteBond(b, atom);
      Walk(Other(b, atom), b);
      if (branch) out_ += ')';
    }
  }

  const QvQMolBase& q_;
  std::vector<std::vector<unsigned>> nbrs_;
  std::vector<bool> done_;
  std::vector<bool> closure_;
  std::vector<unsigned> roots_;  // the first atom of each fragment
  std::vector<unsigned> visit_;  // each atom's place in the walk's order
  std::vector<unsigned> ring_number_;
  std::set<unsigned> open_;
  std::string out_;
};

}  // namespace

bool QvParseSmarts(QvQMolBase& query, std::string_view text, std::string* error) {
  query.Clear();
  SmartsParser parser(text, 0);
  if (parser.Parse(query, false)) return true;
  query.Clear();
  if (error) *error = parser.Error();
  return false;
}

std::string QvCreateSmarts(const QvQMolBase& query) { return SmartsWriter(query).Write(); }

}  // namespace Tamrin
