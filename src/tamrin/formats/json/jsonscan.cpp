#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string_view>

#include "tamrin/formats/json/jsonrecord.h"

namespace Tamrin::json {

namespace {

Word WordOf(std::string_view s) {
  if (s == "cw") return Word::kCw;
  if (s == "ccw") return Word::kCcw;
  if (s == "cis") return Word::kCis;
  if (s == "trans") return Word::kTrans;
  return Word::kOther;
}

// Eight bytes of text as a word whose lowest byte is the first.
std::uint64_t Load(const char* p) {
  std::uint64_t word;
  std::memcpy(&word, p, 8);
  if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
  return word;
}

// A member name as it stands in compact text, `"name":`, in two words (the
// first byte lowest) with the masks of the bytes it fills: one look at
// sixteen bytes tells whether the text holds it. Names are 13 bytes at most
// (a longer one fails to compile: it would fill a third word).
struct Key {
  std::string_view name;
  std::size_t size;  // with the quotes and the colon
  std::uint64_t word[2] = {}, mask[2] = {};

  constexpr Key(std::string_view n) : name(n), size(n.size() + 3) {
    for (std::size_t i = 0; i < size; ++i) {
      const char c = i == 0 || i == size - 2 ? '"' : i == size - 1 ? ':' : n[i - 1];
      word[i / 8] |= std::uint64_t{static_cast<unsigned char>(c)} << (8 * (i % 8));
      mask[i / 8] |= std::uint64_t{0xff} << (8 * (i % 8));
    }
  }
};

template <std::size_t N>
using Keys = std::array<Key, N>;

// The names the scanner looks for in each object of a document, the most
// frequent first: those the reader uses, those it declines, and a header
// that is skipped. Other names take the slow path.
constexpr Keys<3> kDocumentKeys{{{"molecules"}, {"defaults"}, {"commonchem"}}};
constexpr Keys<2> kDefaultsKeys{{{"atom"}, {"bond"}}};
constexpr Keys<kAtomFields + 1> kAtomKeys{{{"z"}, {"impHs"}, {"chg"}, {"isotope"}, {"nRad"}, {"stereo"}}};
constexpr Keys<2> kBondDefaultsKeys{{{"bo"}, {"stereo"}}};
constexpr Keys<5> kMoleculeKeys{{{"atoms"}, {"bonds"}, {"name"}, {"conformers"}, {"properties"}}};
constexpr Keys<4> kBondKeys{{{"atoms"}, {"bo"}, {"stereo"}, {"stereoAtoms"}}};
static_assert(kAtomKeys[kAtomFields].name == "stereo");

// Reads the plain subset of JSON. Every member returns false to decline:
// the caller then leaves the text to rapidjson, which reads it or reports
// it, so the scanner never has to tell bad text from text it does not know.
// Compact text (no white space between tokens, as the writers give it) is
// the fast path: white space costs a second look only where it stands.
class Scanner {
 public:
  explicit Scanner(std::string_view text) : begin_(text.data()), p_(text.data()), end_(text.data() + text.size()) {}

  std::size_t Done() const { return static_cast<std::size_t>(p_ - begin_); }

  bool Document(DocumentRecord& doc) {
    doc.defaults = {};
    doc.count = 0;
    bool molecules = false;
    unsigned seen = 0;
    const bool ok = Object(kDocumentKeys, [&](std::size_t key) {
      switch (key) {
        case 0:
          molecules = true;
          return Once(seen, 2) && Array([&] {
                   if (doc.count == doc.molecules.size()) doc.molecules.emplace_back();
                   return Molecule(doc.molecules[doc.count++]);
                 });
        case 1:
          return Once(seen, 1) && KnownDefaults(doc);
        case 2:
          // The header as the writers give it, compared whole before it is
          // read token by token.
          return Literal(R"({"version":10})") || Skip(1);
        default:
          return Skip(1);
      }
    });
    return ok && molecules;
  }

 private:
  static constexpr unsigned kMaxDepth = 16;

  // False when bit `bit` was seen before: a repeated name, which the
  // document resolves (the first counts) and the scanner leaves to it.
  static bool Once(unsigned& seen, unsigned bit) {
    if (seen & (1u << bit)) return false;
    seen |= 1u << bit;
    return true;
  }

  static bool Space(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }

