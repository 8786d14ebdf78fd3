// The documents of a JSON text, for the reader and the tokenizer.
#pragma once

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>
#include <rapidjson/memorystream.h>

#include <cstddef>
#include <string_view>

#include "sorvil/error/errorhandler.h"

namespace Tamrin::json {

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
    doc.ParseStream<rapidjson::kParseStopWhenDoneFlag | rapidjson::kParseNanAndInfFlag>(stream);
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
    f(static_cast<const rapidjson::Value&>(doc), number);
  }
}

}  // namespace Tamrin::json
