// Shared by the format tests (molfile, SMILES, XYZ): every record of a text
// read through a molecule stream, and one molecule written to a string, each
// with the messages it draws.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pellar/qvsstream.h"
#include "support/captured_messages.h"
#include "tamrin/model/model.h"
#include "tamrin/streams/molio.h"
#include "tamrin/streams/molstream.h"
#include "tamrin/streams/tokenizer.h"

namespace formattest {

struct ReadResult {
  std::vector<Tamrin::QvGraphMol> mols;
  std::vector<std::string> messages;
  unsigned failed = 0;
};

inline ReadResult ReadAll(Tamrin::qvmolistream& in) {
  ReadResult result;
  CapturedMessages captured;
  Tamrin::QvGraphMol mol;
  while (Tamrin::QvReadMolecule(in, mol.GetMol())) result.mols.push_back(mol);
  result.messages = captured.lines();
  result.failed = in.GetFailedCount();
  return result;
}

// Every record of `text` in `format`, with `flavor` when not 0.
inline ReadResult ReadAll(const std::string& text, Tamrin::QvFormat format, unsigned flavor = 0) {
  Tamrin::qvmolistream in;
  EXPECT_TRUE(in.SetFormat(format));
  if (flavor) {
    EXPECT_TRUE(in.SetFlavor(format, flavor));
  }
  in.openstring(text);  // refused for an empty text, which then reads nothing
  return ReadAll(in);
}

inline std::vector<std::string> Titles(const ReadResult& r) {
  std::vector<std::string> out;
  for (const Tamrin::QvGraphMol& m : r.mols) out.push_back(m.GetMol().GetTitle());
  return out;
}

struct Written {
  std::string text;
  int status = -1;
  std::vector<std::string> warnings;
};

inline Written Write(const Tamrin::QvMolBase& mol, unsigned flavor, Tamrin::QvFormat format) {
  CapturedMessages captured;
  Tamrin::qvmolostream out;
  EXPECT_TRUE(out.SetFormat(format));
  if (flavor) {
    EXPECT_TRUE(out.SetFlavor(format, flavor));
  }
  EXPECT_TRUE(out.openstring(false));
  Written w;
  w.status = Tamrin::QvWriteMolecule(out, mol);
  w.text = out.GetString();
  w.warnings = captured.lines();
  return w;
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t from = 0;
  for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', from)) {
    lines.push_back(text.substr(from, at - from));
    from = at + 1;
  }
  if (from < text.size()) lines.push_back(text.substr(from));
  return lines;
}

// The records `tokenizer` cuts from `text`, which must leave its record
// buffer empty at the end.
inline std::vector<std::string> Records(Tamrin::QvMolTokenizer* tokenizer, const std::string& text) {
  std::vector<std::string> records;
  EXPECT_NE(tokenizer, nullptr);
  if (!tokenizer) return records;
  Pellar::qvisstream in(text.data(), text.size());
  std::string record = "stale";
  while (tokenizer->Next(in, record)) records.push_back(record);
  EXPECT_EQ(record, "");
  return records;
}

inline std::vector<std::string> Records(Tamrin::QvFormat format, unsigned flavor, const std::string& text) {
  return Records(Tamrin::QvCreateTokenizer(format, flavor).get(), text);
}

}  // namespace formattest
