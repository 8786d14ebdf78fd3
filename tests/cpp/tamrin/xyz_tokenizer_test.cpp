// The XYZ record splitter: raw records for indexing, cut by the count line
// without reading the atoms.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pellar/qvsstream.h"
#include "tamrin/formats/xyz/xyztokenizer.h"
#include "tamrin/streams/flavor.h"
#include "tamrin/streams/molstream.h"

namespace {

using Tamrin::QvFormat;

std::vector<std::string> Records(const std::string& text) {
  const std::unique_ptr<Tamrin::QvMolTokenizer> tokenizer =
      Tamrin::QvCreateTokenizer(QvFormat::XYZ, Tamrin::QvDefaultInputFlavor(QvFormat::XYZ));
  EXPECT_NE(dynamic_cast<Tamrin::QvXYZTokenizer*>(tokenizer.get()), nullptr);
  Pellar::qvisstream in;
  in.load(text);
  std::vector<std::string> records;
  std::string record = "stale";
  while (tokenizer->Next(in, record)) records.push_back(record);
  EXPECT_EQ(record, "");
  return records;
}

TEST(XYZTokenizer, CutsRecords) {
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"", {}},
      {"1\na\nC 0 0 0\n2\nb\nN 0 0 0\nO 1 1 1\n", {"1\na\nC 0 0 0\n", "2\nb\nN 0 0 0\nO 1 1 1\n"}},
      {"1\r\na\r\nC 0 0 0\r1\rb\rO 0 0 0", {"1\na\nC 0 0 0\n", "1\nb\nO 0 0 0\n"}},  // line ends normalised
      {"0\nempty\n1\nx\nC 0 0 0\n", {"0\nempty\n", "1\nx\nC 0 0 0\n"}},
      // The count is only scanned, the atom lines not checked: that is the reader's concern.
      {" +1 atom\na\nC\n", {" +1 atom\na\nC\n"}}, {"2\nt\nnonsense\n\n", {"2\nt\nnonsense\n\n"}},
      {"1\na\nC 0 0 0\n5\ncut\nC 0 0 0\n", {"1\na\nC 0 0 0\n", "5\ncut\nC 0 0 0\n"}},
      // A count line alone, a count that does not scan, a negative count or a blank line ends the input.
      {"1\na\nC 0 0 0\n7\n", {"1\na\nC 0 0 0\n"}}, {"1\na\nC 0 0 0\nthree\n1\nb\nO 0 0 0\n", {"1\na\nC 0 0 0\n"}},
      {"-1\na\nC 0 0 0\n", {}}, {"\n1\na\nC 0 0 0\n", {}},
      {"99999999999\nt\nC 0 0 0\nN 0 0 0\n", {"99999999999\nt\nC 0 0 0\nN 0 0 0\n"}}};
  for (const auto& [text, records] : cases) EXPECT_EQ(Records(text), records) << text;
}

}  // namespace
