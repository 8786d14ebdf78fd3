// V3000 connection tables: atoms, bonds, collections and every message.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "mdl_test_support.h"
#include "tamrin/perception/stereo.h"

namespace {

using namespace mdltest;
using Lines = std::vector<std::string>;

// "M  V30 " before each line of `lines`.
std::string V30(const std::string& lines) {
  std::string out;
  for (const std::string& line : formattest::Lines(lines)) out += "M  V30 " + line + "\n";
  return out;
}

// A block of V30 lines; `end` false leaves out its END line.
std::string Block(const std::string& kind, const std::string& lines, bool end = true) {
  return V30("BEGIN " + kind + "\n" + lines + (end ? "END " + kind + "\n" : ""));
}

// A V3000 record around the given blocks (the lines after COUNTS).
std::string V3000(const std::string& counts, const std::string& blocks, const char* title = "v3") {
  return std::string(title) + "\n" + kProgram2D + "\n  0  0  0     0  0            999 V3000\n" +
         "M  V30 BEGIN CTAB\nM  V30 COUNTS " + counts + "\n" + blocks + "M  V30 END CTAB\nM  END\n";
}

const std::string kAtoms3 = Block("ATOM", "1 C 0 0 0 0\n2 O 1.5 0 0 0\n3 N 0.7 1.3 0 0\n");

// Atoms and bonds, each atom as DescribeAtoms gives it: {counts, blocks,
// atoms, bond orders}.
TEST(MdlReadV3000, AtomsAndBonds) {
  const std::tuple<std::string, std::string, std::string, std::vector<unsigned>> cases[] = {
      // C1 3 H; N+ with a single and a double bond 1; the doublet carbon
      // (on a continued line) 0; zero valence 0; O with VAL=3 and one bond 2.
      {"5 4 0 0 1",
       Block("ATOM", "1 C -1.5 0.25 0 3\n2 N 0 0 0 0 CHG=1 MASS=15\n3 C 1.5 -0.5 0 0 RAD=2 -\nCFG=3\n"
                     "4 C 3 0 0 0 VAL=-1\n5 O 4.5 0.5 0 0 VAL=3 HCOUNT=2\n") +
           Block("BOND", "1 1 1 2\n2 2 2 3\n3 1 3 4\n4 1 4 5\n"),
       "C h3 :3, 15N h1 +1, C h0, C h0, O h2", {1, 2, 1, 1}},
      // Atom indices may come in any order.
      {"2 1 0 0 0", Block("ATOM", "2 O 1.5 0 0 0\n1 C 0 0 0 0\n") + Block("BOND", "1 2 1 2\n"), "O h0, C h2", {2}},
      // Query symbols are names; R-groups are maps.
      {"4 0 0 0 0", Block("ATOM", "1 [N,O] 0 0 0 0\n2 R# 1.5 0 0 0 RGROUPS=(1 4)\n3 NOT[C,N] 0 1.5 0 0\n4 * 3 3 0 0\n"),
       "* h0 '[N,O]', * h0 :4, * h0 'NOT[C,N]', * h0", {}}};
  for (const auto& [counts, blocks, atoms, orders] : cases) {
    std::vector<std::string> messages;
    QvGraphMol mol = ReadOne(V3000(counts, blocks) + "$$$$\n", &messages);
    EXPECT_EQ(messages, Lines{});
    EXPECT_EQ(DescribeAtoms(mol), atoms);
    std::vector<unsigned> got;
    for (const QvBondBase& bond : mol->GetBonds()) got.push_back(bond.GetOrder());
    EXPECT_EQ(got, orders);
  }
}

TEST(MdlReadV3000, SkippedBlocksWarnOncePerKind) {
  const std::string blocks = kAtoms3 + Block("SGROUP", "1 SUP 0 ATOMS=(1 1)\n") + V30("LINKNODE 1 2 2 1 2 1 3\n") +
                             Block("OBJ3D", "1 POINT\n");
  std::string text = V3000("3 0 0 0 0", blocks);
  text.insert(text.find("M  END"), Block("TEMPLATE", "TEMPLATE 1 AA/Ala/A\n") + Block("RGROUP 1", "", false) +
                                       V30("END RGROUP\n"));
  std::vector<std::string> messages;
  QvGraphMol mol = ReadOne(text + "> <k>\nv\n\n$$$$\n", &messages);
  EXPECT_EQ(mol.NumAtoms(), 3u);
  EXPECT_EQ(SDData(mol), (std::vector<std::pair<std::string, std::string>>{{"k", "v"}}));
  EXPECT_EQ(messages, (Lines{"Unsupported Sgroup information ignored", "Unsupported SCSR Template information ignored",
                             "Unsupported Rgroup definitions ignored"}));
}

TEST(MdlReadV3000, PropertyMessagesThatDoNotFailTheRecord) {
  const std::string blocks = Block("ATOM", "1 C 0 0 0 0 WEIRD=1\n2 C 1.5 0 0 0\n3 C 3 0 0 0\n") +
                             Block("BOND", "1 1 1 2 TOPO=1 CFG\n2 1 2 3 FOO=2 CFG=x\n") +
                             Block("COLLECTION", "MYSET ATOMS=(1 1)\n");
  std::vector<std::string> messages;
  QvGraphMol mol = ReadOne(V3000("3 2 0 0 0", blocks) + "$$$$\n", &messages);
  EXPECT_EQ(mol.NumBonds(), 2u);
  EXPECT_EQ(messages, (Lines{"Unrecognized atom property in line: M  V30 1 C 0 0 0 0 WEIRD=1",
                             "The TOPO bond property is ignored in line M  V30 1 1 1 2 TOPO=1 CFG",
                             "Unrecognized bond property in line: M  V30 1 1 1 2 TOPO=1 CFG",
                             "Unrecognized bond property in line: M  V30 2 1 2 3 FOO=2 CFG=x",
                             "Unrecognized bond property in line: M  V30 2 1 2 3 FOO=2 CFG=x",
                             "Skipping unknown collection type, MYSET"}));
}

// Each bad record costs itself only: its message, then the record after it is read.
TEST(MdlReadV3000, FailuresCostTheRecordOnly) {
  const std::string two_c = Block("ATOM", "1 C 0 0 0 0\n2 C 1.5 0 0 0\n");
  const auto atom = [](const std::string& lines) { return Block("ATOM", lines); };
  const auto collection = [](const std::string& line) { return kAtoms3 + Block("COLLECTION", line); };
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {"x y", kAtoms3, "Invalid V3000 connection table count line!"},
      {"3 0 0 0 0", atom("1 C 0 0\n"), "Invalid V3000 atom block format at line: M  V30 1 C 0 0"},
      {"3 0 0 0 0", atom("1 C 0 0 zero 0\n"), "Invalid V3000 atom block format at line: M  V30 1 C 0 0 zero 0"},
      {"1 0 0 0 0", atom("2 C 0 0 0 0\n"), "Invalid V3000 atom index, 2!"},
      {"2 0 0 0 0", atom("1 C 0 0 0 0\n1 N 0 0 0 0\n"), "Invalid V3000 duplicate atom index, 1!"},
      {"1 0 0 0 0", atom("1 C1 0 0 0 0\n"), "Unrecognized atom symbol in line: M  V30 1 C1 0 0 0 0"},
      {"1 0 0 0 0", atom("1 C 0 0 0 0 CHG=x\n"), "Problem parsing atom properties at line: M  V30 1 C 0 0 0 0 CHG=x"},
      {"1 0 0 0 0", atom("1 C 0 0 0 0 MASS\n"), "Problem parsing atom properties at line: M  V30 1 C 0 0 0 0 MASS"},
      {"1 0 0 0 0", atom("1 C 0 0 0 0 CHG=16\n"), "Problem parsing atom properties at line: M  V30 1 C 0 0 0 0 CHG=16"},
      {"1 0 0 0 0", atom("1 C 0 0 0 0 RAD=4\n"), "Problem parsing atom properties at line: M  V30 1 C 0 0 0 0 RAD=4"},
      {"1 0 0 0 0", atom("1 C 0 0 0 0 MASS=1000\n"),
       "Problem parsing atom properties at line: M  V30 1 C 0 0 0 0 MASS=1000"},
      {"1 0 0 0 0", atom("1 C 0 0 0 0 RGROUPS=(2 1)\n"),
       "Problem parsing atom properties at line: M  V30 1 C 0 0 0 0 RGROUPS=(2 1)"},
      {"1 0 0 0 0", atom("1 C 0 0 0 0 =1\n"), "Problem parsing atom properties at line: M  V30 1 C 0 0 0 0 =1"},
      {"1 0 0 0 0", Block("ATOM", "1 C 0 0 0 0\n", false), "Invalid V3000 atom block format!"},
      {"-1 0 0 0 0", kAtoms3, "Invalid V3000 connection table count line!"},
      {"20000000 0 0 0 0", kAtoms3, "Invalid V3000 connection table count line!"},
      {"2 1 0 0 0", two_c + Block("BOND", "0 1 1 2\n"), "Invalid V3000 bond block format!"},
      {"2 1 0 0 0", two_c + Block("BOND", "1 x 1 2\n"), "Invalid V3000 bond type at line: M  V30 1 x 1 2"},
      {"2 1 0 0 0", two_c, "Invalid V3000 bond block begin format!"},
      {"2 1 0 0 0", Block("BOND", "1 1 1 2\n") + two_c, "Invalid V3000 atom block format!"},
      {"2 1 0 0 0", two_c + Block("BOND", "1 1 1\n"), "Invalid V3000 bond block format!"},
      {"2 1 0 0 0", two_c + Block("BOND", "1 1 1 2\n", false), "Invalid V3000 bond block format!"},
      {"2 1 0 0 0", two_c + Block("BOND", "1 11 1 2\n"), "Invalid V3000 bond type at line: M  V30 1 11 1 2"},
      {"2 1 0 0 0", two_c + Block("BOND", "1 1 1 3\n"), "Invalid V3000 atom endpoint(s) at line: M  V30 1 1 1 3"},
      {"2 1 0 0 0", two_c + Block("BOND", "1 1 2 2\n"), "Invalid V3000 atom endpoint(s) at line: M  V30 1 1 2 2"},
      {"2 2 0 0 0", two_c + Block("BOND", "1 1 1 2\n2 2 2 1\n"),
       "Invalid V3000 bond block, duplicate bond endpoints 2-1"},
      {"3 2 0 0 0", kAtoms3 + Block("BOND", "1 1 1 2\n1 1 2 3\n"), "Invalid V3000 duplicate bond index, 1!"},
      {"3 0 0 0 0", collection("MDLV30/STEXYZ ATOMS=(1 1)\n"), "Unknown stereo collection type"},
      {"3 0 0 0 0", collection("MDLV30/STEABS ATOMS=(1 7)\n"), "Illegal atom index in stereo collection, 7"},
      {"3 0 0 0 0", collection("MDLV30/STEABS ATOMS=(2 1)\n"),
       "Malformed stereo collection basis list: M  V30 MDLV30/STEABS ATOMS=(2 1)"},
      {"3 0 0 0 0", kAtoms3 + Block("COLLECTION", "MDLV30/STEABS ATOMS=(1 1)\n", false),
       "Unable to find collection terminator: M  V30 END CTAB"},
      // Atom indices belong to their record: a collection in a record
      // without atoms must not reach the atoms of the record before it.
      {"0 0 0 0 0", Block("COLLECTION", "MDLV30/STEABS ATOMS=(1 1)\n"), "Illegal atom index in stereo collection, 1"}};
  for (const auto& [counts, blocks, message] : cases) {
    const ReadResult r = Read(V3000("3 0 0 0 0", kAtoms3, "first") + "$$$$\n" + V3000(counts, blocks, "bad") +
                              "$$$$\n" + V3000("3 0 0 0 0", kAtoms3, "last") + "$$$$\n");
    EXPECT_EQ(Titles(r), (Lines{"first", "last"})) << blocks;
    ASSERT_FALSE(r.messages.empty()) << blocks;
    EXPECT_EQ(r.messages.front(), message);
    EXPECT_EQ(r.messages.back(), "Error reading molecule \"bad\" in MDL SDF format.");
    EXPECT_EQ(r.failed, 1u);
  }
}

TEST(MdlReadV3000, MissingBeginCtabIsATableFormatError) {
  const std::string text = "bad\n" + kProgram2D + "\n  0  0  0     0  0            999 V3000\nM  END\n$$$$\n";
  const ReadResult r = Read(text + V3000("3 0 0 0 0", kAtoms3, "good") + "$$$$\n");
  EXPECT_EQ(Titles(r), Lines{"good"});
  EXPECT_EQ(r.messages.front(), "Invalid V3000 connection table format!");
}

}  // namespace
