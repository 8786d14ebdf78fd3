// V3000 connection tables: atoms, bonds, collections and every message.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mdl_reader_support.h"
#include "tamrin/perception/stereo.h"

namespace {

using namespace mdltest;
using Lines = std::vector<std::string>;

// A V3000 record around the given blocks (the lines after COUNTS).
std::string V3000(const std::string& counts, const std::string& blocks, const char* title = "v3") {
  return std::string(title) + "\n" + kProgram2D + "\n  0  0  0     0  0            999 V3000\n" +
         "M  V30 BEGIN CTAB\nM  V30 COUNTS " + counts + "\n" + blocks + "M  V30 END CTAB\nM  END\n";
}

const std::string kAtoms3 =
    "M  V30 BEGIN ATOM\nM  V30 1 C 0 0 0 0\nM  V30 2 O 1.5 0 0 0\nM  V30 3 N 0.7 1.3 0 0\nM  V30 END ATOM\n";

std::string Bonds(const std::string& lines) { return "M  V30 BEGIN BOND\n" + lines + "M  V30 END BOND\n"; }

TEST(MdlReadV3000, AtomsBondsAndProperties) {
  const std::string blocks =
      "M  V30 BEGIN ATOM\n"
      "M  V30 1 C -1.5 0.25 0 3\n"
      "M  V30 2 N 0 0 0 0 CHG=1 MASS=15\n"
      "M  V30 3 C 1.5 -0.5 0 0 RAD=2 -\n"
      "M  V30 CFG=3\n"
      "M  V30 4 C 3 0 0 0 VAL=-1\n"
      "M  V30 5 O 4.5 0.5 0 0 VAL=3 HCOUNT=2\n"
      "M  V30 END ATOM\n" +
      Bonds("M  V30 1 1 1 2\nM  V30 2 2 2 3\nM  V30 3 1 3 4\nM  V30 4 1 4 5\n");
  std::vector<std::string> messages;
  QvGraphMol mol = ReadOne(V3000("5 4 0 0 1", blocks) + "$$$$\n", &messages);
  EXPECT_TRUE(messages.empty()) << messages.front();
  ASSERT_EQ(mol.NumAtoms(), 5u);
  ASSERT_EQ(mol.NumBonds(), 4u);
  float xyz[3];
  mol->GetCoords(&AtomNo(mol, 0), xyz);
  EXPECT_FLOAT_EQ(xyz[0], -1.5f);
  EXPECT_FLOAT_EQ(xyz[1], 0.25f);
  EXPECT_EQ(AtomNo(mol, 0).GetMapIdx(), 3u);
  EXPECT_EQ(AtomNo(mol, 1).GetFormalCharge(), 1);
  EXPECT_EQ(AtomNo(mol, 1).GetIsotope(), 15u);
  EXPECT_EQ(AtomNo(mol, 2).GetData<int>(Sorvil::QvGetTag("MDLAtomParity")), 3);
  EXPECT_EQ(BondNo(mol, 1).GetOrder(), 2u);
  // C1 3 H; N+ with a single and a double bond 1; the doublet carbon 0;
  // zero valence 0; O with VAL=3 and one bond 2.
  EXPECT_EQ(HCounts(mol), (std::vector<unsigned>{3, 1, 0, 0, 2}));
  EXPECT_TRUE(mol->GetData<bool>(Sorvil::QvGetTag("MDLParity")));
}

TEST(MdlReadV3000, AtomIndicesMayComeInAnyOrder) {
  const std::string blocks = "M  V30 BEGIN ATOM\nM  V30 2 O 1.5 0 0 0\nM  V30 1 C 0 0 0 0\nM  V30 END ATOM\n" +
                             Bonds("M  V30 1 2 1 2\n");
  QvGraphMol mol = ReadOne(V3000("2 1 0 0 0", blocks) + "$$$$\n");
  EXPECT_EQ(AtomNo(mol, 0).GetAtomicNum(), 8u);
  EXPECT_EQ(HCounts(mol), (std::vector<unsigned>{0, 2}));
}

TEST(MdlReadV3000, QuerySymbolsAndRGroups) {
  const std::string blocks =
      "M  V30 BEGIN ATOM\nM  V30 1 [N,O] 0 0 0 0\nM  V30 2 R# 1.5 0 0 0 RGROUPS=(1 4)\n"
      "M  V30 3 NOT[C,N] 0 1.5 0 0\nM  V30 4 * 3 3 0 0\nM  V30 END ATOM\n";
  QvGraphMol mol = ReadOne(V3000("4 0 0 0 0", blocks) + "$$$$\n");
  EXPECT_STREQ(AtomNo(mol, 0).GetName(), "[N,O]");
  EXPECT_EQ(AtomNo(mol, 1).GetAtomicNum(), 0u);
  EXPECT_EQ(AtomNo(mol, 1).GetMapIdx(), 4u);
  EXPECT_STREQ(AtomNo(mol, 2).GetName(), "NOT[C,N]");
  EXPECT_STREQ(AtomNo(mol, 3).GetName(), "");
}

TEST(MdlReadV3000, BondStereoConfigurations) {
  const std::string blocks =
      "M  V30 BEGIN ATOM\nM  V30 1 C 0 0 0 0\nM  V30 2 F 0 1.5 0 0\nM  V30 3 Cl 1.3 -0.75 0 0\n"
      "M  V30 4 Br -1.3 -0.75 0 0\nM  V30 5 C -2.6 0 0 0\nM  V30 6 C -3.9 -0.75 0 0\nM  V30 END ATOM\n" +
      Bonds("M  V30 1 1 1 2 CFG=1\nM  V30 2 1 1 3 CFG=3\nM  V30 3 1 1 4 CFG=2\nM  V30 4 1 4 5\n"
            "M  V30 5 2 5 6 CFG=2\n");
  QvGraphMol mol = ReadOne(V3000("6 5 0 0 0", blocks) + "$$$$\n");
  std::vector<int> marks;
  for (const QvBondBase& bond : mol->GetBonds()) marks.push_back(bond.GetData<int>(Sorvil::QvBondStereoTag));
  EXPECT_EQ(marks, (std::vector<int>{2, 1, 5, 0, 6}));
}

TEST(MdlReadV3000, StereoCollectionsBecomeStereoGroups) {
  const std::string blocks = kAtoms3 +
                             "M  V30 BEGIN COLLECTION\nM  V30 MDLV30/STEABS ATOMS=(1 1)\n"
                             "M  V30 MDLV30/STERAC2 ATOMS=(1 2)\nM  V30 MDLV30/STEREL3 ATOMS=(1 3)\n"
                             "M  V30 MDLV30/HILITE ATOMS=(2 1 2)\nM  V30 END COLLECTION\n";
  std::vector<std::string> messages;
  QvGraphMol mol = ReadOne(V3000("3 0 0 0 0", blocks) + "$$$$\n", &messages);
  EXPECT_TRUE(messages.empty());
  using Tamrin::QvStereoGroup;
  using Tamrin::QvStereoGroupKind;
  EXPECT_EQ(Tamrin::QvGetStereoGroup(AtomNo(mol, 0)), (QvStereoGroup{QvStereoGroupKind::Absolute, 0}));
  EXPECT_EQ(Tamrin::QvGetStereoGroup(AtomNo(mol, 1)), (QvStereoGroup{QvStereoGroupKind::And, 2}));
  EXPECT_EQ(Tamrin::QvGetStereoGroup(AtomNo(mol, 2)), (QvStereoGroup{QvStereoGroupKind::Or, 3}));
}

TEST(MdlReadV3000, SkippedBlocksWarnOncePerKind) {
  const std::string blocks = kAtoms3 +
                             "M  V30 BEGIN SGROUP\nM  V30 1 SUP 0 ATOMS=(1 1)\nM  V30 END SGROUP\n"
                             "M  V30 LINKNODE 1 2 2 1 2 1 3\nM  V30 BEGIN OBJ3D\nM  V30 1 POINT\nM  V30 END OBJ3D\n";
  const std::string trailer = "M  V30 BEGIN TEMPLATE\nM  V30 TEMPLATE 1 AA/Ala/A\nM  V30 END TEMPLATE\n"
                              "M  V30 BEGIN RGROUP 1\nM  V30 END RGROUP\n";
  std::string text = V3000("3 0 0 0 0", blocks);
  text.insert(text.find("M  END"), trailer);
  std::vector<std::string> messages;
  QvGraphMol mol = ReadOne(text + "> <k>\nv\n\n$$$$\n", &messages);
  EXPECT_EQ(mol.NumAtoms(), 3u);
  EXPECT_EQ(SDData(mol), (std::vector<std::pair<std::string, std::string>>{{"k", "v"}}));
  EXPECT_EQ(messages, (Lines{"Unsupported Sgroup information ignored",
                             "Unsupported SCSR Template information ignored",
                             "Unsupported Rgroup definitions ignored"}));
}

TEST(MdlReadV3000, PropertyMessagesThatDoNotFailTheRecord) {
  const std::string blocks =
      "M  V30 BEGIN ATOM\nM  V30 1 C 0 0 0 0 WEIRD=1\nM  V30 2 C 1.5 0 0 0\nM  V30 3 C 3 0 0 0\nM  V30 END ATOM\n" +
      Bonds("M  V30 1 1 1 2 TOPO=1\nM  V30 2 1 2 3 FOO=2\n") +
      "M  V30 BEGIN COLLECTION\nM  V30 MYSET ATOMS=(1 1)\nM  V30 END COLLECTION\n";
  std::vector<std::string> messages;
  QvGraphMol mol = ReadOne(V3000("3 2 0 0 0", blocks) + "$$$$\n", &messages);
  EXPECT_EQ(mol.NumBonds(), 2u);
  EXPECT_EQ(messages, (Lines{"Unrecognized atom property in line: M  V30 1 C 0 0 0 0 WEIRD=1",
                             "The TOPO bond property is ignored in line M  V30 1 1 1 2 TOPO=1",
                             "Unrecognized bond property in line: M  V30 2 1 2 3 FOO=2",
                             "Skipping unknown collection type, MYSET"}));
}

struct FailureCase {
  std::string counts;
  std::string blocks;
  std::string message;
};

class MdlReadV3000Failures : public ::testing::TestWithParam<FailureCase> {};

// Each bad record costs itself only: the record after it is read.
TEST_P(MdlReadV3000Failures, MessageThenTheNextRecord) {
  const FailureCase& c = GetParam();
  const ReadResult r = ReadAll(V3000(c.counts, c.blocks, "bad") + "$$$$\n" + V3000("3 0 0 0 0", kAtoms3, "good") +
                               "$$$$\n");
  EXPECT_EQ(Titles(r), Lines{"good"});
  ASSERT_FALSE(r.messages.empty());
  EXPECT_EQ(r.messages.front(), c.message);
  EXPECT_EQ(r.messages.back(), "Error reading molecule \"bad\" in MDL SDF format.");
  EXPECT_EQ(r.failed, 1u);
}

const std::string kTwoC = "M  V30 BEGIN ATOM\nM  V30 1 C 0 0 0 0\nM  V30 2 C 1.5 0 0 0\nM  V30 END ATOM\n";

INSTANTIATE_TEST_SUITE_P(
    Records, MdlReadV3000Failures,
    ::testing::Values(
        FailureCase{"x y", kAtoms3, "Invalid V3000 connection table count line!"},
        FailureCase{"3 0 0 0 0", "M  V30 BEGIN ATOM\nM  V30 1 C 0 0\nM  V30 END ATOM\n",
                    "Invalid V3000 atom block format at line: M  V30 1 C 0 0"},
        FailureCase{"3 0 0 0 0", "M  V30 BEGIN ATOM\nM  V30 1 C 0 0 zero 0\nM  V30 END ATOM\n",
                    "Invalid V3000 atom block format at line: M  V30 1 C 0 0 zero 0"},
        FailureCase{"1 0 0 0 0", "M  V30 BEGIN ATOM\nM  V30 2 C 0 0 0 0\nM  V30 END ATOM\n",
                    "Invalid V3000 atom index, 2!"},
        FailureCase{"2 0 0 0 0", "M  V30 BEGIN ATOM\nM  V30 1 C 0 0 0 0\nM  V30 1 N 0 0 0 0\nM  V30 END ATOM\n",
                    "Invalid V3000 duplicate atom index, 1!"},
        FailureCase{"1 0 0 0 0", "M  V30 BEGIN ATOM\nM  V30 1 C1 0 0 0 0\nM  V30 END ATOM\n",
                    "Unrecognized atom symbol in line: M  V30 1 C1 0 0 0 0"},
        FailureCase{"1 0 0 0 0", "M  V30 BEGIN ATOM\nM  V30 1 C 0 0 0 0 CHG=x\nM  V30 END ATOM\n",
                    "Problem parsing atom properties at line: M  V30 1 C 0 0 0 0 CHG=x"},
        FailureCase{"1 0 0 0 0", "M  V30 BEGIN ATOM\nM  V30 1 C 0 0 0 0 MASS\nM  V30 END ATOM\n",
                    "Problem parsing atom properties at line: M  V30 1 C 0 0 0 0 MASS"},
        FailureCase{"1 0 0 0 0", "M  V30 BEGIN ATOM\nM  V30 1 C 0 0 0 0\n", "Invalid V3000 atom block format!"},
        FailureCase{"2 1 0 0 0", kTwoC, "Invalid V3000 bond block begin format!"},
        FailureCase{"2 1 0 0 0", "M  V30 BEGIN BOND\nM  V30 1 1 1 2\nM  V30 END BOND\n" + kTwoC,
                    "Invalid V3000 atom block format!"},
        FailureCase{"2 1 0 0 0", kTwoC + "M  V30 BEGIN BOND\nM  V30 1 1 1\nM  V30 END BOND\n",
                    "Invalid V3000 bond block format!"},
        FailureCase{"2 1 0 0 0", kTwoC + "M  V30 BEGIN BOND\nM  V30 1 1 1 2\n", "Invalid V3000 bond block format!"},
        FailureCase{"2 1 0 0 0", kTwoC + Bonds("M  V30 1 11 1 2\n"),
                    "Invalid V3000 bond type at line: M  V30 1 11 1 2"},
        FailureCase{"2 1 0 0 0", kTwoC + Bonds("M  V30 1 1 1 3\n"),
                    "Invalid V3000 atom endpoint(s) at line: M  V30 1 1 1 3"},
        FailureCase{"2 1 0 0 0", kTwoC + Bonds("M  V30 1 1 2 2\n"),
                    "Invalid V3000 atom endpoint(s) at line: M  V30 1 1 2 2"},
        FailureCase{"2 2 0 0 0", kTwoC + Bonds("M  V30 1 1 1 2\nM  V30 2 2 2 1\n"),
                    "Invalid V3000 bond block, duplicate bond endpoints 2-1"},
        FailureCase{"3 2 0 0 0", kAtoms3 + Bonds("M  V30 1 1 1 2\nM  V30 1 1 2 3\n"),
                    "Invalid V3000 duplicate bond index, 1!"},
        FailureCase{"3 0 0 0 0", kAtoms3 + "M  V30 BEGIN COLLECTION\nM  V30 MDLV30/STEXYZ ATOMS=(1 1)\n"
                                           "M  V30 END COLLECTION\n",
                    "Unknown stereo collection type"},
        FailureCase{"3 0 0 0 0", kAtoms3 + "M  V30 BEGIN COLLECTION\nM  V30 MDLV30/STEABS ATOMS=(1 7)\n"
                                           "M  V30 END COLLECTION\n",
                    "Illegal atom index in stereo collection, 7"},
        FailureCase{"3 0 0 0 0", kAtoms3 + "M  V30 BEGIN COLLECTION\nM  V30 MDLV30/STEABS ATOMS=(2 1)\n"
                                           "M  V30 END COLLECTION\n",
                    "Malformed stereo collection basis list: M  V30 MDLV30/STEABS ATOMS=(2 1)"},
        FailureCase{"3 0 0 0 0", kAtoms3 + "M  V30 BEGIN COLLECTION\nM  V30 MDLV30/STEABS ATOMS=(1 1)\n",
                    "Unable to find collection terminator: M  V30 END CTAB"}));

TEST(MdlReadV3000, MissingBeginCtabIsATableFormatError) {
  const std::string text = "bad\n" + kProgram2D + "\n  0  0  0     0  0            999 V3000\nM  END\n$$$$\n";
  const ReadResult r = ReadAll(text + V3000("3 0 0 0 0", kAtoms3, "good") + "$$$$\n");
  EXPECT_EQ(Titles(r), Lines{"good"});
  EXPECT_EQ(r.messages.front(), "Invalid V3000 connection table format!");
}

}  // namespace

namespace {

// Atom indices belong to their record: a collection in a record without
// atoms must not reach the atoms of the record before it.
TEST(MdlReadV3000, CollectionsNeverSeeAnotherRecordsAtoms) {
  const std::string stray =
      "M  V30 BEGIN COLLECTION\nM  V30 MDLV30/STEABS ATOMS=(1 1)\nM  V30 END COLLECTION\n";
  const ReadResult r = ReadAll(V3000("3 0 0 0 0", kAtoms3, "first") + "$$$$\n" +
                               V3000("0 0 0 0 0", stray, "bad") + "$$$$\n" +
                               V3000("3 0 0 0 0", kAtoms3, "last") + "$$$$\n");
  EXPECT_EQ(Titles(r), (Lines{"first", "last"}));
  EXPECT_EQ(r.messages.front(), "Illegal atom index in stereo collection, 1");
}

}  // namespace
