#include "tamrin/formats/cdx/cdxtree.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "pellar/qvstream.h"
#include "sorvil/error/errorhandler.h"

namespace Tamrin::cdx {

using Sorvil::QvErrorHandler;

const std::string* Object::Find(std::uint16_t prop) const {
  for (const auto& [key, data] : props)
    if (key == prop) return &data;
  return nullptr;
}

bool StringText(const std::string& data, std::string& text) {
  if (data.size() < 2) return false;
  const std::size_t runs = static_cast<unsigned char>(data[0]) | static_cast<unsigned char>(data[1]) << 8;
  const std::size_t start = 2 + 10 * runs;
  if (start > data.size()) return false;
  text.assign(data, start);
  return true;
}

namespace {

// Objects inside a fragment: an abbreviation's fragment in a node is two
// levels down, and real drawings nest that a few times at most.
constexpr int kMaxDepth = 32;

// The signature's first two bytes read as a tag.
constexpr std::uint16_t kSignatureTag = 'V' | 'j' << 8;

bool Kept(std::uint16_t prop) {
  switch (prop) {
    case Prop::Name:
    case Prop::Position2D:
    case Prop::NodeType:
    case Prop::Element:
    case Prop::Isotope:
    case Prop::Charge:
    case Prop::NumHydrogens:
    case Prop::BondOrder:
    case Prop::BondDisplay:
    case Prop::BondBegin:
    case Prop::BondEnd:
    case Prop::Text: return true;
    default: return false;
  }
}

bool KeptObject(std::uint16_t tag) {
  return tag == Obj::Fragment || tag == Obj::Node || tag == Obj::Bond || tag == Obj::Text;
}

// Reads from the stream, copying what it reads to `raw` while a fragment is
// being cut out whole.
class Input {
 public:
  explicit Input(Pellar::qvistream& in) : in_(in) {}
  void Capture(std::string* raw) { raw_ = raw; }

  bool Bytes(void* dst, std::size_t n) {
    if (in_.read(dst, n) != n) return false;
    if (raw_) raw_->append(static_cast<const char*>(dst), n);
    return true;
  }
  bool U16(std::uint16_t& v) {
    unsigned char b[2];
    if (!Bytes(b, 2)) return false;
    v = static_cast<std::uint16_t>(b[0] | b[1] << 8);
    return true;
  }
  bool U32(std::uint32_t& v) {
    unsigned char b[4];
    if (!Bytes(b, 4)) return false;
    v = b[0] | b[1] << 8 | b[2] << 16 | static_cast<std::uint32_t>(b[3]) << 24;
    return true;
  }
  bool Length(std::uint32_t& n) {
    std::uint16_t short_length = 0;
    if (!U16(short_length)) return false;
    if (short_length != 0xFFFF) {
      n = short_length;
      return true;
    }
    return U32(n);
  }
  // The stream reads in blocks, so a length larger than the data allocates
  // no more than the data.
  bool Data(std::string& out, std::uint32_t n) {
    if (in_.read(out, n) != n) return false;
    if (raw_) raw_->append(out);
    return true;
  }
  bool Skip(std::uint32_t n) {
    if (!raw_) return in_.skip(n);
    std::string scratch;
    return Data(scratch, n);
  }

