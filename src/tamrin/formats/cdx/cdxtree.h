// The object tree of a CDX document as the reader and the tokenizer walk it:
// objects (tag 0x8000 and up, a 4-byte id, then properties and child objects
// up to a 0 tag) and properties (tag below 0x8000, a 2-byte length, or 0xFFFF
// and a 4-byte length, then the data), little-endian throughout.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Pellar {
class qvistream;
}

namespace Tamrin::cdx {

inline constexpr std::string_view kSignature = "VjCD0100";
// The signature, 4 bytes that every writer puts as 04 03 02 01, and 10
// reserved bytes.
inline constexpr std::size_t kHeaderSize = 22;
inline constexpr char kHeaderTail[14] = {4, 3, 2, 1};

namespace Obj {
inline constexpr std::uint16_t Document = 0x8000, Page = 0x8001, Group = 0x8002, Fragment = 0x8003,
                               Node = 0x8004, Bond = 0x8005, Text = 0x8006;
}  // namespace Obj

namespace Prop {
inline constexpr std::uint16_t Name = 0x0008, Position2D = 0x0200, NodeType = 0x0400, Element = 0x0402, Isotope = 0x0420,
                               Charge = 0x0421, NumHydrogens = 0x042B, BondOrder = 0x0600,
                               BondDisplay = 0x0601, BondBegin = 0x0604, BondEnd = 0x0605, Text = 0x0700;
}  // namespace Prop

// A fragment object as far as molecules need it: its nodes, bonds, texts and
// inner fragments with the properties above; everything else is skipped
// while reading.
struct Object {
  std::uint16_t tag = 0;
  std::int32_t id = 0;
  std::vector<std::pair<std::uint16_t, std::string>> props;
  std::vector<Object> children;

  // The data of the first property with this tag, or null.
  const std::string* Find(std::uint16_t prop) const;
};

// The characters of a string property (after its style runs, 10 bytes each),
// or false when the runs overrun the data.
bool StringText(const std::string& data, std::string& text);

enum class Step { Fragment, End, Failed };

// Walks on to the next fragment that lies in the document, a page or a group
// (not inside another object) and reads it whole into `fragment`. End: the
// data ended between objects. Failed: a warning was issued (no header where
// the input begins, data cut short, objects nested too deep); the rest of
// the input is consumed in the first case. With `raw`, the fragment's bytes
// from its tag to its closing 0 tag are put there.
Step ReadNextFragment(Pellar::qvistream& in, Object& fragment, std::string* raw);

}  // namespace Tamrin::cdx
