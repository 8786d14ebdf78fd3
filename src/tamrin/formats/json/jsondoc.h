// The documents of a JSON text, for the reader and the tokenizer.
#pragma once

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>
#include <rapidjson/stream.h>

#include <algorithm>
#include <cstddef>
#include <string_view>

#include "sorvil/error/errorhandler.h"

namespace Tamrin::json {

// Deeper documents are refused: rapidjson walks values recursively when it
// writes them out (the tokenizer does), and no molecule needs more than a
// handful of levels.
inline constexpr unsigned kMaxDepth = 64;

// Whether `value` nests deeper than kMaxDepth (the value itself at depth
// `depth`). The recursion stops at that depth, so it cannot run out of stack.
inline bool TooDeep(const rapidjson::Value& value, unsigned depth = 1) {
  if (depth > kMaxDepth) return true;
  if (value.IsArray()) {
    if (depth == kMaxDepth && !value.Empty()) return true;
    for (const rapidjson::Value& item : value.GetArray())
      if ((item.IsArray() || item.IsObject()) && TooDeep(item, depth + 1)) return true;
  } else if (value.IsObject()) {
    if (depth == kMaxDepth && !value.ObjectEmpty()) return true;
    for (const auto& member : value.GetObject())
      if ((member.value.IsArray() || member.value.IsObject()) && TooDeep(member.value, depth + 1)) return true;
  }
  return false;
}

// A window on the input for the parser, which notes when the parser looks
// past its end: only then could more of the input change the result.
struct WindowStream {
  using Ch = char;
  WindowStream(const char* first, const char* last, bool* out_of_text)
      : src(first), begin(first), end(last), ran_out(out_of_text) {}
  Ch Peek() const {
    if (src != end) return *src;
    *ran_out = true;
    return '\0';
  }
  Ch Take() {
    if (src != end) return *src++;
    *ran_out = true;
    return '\0';
  }
  std::size_t Tell() const { return static_cast<std::size_t>(src - begin); }
  // Never written to: the parse is not in place.
  Ch* PutBegin() { return nullptr; }
  void Put(Ch) {}
  void Flush() {}
  std::size_t PutEnd(Ch*) { return 0; }

  const Ch* src;
  const Ch* begin;
  const Ch* end;
  bool* ran_out;
};

}  // namespace Tamrin::json

// The parser keeps a copy of the stream in registers, as it does for its own
// string streams.
template <>
struct rapidjson::StreamTraits<Tamrin::json::WindowStream> {
  enum { copyOptimization = 1 };
};

namespace Tamrin::json {

// Where the documents of a JSON text have been read to. The text may be a
// window on a longer input that starts at byte `base`.
struct TextCursor {
  std::string_view text;
  std::size_t pos = 0;
  std::size_t base = 0;
  // Documents begun, the broken ones included; the next is number + 1.
  unsigned number = 0;
};

// Parses the next document of the text into `doc`; false at the end. When
// the window runs out, `more()` extends it (and the cursor's text) and
// returns whether it could. Text that is not JSON is reported with its byte
// offset and counted in `faults`; reading goes on at the next line that
// starts with '{', so one broken line of a file with a document per line
// costs that line only.
template <class Document, class More>
bool NextDocument(TextCursor& c, Document& doc, unsigned& faults, More&& more) {
  for (;;) {
    for (;;) {
      while (c.pos < c.text.size() &&
             (c.text[c.pos] == ' ' || c.text[c.pos] == '\t' || c.text[c.pos] == '\r' || c.text[c.pos] == '\n'))
        ++c.pos;
      if (c.pos < c.text.size()) break;
      if (!more()) return false;
    }
    bool ran_out = false;
    WindowStream stream(c.text.data() + c.pos, c.text.data() + c.text.size(), &ran_out);
    // Iterative: nesting costs heap, not stack.
    doc.template ParseStream<rapidjson::kParseStopWhenDoneFlag | rapidjson::kParseIterativeFlag>(stream);
    // Only a parse that looked past the window could end otherwise with more.
    if (ran_out && more()) continue;
    const unsigned number = ++c.number;
    if (doc.HasParseError()) {
      Sorvil::QvErrorHandler::Warning("JSON document %u is not valid JSON at byte %zu: %s", number,
                                      c.base + c.pos + doc.GetErrorOffset(),
                                      rapidjson::GetParseError_En(doc.GetParseError()));
      ++faults;
      for (std::size_t from = c.pos + 1;;) {
        const std::size_t next = c.text.find("\n{", from);
        if (next != std::string_view::npos) {
          c.pos = next + 1;
          break;
        }
        // A line end at the window's end may come before a '{' still unread.
        from = std::max(from, c.text.size() - 1);
        if (!more()) {
          c.pos = c.text.size();
          break;
        }
      }
      continue;
    }
    c.pos += stream.Tell();
    if (TooDeep(doc)) {
      Sorvil::QvErrorHandler::Warning("JSON document %u nests deeper than %u levels", number, kMaxDepth);
      ++faults;
      continue;
    }
    return true;
  }
}

// Calls `f(document, number)` for each document in `text`, numbered from 1
// (see NextDocument). Returns how many faults there were.
template <class F>
unsigned ForEachDocument(std::string_view text, F&& f) {
  TextCursor cursor{text};
  unsigned faults = 0;
  for (;;) {
    rapidjson::Document doc;
    if (!NextDocument(cursor, doc, faults, [] { return false; })) return faults;
    f(static_cast<const rapidjson::Value&>(doc), cursor.number);
  }
}

}  // namespace Tamrin::json
