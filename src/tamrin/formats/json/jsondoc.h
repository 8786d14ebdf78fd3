// The documents of a JSON text, for the reader and the tokenizer.
#pragma once

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>
#include <rapidjson/memorystream.h>

#include <cstddef>
#include <string_view>

#include "sorvil/error/errorhandler.h"

namespace Tamrin::json {

// Deeper documents are refused: rapidjson walks values recursively when it
// writes them out (the tokenizer does), and no molecule needs more than a
// handful of levels.
inline constexpr unsigned kMaxDepth = 64;

// Whether `value` nests deeper than kMaxDepth. The recursion stops at that
// depth, so it cannot run out of stack.
inline bool TooDeep(const rapidjson::Value& value, unsigned depth = 1) {
  if (depth > kMaxDepth) return true;
  if (value.IsArray()) {
    for (const rapidjson::Value& item : value.GetArray())
      if ((item.IsArray() || item.IsObject()) && TooDeep(item, depth + 1)) return true;
  } else if (value.IsObject()) {
    for (const auto& member : value.GetObject())
      if ((member.value.IsArray() || member.value.IsObject()) && TooDeep(member.value, depth + 1)) return true;
  }
  return false;
}

// Where the documents of one JSON text have been read to.
struct TextCursor {
  std::string_view text;
  std::size_t pos = 0;
  // Documents begun, the broken ones included; the next is number + 1.
  unsigned number = 0;
};

// Parses the next document of the text into `doc`; false at the end. Text
// that is not JSON is reported with its byte offset and counted in
// `faults`; reading goes on at the next line that starts with '{', so one
// broken line of a file with a document per line costs that line only.
template <class Document>
bool NextDocument(TextCursor& c, Document& doc, unsigned& faults) {
  const std::string_view text = c.text;
  for (;;) {
    std::size_t& pos = c.pos;
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t' || text[pos] == '\r' || text[pos] == '\n'))
      ++pos;
    if (pos >= text.size()) return false;
    rapidjson::MemoryStream stream(text.data() + pos, text.size() - pos);
    // Iterative: nesting costs heap, not stack.
    doc.template ParseStream<rapidjson::kParseStopWhenDoneFlag | rapidjson::kParseIterativeFlag>(stream);
    const unsigned number = ++c.number;
    if (doc.HasParseError()) {
      Sorvil::QvErrorHandler::Warning("JSON document %u is not valid JSON at byte %zu: %s", number,
                                      pos + doc.GetErrorOffset(), rapidjson::GetParseError_En(doc.GetParseError()));
      ++faults;
      const std::size_t next = text.find("\n{", pos + 1);
      pos = next == std::string_view::npos ? text.size() : next + 1;
      continue;
    }
    pos += stream.Tell();
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
    if (!NextDocument(cursor, doc, faults)) return faults;
    f(static_cast<const rapidjson::Value&>(doc), cursor.number);
  }
}

}  // namespace Tamrin::json
