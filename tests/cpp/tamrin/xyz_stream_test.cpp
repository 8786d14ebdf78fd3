// XYZ through the molecule streams: QvReadMolecule's skipping of bad and
// empty records, real files and the output flavors. (What the writer writes
// is checked against printf, what the reader reads against strtod.)
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "format_test_support.h"
#include "xyz_test_support.h"

namespace {

using Tamrin::QvFormat;
using Tamrin::QvGraphMol;
using Tamrin::qvmolistream;
using formattest::ReadAll;
using formattest::ReadResult;
using formattest::Titles;
using Strings = std::vector<std::string>;

std::string Failure(const std::string& title) { return "Error reading molecule \"" + title + "\" in XYZ format."; }
const std::string kCutShort = "The data end inside a record in XYZ format.";

TEST(XYZStream, ReadsTheGoodRecordsAndReportsTheBad) {
  const std::tuple<std::string, Strings, Strings> cases[] = {
      {"1\na\nC 0 0 0\n2\nb\nN 0 0 0\nO 1 1 1\n1\nc\nS 0 0 0\n", {"a", "b", "c"}, {}},
      {"1\na\nC 0 0 0\n2\nb\nN 0 0 0\nO 1 1\n1\nc\nS 0 0 0\n", {"a", "c"}, {Failure("b")}},
      {"1\na\nC 0 0 0\nthree\n1\nc\nS 0 0 0\n", {"a", "c"}, {Failure("")}},
      {"0\nempty\n1\nreal\nC 0 0 0\n", {"real"}, {}},  // empty molecules are passed over
      {"0\n\n0\nx\n", {}, {}},
      {"1\na\nC 0 0 0\n3\ncut\nC 0 0 0\n", {"a"}, {Failure("cut")}},
      {"1\na\nC 0 0 0\n5\n", {"a"}, {kCutShort}},  // a count line alone at the end
      {"2\nodd\nXx 0 0 0\nQq 1 1 1\n", {"odd"}, {}},
      {"1\na\nC 0 0 0\n\n\n", {"a"}, {Failure(""), Failure("")}},
      {"", {}, {}}};
  for (const auto& [text, titles, warnings] : cases) {
    SCOPED_TRACE(text);
    const ReadResult r = ReadAll(text, QvFormat::XYZ);
    EXPECT_EQ(Titles(r), titles);
    EXPECT_EQ(r.messages, warnings);
    EXPECT_EQ(r.failed, warnings.size());
  }
}

}  // namespace