  // The next byte that is no white space, '\0' at the end of the text.
  char Peek() {
    if (p_ != end_ && static_cast<unsigned char>(*p_) > ' ') [[likely]]
      return *p_;
    while (p_ != end_ && Space(*p_)) ++p_;
    return p_ != end_ ? *p_ : '\0';
  }
  bool Take(char c) {
    if (Peek() != c) return false;
    ++p_;
    return true;
  }

  // Reads a member's name and colon into `k`: its index in `keys`, or N for
  // another name. The fast path takes a name of `keys` as compact text
  // holds it; NameAfterAll then reads any other.
  template <std::size_t N>
  bool KnownName(const Keys<N>& keys, std::size_t& k) {
    if (end_ - p_ < 16) return false;
    const std::uint64_t w0 = Load(p_), w1 = Load(p_ + 8);
    for (k = 0; k < N; ++k)
      if ((((w0 ^ keys[k].word[0]) & keys[k].mask[0]) | ((w1 ^ keys[k].word[1]) & keys[k].mask[1])) == 0) {
        p_ += keys[k].size;
        return true;
      }
    return false;
  }
  template <std::size_t N>
  bool NameAfterAll(const Keys<N>& keys, std::size_t& k) {
    std::string_view name;
    if (!String(name) || !Take(':')) return false;
    k = 0;
    while (k < N && keys[k].name != name) ++k;
    return true;
  }

  // An object's members, `member(k)` reading each value (k as KnownName
  // gives it).
  template <std::size_t N, class F>
  bool Object(const Keys<N>& keys, F&& member) {
    if (!Take('{')) return false;
    std::size_t k;
    if (!KnownName(keys, k)) {
      if (Peek() == '}') {
        ++p_;
        return true;
      }
      if (!NameAfterAll(keys, k)) return false;
    }
    for (;;) {
      if (!member(k)) return false;
      const char c = Peek();
      if (c != ',' && c != '}') return false;
      ++p_;
      if (c == '}') return true;
      if (!KnownName(keys, k) && !NameAfterAll(keys, k)) return false;
    }
  }
  template <class F>
  bool Array(F&& item) {
    if (!Take('[')) return false;
    if (Peek() == ']') {
      ++p_;
      return true;
    }
    for (;;) {
      if (!item()) return false;
      const char c = Peek();
      if (c != ',' && c != ']') return false;
      ++p_;
      if (c == ']') return true;
    }
  }

  // The lowest byte of `word` (in memory order) that is a quote, a backslash
  // or a control character, or 8 when there is none.
  static unsigned StringStop(std::uint64_t word) {
    constexpr std::uint64_t kOnes = 0x0101010101010101, kHigh = 0x8080808080808080;
    const auto zero_byte = [](std::uint64_t x) { return (x - kOnes) & ~x & kHigh; };
    // A control character is below 0x20; bytes of 0x80 and up (UTF-8) are not.
    const std::uint64_t stop = zero_byte(word ^ (kOnes * '"')) | zero_byte(word ^ (kOnes * '\\')) |
                               ((word - kOnes * 0x20) & ~word & kHigh);
    // The borrow of a stop byte can mark the byte above it too; the lowest
    // mark is always right.
    return stop ? static_cast<unsigned>(std::countr_zero(stop)) / 8 : 8;
  }

  // Strings without escapes or control characters, looked at eight bytes at
  // a time where eight remain.
  bool String(std::string_view& out) {
    if (!Take('"')) return false;
    const char* first = p_;
    while (end_ - p_ >= 8) {
      const unsigned k = StringStop(Load(p_));
      p_ += k;
      if (k < 8) return StringEnd(first, out);
    }
    while (p_ != end_ && *p_ != '"' && *p_ != '\\' && static_cast<unsigned char>(*p_) >= 0x20) ++p_;
    return p_ != end_ && StringEnd(first, out);
  }
  bool StringEnd(const char* first, std::string_view& out) {
    if (*p_ != '"') return false;
    out = {first, static_cast<std::size_t>(p_ - first)};
    ++p_;
    return true;
  }

