// gemmi's CIF grammar with actions of our own that record where each tag and
// value lies in the text instead of copying it. Built as C++17 (cifdoc.h).
#include <exception>

#include <gemmi/cif.hpp>

#include "tamrin/formats/cif/cifdoc.h"

namespace Tamrin::cifdoc {

namespace {

namespace pegtl = tao::pegtl;
namespace rules = gemmi::cif::rules;

struct State {
  std::vector<Block>& blocks;
  bool in_frame = false;
};

template <class Input>
std::string_view View(const Input& in) {
  return std::string_view(in.begin(), in.size());
}

template <class Rule>
struct Action : pegtl::nothing<Rule> {};

template <>
struct Action<rules::datablockname> {
  template <class Input>
  static void apply(const Input& in, State& s) {
    s.blocks.emplace_back();
    s.blocks.back().name = View(in);
  }
};
template <>
struct Action<rules::str_global> {
  template <class Input>
  static void apply(const Input&, State& s) {
    s.blocks.emplace_back();
  }
};
template <>
struct Action<rules::framename> {
  template <class Input>
  static void apply(const Input&, State& s) {
    s.in_frame = true;
  }
};
template <>
struct Action<rules::endframe> {
  template <class Input>
  static void apply(const Input&, State& s) {
    s.in_frame = false;
  }
};
template <>
struct Action<rules::item_tag> {
  template <class Input>
  static void apply(const Input& in, State& s) {
    if (!s.in_frame) s.blocks.back().pairs.push_back({View(in), {}});
  }
};
template <>
struct Action<rules::item_value> {
  template <class Input>
  static void apply(const Input& in, State& s) {
    if (!s.in_frame) s.blocks.back().pairs.back().value = View(in);
  }
};
template <>
struct Action<rules::missing_value> {
  template <class Input>
  static void apply(const Input& in, State&) {
    throw pegtl::parse_error("tag without a value", in);
  }
};
template <>
struct Action<rules::str_loop> {
  template <class Input>
  static void apply(const Input&, State& s) {
    if (!s.in_frame) s.blocks.back().loops.emplace_back();
  }
};
template <>
struct Action<rules::loop_tag> {
  template <class Input>
  static void apply(const Input& in, State& s) {
    if (!s.in_frame) s.blocks.back().loops.back().tags.push_back(View(in));
  }
};
template <>
struct Action<rules::loop_value> {
  template <class Input>
  static void apply(const Input& in, State& s) {
    if (!s.in_frame) s.blocks.back().loops.back().values.push_back(View(in));
  }
};
template <>
struct Action<rules::loop> {
  template <class Input>
  static void apply(const Input& in, State& s) {
    if (s.in_frame) return;
    const Loop& loop = s.blocks.back().loops.back();
    if (loop.values.size() % loop.tags.size() != 0) throw pegtl::parse_error("wrong number of values in a loop", in);
  }
};

bool SameTag(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if ((a[i] | 0x20) != (b[i] | 0x20) && a[i] != b[i]) return false;
  return true;
}

// The tag is `prefix` + `name`, compared without making it.
bool SameTag(std::string_view tag, std::string_view prefix, std::string_view name) {
  return tag.size() == prefix.size() + name.size() && SameTag(tag.substr(0, prefix.size()), prefix) &&
         SameTag(tag.substr(prefix.size()), name);
}

}  // namespace

std::string_view Text(std::string_view s) {
  if (s.empty() || IsNull(s)) return {};
  if ((s[0] == '"' || s[0] == '\'') && s.size() >= 2) return s.substr(1, s.size() - 2);
  if (s[0] == ';' && s.size() > 2 && s[s.size() - 2] == '\n') return s.substr(1, s.size() - 3);
  return s;
}

bool IsNull(std::string_view s) { return s.size() == 1 && (s[0] == '?' || s[0] == '.'); }

const std::string_view* FindValue(const Block& block, std::string_view tag) {
  for (const Pair& pair : block.pairs)
    if (SameTag(pair.tag, tag)) return &pair.value;
  for (const Loop& loop : block.loops)
    for (std::size_t i = 0; i < loop.tags.size(); ++i)
      if (SameTag(loop.tags[i], tag)) return loop.values.empty() ? nullptr : &loop.values[i];
  return nullptr;
}

Table::Table(const Block& block, std::string_view prefix, const std::vector<std::string_view>& tags)
    : columns_(tags.size(), nullptr) {
  const auto name = [&](std::size_t i) { return tags[i].substr(tags[i][0] == '?' ? 1 : 0); };
  const auto required = [&](std::size_t i) { return tags[i][0] != '?'; };
  std::size_t anchor = 0;
  while (anchor < tags.size() && !required(anchor)) ++anchor;
  if (anchor == tags.size()) anchor = 0;
  for (const Loop& loop : block.loops) {
    for (std::size_t t = 0; t < loop.tags.size(); ++t) {
      if (!SameTag(loop.tags[t], prefix, name(anchor))) continue;
      for (std::size_t i = 0; i < tags.size(); ++i) {
        std::size_t c = 0;
        while (c < loop.tags.size() && !SameTag(loop.tags[c], prefix, name(i))) ++c;
        if (c == loop.tags.size() && required(i)) return;
        // An empty loop has no rows to point into.
        if (c < loop.tags.size() && !loop.values.empty()) columns_[i] = loop.values.data() + c;
      }
      stride_ = loop.tags.size();
      rows_ = loop.values.size() / stride_;
      ok_ = true;
      return;
    }
  }
  for (std::size_t i = 0; i < tags.size(); ++i) {
    for (const Pair& pair : block.pairs)
      if (SameTag(pair.tag, prefix, name(i))) {
        columns_[i] = &pair.value;
        break;
      }
    if (!columns_[i] && required(i)) return;
  }
  if (!columns_[anchor]) return;
  rows_ = 1;
  ok_ = true;
}

bool Parse(std::string_view text, std::vector<Block>& blocks, std::string& error) {
  blocks.clear();
  State state{blocks};
  try {
    pegtl::memory_input<> in(text.data(), text.size(), "CIF");
    pegtl::parse<rules::file, Action, gemmi::cif::Errors>(in, state);
  } catch (const std::exception& e) {
    error = e.what();
    blocks.clear();
    return false;
  }
  return true;
}

}  // namespace Tamrin::cifdoc
