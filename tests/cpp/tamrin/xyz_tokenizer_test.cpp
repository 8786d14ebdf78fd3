// The XYZ record splitter: raw records for indexing, cut by the count line
// without reading the atoms.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "format_test_support.h"
#include "tamrin/formats/xyz/xyztokenizer.h"
#include "tamrin/streams/flavor.h"

namespace {

using Tamrin::QvFormat;

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
  const auto tokenizer = Tamrin::QvCreateTokenizer(QvFormat::XYZ, Tamrin::QvDefaultInputFlavor(QvFormat::XYZ));
  ASSERT_NE(dynamic_cast<Tamrin::QvXYZTokenizer*>(tokenizer.get()), nullptr);
  for (const auto& [text, records] : cases) EXPECT_EQ(formattest::Records(tokenizer.get(), text), records) << text;
}

}  // namespace
