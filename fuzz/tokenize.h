// Cuts bytes into records with a format's own tokenizer, to the end, as the
// parallel readers will; the records themselves are dropped.
#pragma once

#include <string>
#include <string_view>

#include "pellar/qvsstream.h"
#include "tamrin/streams/format.h"
#include "tamrin/streams/tokenizer.h"

inline void TokenizeAll(Tamrin::QvFormat format, unsigned iflavor, std::string_view bytes) {
  const auto tokenizer = Tamrin::QvCreateTokenizer(format, iflavor);
  Pellar::qvisstream in;
  if (!tokenizer || !in.load(bytes)) return;
  std::string record;
  while (tokenizer->Next(in, record)) {
  }
}