  // The bytes that go on a number: digits, a point, an exponent.
  static constexpr std::array<bool, 256> kNumberByte = [] {
    std::array<bool, 256> table{};
    for (unsigned char c : std::string_view("0123456789.eE")) table[c] = true;
    return table;
  }();
  static bool Digit(char c) { return static_cast<unsigned char>(c - '0') < 10; }
  static bool NumberByte(char c) { return kNumberByte[static_cast<unsigned char>(c)]; }
  // Whether the number that ended at p_ really ended (and not at the end of
  // the window, or in a fraction or exponent).
  bool NumberEnds() const { return p_ != end_ && !NumberByte(*p_); }

  // Integers of up to 18 digits, which fit 64 bits; "-0" is left to the
  // document, which reads it as a float. One and two digits, the most, are
  // read on a shorter path.
  [[gnu::always_inline]] bool Int(std::int64_t& value) {
    if (end_ - p_ >= 3) {
      const unsigned d0 = static_cast<unsigned char>(p_[0] - '0'), d1 = static_cast<unsigned char>(p_[1] - '0');
      if (d0 < 10 && !NumberByte(p_[1])) {
        value = d0;
        p_ += 1;
        return true;
      }
      if (d0 - 1 < 9 && d1 < 10 && !NumberByte(p_[2])) {
        value = 10 * d0 + d1;
        p_ += 2;
        return true;
      }
    }
    return LongInt(value);
  }
  bool LongInt(std::int64_t& value) {
    Peek();
    // A local cursor: the digit loop then keeps it in a register.
    const char* p = p_;
    const bool minus = p != end_ && *p == '-';
    p += minus;
    const char* first = p;
    std::uint64_t v = 0;  // wraps on long digit runs, which are declined
    for (; p != end_ && Digit(*p); ++p) v = 10 * v + static_cast<unsigned>(*p - '0');
    p_ = p;
    const std::ptrdiff_t digits = p - first;
    if (digits == 0 || digits > 18 || (*first == '0' && (digits > 1 || minus)) || !NumberEnds()) return false;
    value = minus ? -static_cast<std::int64_t>(v) : static_cast<std::int64_t>(v);
    return true;
  }
  bool Int(Num& num) {
    num.kind = Num::kInt;
    return Int(num.value);
  }
  // A bond order: an integer, or exactly 1.5.
  bool Order(Num& num) {
    if (Peek() == '1' && end_ - p_ > 3 && std::memcmp(p_, "1.5", 3) == 0) {
      p_ += 3;
      num.kind = Num::kHalf;
      return NumberEnds();
    }
    return Int(num);
  }
  bool Stereo(Word& word) {
    std::string_view s;
    if (!String(s)) return false;
    word = WordOf(s);
    return true;
  }
  // A pair of indices, "[i,j]" in compact text, read on a short path.
  bool IndexPair(Pair& pair) {
    const char* start = p_;
    std::int64_t v[2];
    if (Take('[') && Int(v[0]) && *p_ == ',' && (++p_, Int(v[1])) && *p_ == ']') {
      ++p_;
      SetPair(pair, 2, v);
      return true;
    }
    p_ = start;
    unsigned n = 0;
    const bool ok = Array([&] {
      std::int64_t x;
      if (!Int(x)) return false;
      if (n < 2) v[n] = x;
      ++n;
      return true;
    });
    SetPair(pair, n, v);
    return ok;
  }
  static void SetPair(Pair& pair, unsigned n, const std::int64_t (&v)[2]) {
    constexpr std::int64_t kMax = std::numeric_limits<std::uint32_t>::max();
    pair.present = true;
    pair.ok = n == 2 && v[0] >= 0 && v[0] <= kMax && v[1] >= 0 && v[1] <= kMax;
    if (pair.ok) {
      pair.first = static_cast<std::uint32_t>(v[0]);
      pair.second = static_cast<std::uint32_t>(v[1]);
    }
  }

  // Any value this scanner reads, for the members the reader ignores.
  bool Skip(unsigned depth) {
    if (depth > kMaxDepth) return false;
    static constexpr Keys<0> kNone{};
    std::string_view s;
    switch (Peek()) {
      case '{':
        return Object(kNone, [&](std::size_t) { return Skip(depth + 1); });
      case '[':
        return Array([&] { return Skip(depth + 1); });
      case '"':
        return String(s);
      case 't':
        return Literal("true");
      case 'f':
        return Literal("false");
      case 'n':
        return Literal("null");
      default: {
        std::int64_t v;
        return Int(v);
      }
    }
  }
  bool Literal(std::string_view w) {
    if (static_cast<std::size_t>(end_ - p_) < w.size() || std::string_view(p_, w.size()) != w) return false;
    p_ += w.size();
    return true;
  }

