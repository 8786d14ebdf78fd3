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

TEST(MdlReadV3000, MissingBeginCtabIsATableFormatError) {
  const std::string text = "bad\n" + kProgram2D + "\n  0  0  0     0  0            999 V3000\nM  END\n$$$$\n";
  const ReadResult r = Read(text + V3000("3 0 0 0 0", kAtoms3, "good") + "$$$$\n");
  EXPECT_EQ(Titles(r), Lines{"good"});
  EXPECT_EQ(r.messages.front(), "Invalid V3000 connection table format!");
}

}  // namespace
