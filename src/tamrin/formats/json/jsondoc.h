// The documents of a JSON text, for the reader and the tokenizer.
#pragma once

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>
#include <rapidjson/memorystream.h>

#include <cstddef>
#include <string_view>
#include <utility>
#include <vector>

#include "sorvil/error/errorhandler.h"

namespace Tamrin::json {

// Deeper documents are refused: rapidjson walks values recursively when it
// writes them out (the tokenizer does), and no molecule needs more than a
// handful of levels.
inline constexpr unsigned kMaxDepth = 64;

// Whether `value` nests deeper than kMaxDepth, found without recursion.
inline bool TooDeep(const rapidjson::Value& value) {
  std::vector<std::pair<const rapidjson::Value*, unsigned>> stack{{&value, 1}};
  while (!stack.empty()) {
    const auto [v, depth] = stack.back();
    stack.pop_back();
    if (depth > kMaxDepth) return true;
    if (v->IsArray())
      for (const rapidjson::Value& item : v->GetArray()) stack.emplace_back(&item, depth + 1);
    else if (v->IsObject())
      for (const auto& member : v->GetObject()) stack.emplace_back(&member.value, depth + 1);
  }
  return false;
}

// Calls `f(document, number)` for each document in `text`, numbered from 1.
// Text that is not JSON is reported with its byte offset; reading goes on at
// the next line that starts with '{', so one broken line of a file with a
// document per line costs that line only. Returns how many such faults
// there were.
template <class F>
unsigned ForEachDocument(std::string_view text, F&& f) {
  unsigned faults = 0;
  std::size_t pos = 0;
  unsigned number = 0;
  for (;;) {
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t' || text[pos] == '\r' || text[pos] == '\n'))
      ++pos;
    if (pos >= text.size()) return faults;
    rapidjson::MemoryStream stream(text.data() + pos, text.size() - pos);
    rapidjson::Document doc;
    // Iterative: nesting costs heap, not stack.
    doc.ParseStream<rapidjson::kParseStopWhenDoneFlag | rapidjson::kParseIterativeFlag>(stream);
    ++number;
    if (doc.HasParseError()) {
      Sorvil::QvErrorHandler::Warning("JSON document %u is not valid JSON at byte %zu: %s", number,
                                      pos + doc.GetErrorOffset(), rapidjson::GetParseError_En(doc.GetParseError()));
      ++faults;
      const std::size_t next = text.find("\n{", pos + 1);
      if (next == std::string_view::npos) return faults;
      pos = next + 1;
      continue;
    }
    pos += stream.Tell();
    if (TooDeep(doc)) {
      Sorvil::QvErrorHandler::Warning("JSON document %u nests deeper than %u levels", number, kMaxDepth);
      ++faults;
      continue;
    }
    f(static_cast<const rapidjson::Value&>(doc), number);
  }
}

}  // namespace Tamrin::json