  // The defaults, taken from the last document's when their text is the
  // same: a JSON value ends where its text says, so the same bytes are the
  // same value.
  bool KnownDefaults(DocumentRecord& doc) {
    const std::string& known = doc.defaults_text;
    Peek();
    if (!known.empty() && static_cast<std::size_t>(end_ - p_) >= known.size() &&
        std::memcmp(p_, known.data(), known.size()) == 0) {
      p_ += known.size();
      doc.defaults = doc.defaults_read;
      return true;
    }
    doc.defaults_text.clear();
    const char* first = p_;
    if (!Defaults(doc.defaults)) return false;
    doc.defaults_read = doc.defaults;
    doc.defaults_text.assign(first, p_);
    return true;
  }

  bool Defaults(DefaultsRecord& d) {
    unsigned seen = 0;
    return Object(kDefaultsKeys, [&](std::size_t key) {
      if (key == 0) {
        if (!Once(seen, 0)) return false;
        unsigned fields = 0;
        return Object(kAtomKeys, [&](std::size_t k) { return AtomMember(k, d.atom, fields); });
      }
      if (key == 1) {
        if (!Once(seen, 1)) return false;
        unsigned fields = 0;
        return Object(kBondDefaultsKeys, [&](std::size_t k) {
          if (k == 0) return Once(fields, 0) && Order(d.order);
          if (k == 1) return Once(fields, 1) && Stereo(d.bond_stereo);
          return Skip(3);
        });
      }
      return Skip(2);
    });
  }

  bool AtomMember(std::size_t k, AtomRecord& a, unsigned& seen) {
    if (k < kAtomFields) return Once(seen, k) && Int(a.field[k]);
    if (k == kAtomFields) return Once(seen, kAtomFields) && Stereo(a.stereo);
    return Skip(4);
  }

  bool Molecule(MoleculeRecord& m) {
    m.object = true;
    m.has_name = false;
    m.atoms_state = m.bonds_state = MoleculeRecord::kMissing;
    m.atoms.clear();
    m.bonds.clear();
    m.conformers = m.properties = nullptr;
    unsigned seen = 0;
    return Object(kMoleculeKeys, [&](std::size_t key) {
      switch (key) {
        case 0:
          m.atoms_state = MoleculeRecord::kArray;
          return Once(seen, 1) && Array([&] {
                   unsigned fields = 0;
                   AtomRecord& a = m.atoms.emplace_back();
                   return Object(kAtomKeys, [&](std::size_t k) { return AtomMember(k, a, fields); });
                 });
        case 1:
          m.bonds_state = MoleculeRecord::kArray;
          return Once(seen, 2) && Array([&] { return Bond(m.bonds.emplace_back()); });
        case 2:
          return Once(seen, 0) && (m.has_name = String(m.name));
        case 3:
        case 4:
          // Coordinates and property values are read by the document, so
          // that their numbers are the document's.
          return false;
        default:
          return Skip(3);
      }
    });
  }

  bool Bond(BondRecord& b) {
    unsigned seen = 0;
    return Object(kBondKeys, [&](std::size_t key) {
      switch (key) {
        case 0:
          return Once(seen, 0) && IndexPair(b.ends);
        case 1:
          return Once(seen, 1) && Order(b.order);
        case 2:
          return Once(seen, 2) && Stereo(b.stereo);
        case 3:
          return Once(seen, 3) && IndexPair(b.refs);
        default:
          return Skip(4);
      }
    });
  }