 private:
  Pellar::qvistream& in_;
  std::string* raw_ = nullptr;
};

bool CutShort() {
  QvErrorHandler::Warning("CDX data end inside an object");
  return false;
}

// The rest of an object whose tag and id have been read.
bool SkipObject(Input& in) {
  std::uint64_t depth = 1;
  while (depth != 0) {
    std::uint16_t tag = 0;
    std::uint32_t value = 0;
    if (!in.U16(tag)) return CutShort();
    if (tag == 0) {
      --depth;
    } else if (tag & 0x8000) {
      if (!in.U32(value)) return CutShort();
      ++depth;
    } else if (!in.Length(value) || !in.Skip(value)) {
      return CutShort();
    }
  }
  return true;
}

bool ReadObject(Input& in, Object& object, int depth) {
  for (;;) {
    std::uint16_t tag = 0;
    std::uint32_t value = 0;
    if (!in.U16(tag)) return CutShort();
    if (tag == 0) return true;
    if (!(tag & 0x8000)) {
      if (!in.Length(value)) return CutShort();
      if (!Kept(tag)) {
        if (!in.Skip(value)) return CutShort();
        continue;
      }
      if (!in.Data(object.props.emplace_back(tag, std::string()).second, value)) return CutShort();
      continue;
    }
    if (!in.U32(value)) return CutShort();
    if (!KeptObject(tag)) {
      if (!SkipObject(in)) return false;
      continue;
    }
    if (depth >= kMaxDepth) {
      QvErrorHandler::Warning("CDX objects nested more than %d deep in fragment %d", kMaxDepth, object.id);
      return false;
    }
    Object& child = object.children.emplace_back();
    child.tag = tag;
    child.id = static_cast<std::int32_t>(value);
    if (!ReadObject(in, child, depth + 1)) return false;
  }
}

Step CutShortStep() {
  CutShort();
  return Step::Failed;
}

void SkipToEnd(Pellar::qvistream& in) {
  while (in.skip(Pellar::qvstream::BufferSize)) {
  }
}

// Where the input begins there must be a header, or a fragment as the
// tokenizer cuts it out.
bool ReadHeader(Pellar::qvistream& in) {
  if (in.peek() != kSignature[0]) {
    if (in.peek() == (Obj::Fragment & 0xFF)) return true;
    QvErrorHandler::Warning("Not a CDX document: it does not begin with \"%s\"", kSignature.data());
    SkipToEnd(in);
    return false;
  }
  std::array<char, kHeaderSize> header{};
  const std::size_t got = in.read(header.data(), header.size());
  if (std::string_view(header.data(), std::min(got, kSignature.size())) != kSignature) {
    QvErrorHandler::Warning("Not a CDX document: it does not begin with \"%s\"", kSignature.data());
    SkipToEnd(in);
    return false;
  }
  if (got != header.size()) return CutShort();
  return true;
}

}  // namespace

Step ReadNextFragment(Pellar::qvistream& in, Object& fragment, std::string* raw) {
  fragment = Object();
  if (in.tell() == 0 && in.peek() >= 0 && !ReadHeader(in)) return Step::Failed;
  Input input(in);
  for (;;) {
    if (in.peek() < 0) return Step::End;
    std::uint16_t tag = 0;
    std::uint32_t value = 0;
    if (!input.U16(tag)) return CutShortStep();
    if (tag == 0) continue;
    // Documents written one after another, as our writer leaves several
    // molecules.
    if (tag == kSignatureTag) {
      std::array<char, kHeaderSize - 2> rest{};
      if (!input.Bytes(rest.data(), rest.size())) return CutShortStep();
      if (std::string_view(rest.data(), 6) == kSignature.substr(2)) continue;
      QvErrorHandler::Warning("CDX data hold a property with the tag 0x%X, which no writer makes", tag);
      SkipToEnd(in);
      return Step::Failed;
    }
    if (!(tag & 0x8000)) {
      if (!input.Length(value) || !input.Skip(value)) return CutShortStep();
      continue;
    }
    if (!input.U32(value)) return CutShortStep();
    // The containers are looked through: their properties are skipped one
    // by one above and their closing tags pass as 0 tags.
    if (tag == Obj::Document || tag == Obj::Page || tag == Obj::Group) continue;
    if (tag != Obj::Fragment) {
      if (!SkipObject(input)) return Step::Failed;
      continue;
    }
    fragment.tag = tag;
    fragment.id = static_cast<std::int32_t>(value);
    if (raw) {
      raw->clear();
      const unsigned char head[6] = {static_cast<unsigned char>(tag), static_cast<unsigned char>(tag >> 8),
                                     static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                                     static_cast<unsigned char>(value >> 16),
                                     static_cast<unsigned char>(value >> 24)};
      raw->append(reinterpret_cast<const char*>(head), sizeof head);
      input.Capture(raw);
    }
    return ReadObject(input, fragment, 1) ? Step::Fragment : Step::Failed;
  }
}

}  // namespace Tamrin::cdx