  const char* begin_;
  const char* p_;
  const char* end_;
};

Num NumOf(const rapidjson::Value* v) {
  if (!v) return {};
  if (v->IsInt64()) return {Num::kInt, v->GetInt64()};
  if (v->IsDouble() && v->GetDouble() == 1.5) return {Num::kHalf, 0};
  return {Num::kOther, 0};
}

Word WordOf(const rapidjson::Value* v) {
  if (!v) return Word::kAbsent;
  return v->IsString() ? WordOf(std::string_view(v->GetString(), v->GetStringLength())) : Word::kOther;
}

Pair PairOf(const rapidjson::Value* v) {
  Pair p;
  p.present = v != nullptr;
  p.ok = v && v->IsArray() && v->Size() == 2 && (*v)[0].IsUint() && (*v)[1].IsUint();
  if (p.ok) {
    p.first = (*v)[0].GetUint();
    p.second = (*v)[1].GetUint();
  }
  return p;
}

// Returns the index of `key` in `names`, or N.
template <std::size_t N>
std::size_t IndexOf(std::string_view key, const std::string_view (&names)[N]) {
  std::size_t k = 0;
  while (k < N && key != names[k]) ++k;
  return k;
}

// The first member of each name in `names` (the first of a repeated name
// counts, as with a lookup by name), in one walk over the members.
template <std::size_t N>
void Find(const rapidjson::Value& item, const std::string_view (&names)[N], const rapidjson::Value* (&found)[N]) {
  for (const auto& m : item.GetObject()) {
    const std::size_t k = IndexOf(std::string_view(m.name.GetString(), m.name.GetStringLength()), names);
    if (k < N && !found[k]) found[k] = &m.value;
  }
}

constexpr std::string_view kAtomMembers[kAtomFields + 1] = {"z", "impHs", "chg", "isotope", "nRad", "stereo"};
constexpr std::string_view kBondMembers[] = {"atoms", "bo", "stereo", "stereoAtoms"};

AtomRecord AtomOf(const rapidjson::Value& a) {
  AtomRecord r;
  const rapidjson::Value* own[kAtomFields + 1] = {};
  Find(a, kAtomMembers, own);
  for (unsigned k = 0; k < kAtomFields; ++k) r.field[k] = NumOf(own[k]);
  r.stereo = WordOf(own[kAtomFields]);
  return r;
}

}  // namespace

const rapidjson::Value* Member(const rapidjson::Value& object, const char* name) {
  if (!object.IsObject()) return nullptr;
  const auto it = object.FindMember(name);
  return it == object.MemberEnd() ? nullptr : &it->value;
}

std::size_t ScanDocument(std::string_view text, DocumentRecord& doc) {
  Scanner scanner(text);
  return scanner.Document(doc) ? scanner.Done() : 0;
}

void ReadDefaults(const rapidjson::Value& doc, DefaultsRecord& d) {
  d = {};
  const rapidjson::Value* defaults = Member(doc, "defaults");
  if (const rapidjson::Value* a = defaults ? Member(*defaults, "atom") : nullptr; a && a->IsObject())
    d.atom = AtomOf(*a);
  if (const rapidjson::Value* b = defaults ? Member(*defaults, "bond") : nullptr) {
    d.order = NumOf(Member(*b, "bo"));
    d.bond_stereo = WordOf(Member(*b, "stereo"));
  }
}

void ReadMoleculeRecord(const rapidjson::Value& m, MoleculeRecord& r) {
  r.atoms.clear();
  r.bonds.clear();
  r.object = m.IsObject();
  const rapidjson::Value* name = Member(m, "name");
  r.has_name = name && name->IsString();
  r.name = r.has_name ? std::string_view(name->GetString(), name->GetStringLength()) : std::string_view();
  const rapidjson::Value* atoms = Member(m, "atoms");
  const rapidjson::Value* bonds = Member(m, "bonds");
  const auto state = [](const rapidjson::Value* v) {
    return !v ? MoleculeRecord::kMissing : v->IsArray() ? MoleculeRecord::kArray : MoleculeRecord::kNotArray;
  };
  r.atoms_state = state(atoms);
  r.bonds_state = state(bonds);
  r.conformers = Member(m, "conformers");
  r.properties = Member(m, "properties");
  if (r.atoms_state == MoleculeRecord::kArray)
    for (const rapidjson::Value& a : atoms->GetArray()) {
      if (!a.IsObject()) {
        r.atoms.emplace_back().object = false;
        continue;
      }
      r.atoms.push_back(AtomOf(a));
    }
  if (r.bonds_state == MoleculeRecord::kArray)
    for (const rapidjson::Value& b : bonds->GetArray()) {
      BondRecord& out = r.bonds.emplace_back();
      if (!b.IsObject()) {
        out.object = false;
        continue;
      }
      const rapidjson::Value* own[4] = {};
      Find(b, kBondMembers, own);
      out.ends = PairOf(own[0]);
      out.order = NumOf(own[1]);
      out.stereo = WordOf(own[2]);
      out.refs = PairOf(own[3]);
    }
}

}  // namespace Tamrin::json
