// The SMILES formats in the molecule streams: SMI, USM, ISM, CAN and
// CXSMILES read line by line (titles, skipped lines, failed records, the
// flavor bits, the ring cis/trans clean-up) and written one line each.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "smiles_test_support.h"
#include "tamrin/perception/stereo.h"
#include "tamrin/streams/molio.h"
#include "tamrin/streams/molstream.h"

namespace {

using Tamrin::QvFormat;
using Tamrin::QvGraphMol;
using Tamrin::qvmolistream;
using Tamrin::qvmolostream;

struct ReadAll {
  std::vector<std::string> titles;
  std::vector<unsigned> atoms;
  std::vector<std::string> messages;
  unsigned failed = 0;
};

ReadAll Read(QvFormat format, const std::string& text, unsigned flavor = 0) {
  CapturedMessages captured;
  qvmolistream in;
  EXPECT_TRUE(in.SetFormat(format));
  if (flavor) {
    EXPECT_TRUE(in.SetFlavor(format, flavor));
  }
  EXPECT_TRUE(in.openstring(text));
  ReadAll result;
  QvGraphMol mol;
  while (Tamrin::QvReadMolecule(in, mol)) {
    result.titles.push_back(mol.GetTitle());
    result.atoms.push_back(mol.NumAtoms());
  }
  result.failed = in.GetFailedCount();
  result.messages = captured.lines();
  return result;
}

std::string Write(QvFormat format, const std::vector<std::string>& smiles, unsigned flavor = 0) {
  qvmolostream out;
  EXPECT_TRUE(out.SetFormat(format));
  if (flavor) {
    EXPECT_TRUE(out.SetFlavor(format, flavor));
  }
  EXPECT_TRUE(out.openstring());
  for (const std::string& text : smiles) {
    QvGraphMol mol;
    EXPECT_TRUE(Tamrin::QvParseSmiles(mol, text, false, false)) << text;
    EXPECT_EQ(Tamrin::QvWriteMolecule(out, mol), 0);
  }
  return out.GetString();
}

class SmilesFormats : public ::testing::TestWithParam<QvFormat> {};

TEST_P(SmilesFormats, LinesTitlesAndSkippedLines) {
  const auto r = Read(GetParam(), "CCO ethanol\n# a comment\n\n c1ccccc1 indented\nc1ccccc1\tbenzene ring \nN\n");
  EXPECT_EQ(r.titles, (std::vector<std::string>{"ethanol", "benzene ring", ""}));
  EXPECT_EQ(r.atoms, (std::vector<unsigned>{3, 6, 1}));
  EXPECT_EQ(r.failed, 0u);
  EXPECT_TRUE(r.messages.empty());
}

TEST_P(SmilesFormats, BadLineIsReportedAndSkipped) {
  const auto r = Read(GetParam(), "CC one\nC(C two\nO three\n");
  EXPECT_EQ(r.titles, (std::vector<std::string>{"one", "three"}));
  EXPECT_EQ(r.failed, 1u);
  const std::string description = Tamrin::QvFormatDescription(GetParam());
  EXPECT_EQ(r.messages, (std::vector<std::string>{"Problem parsing SMILES:", "Unclosed branch.", "C(C two", "   ^\n",
                                                  "Error reading molecule \"two\" in " + description + " format."}));
}

INSTANTIATE_TEST_SUITE_P(Streams, SmilesFormats,
                         ::testing::Values(QvFormat::SMI, QvFormat::USM, QvFormat::ISM, QvFormat::CAN));

TEST(SmilesStream, StrictFlavorBit) {
  EXPECT_EQ(Read(QvFormat::SMI, "HC loose\n").titles, std::vector<std::string>{"loose"});
  const auto strict = Read(QvFormat::SMI, "HC loose\nCC fine\n", 0x4001);
  EXPECT_EQ(strict.titles, std::vector<std::string>{"fine"});
  EXPECT_EQ(strict.failed, 1u);
}

TEST(SmilesStream, NoKekulizationFlavorBit) {
  qvmolistream in;
  ASSERT_TRUE(in.SetFlavor(QvFormat::SMI, 0x4002));
  ASSERT_TRUE(in.openstring("c1ccccc1\n"));
  QvGraphMol mol;
  CapturedMessages captured;
  ASSERT_TRUE(Tamrin::QvReadMolecule(in, mol));
  for (const Tamrin::QvBondBase& bond : mol.GetBonds()) EXPECT_EQ(bond.GetOrder(), 5u);
  EXPECT_EQ(captured.lines(),
            std::vector<std::string>{
                "QvParseSmiles() : molecule has bond(s) with incorrect bond order due to skipping kekulization!"});
}

TEST(SmilesStream, RingCisTransClearedBelowSevenAtoms) {
  for (const auto& [text, kept] : std::vector<std::pair<std::string, bool>>{
           {"C/1=C/CCCC1", false}, {"F/C=C/F", true}, {"C/1=C/CCCCCC1", true}, {"C1CC/C=C/C1", false}}) {
    qvmolistream in;
    ASSERT_TRUE(in.openstring(text + "\n"));
    QvGraphMol mol;
    CapturedMessages quiet;
    ASSERT_TRUE(Tamrin::QvReadMolecule(in, mol)) << text;
    bool any = false;
    for (const Tamrin::QvBondBase& bond : mol.GetBonds()) any = any || Tamrin::QvHasBondStereo(bond);
    EXPECT_EQ(any, kept) << text;
    QvGraphMol direct;
    ASSERT_TRUE(Tamrin::QvParseSmiles(direct, text, false, false));
    bool parsed = false;
    for (const Tamrin::QvBondBase& bond : direct.GetBonds()) parsed = parsed || Tamrin::QvHasBondStereo(bond);
    EXPECT_TRUE(parsed) << text << ": the parser itself keeps it";
  }
}

TEST(SmilesStream, CXSmilesReadsBlockAndCountsSkippedLines) {
  const auto r = Read(QvFormat::CXSMILES, "C[C@H](F)Cl |&1:1| first\n# comment\nCC |(0,0,0)| second\n");
  EXPECT_EQ(r.titles, (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(r.failed, 1u);
  EXPECT_EQ(r.messages, (std::vector<std::string>{"Error reading molecule \"\" in Chemaxon Extended SMILES format.",
                                                  "cxsmiles information was ignored."}));
}

TEST(SmilesStream, SmiReaderLeavesCXBlockInTitle) {
  EXPECT_EQ(Read(QvFormat::SMI, "C[C@H](F)Cl |&1:1| first\n").titles, std::vector<std::string>{"|&1:1| first"});
}

// One line per molecule, the title after a blank; each kind by its default
// flavor, and the flavor handed to the writer.
TEST(SmilesStream, WritesOneLinePerMoleculeWithTitle) {
  using smiles_test::Smiles;
  EXPECT_EQ(Write(QvFormat::SMI, {"OCC ethanol", "c1ccccc1", "F/C=C/F  trans "}),
            Smiles("OCC") + " ethanol\n" + Smiles("c1ccccc1") + "\n" + Smiles("F/C=C/F") + " trans\n");
  EXPECT_EQ(Write(QvFormat::ISM, {"F[C@H](Cl)Br"}), Write(QvFormat::SMI, {"Br[C@@H](Cl)F"}));
  // USM keeps the atom order and drops stereo and isotopes; CAN is canonical without them.
  EXPECT_EQ(Write(QvFormat::USM, {"OCC ethanol", "F/C=C/F", "[13CH4]", "[CH3:2]O"}), "OCC ethanol\nFC=CF\nC\n[CH3:2]O\n");
  EXPECT_EQ(Write(QvFormat::CAN, {"F/C=C/F", "[13CH4]", "F[C@H](Cl)Br"}),
            Write(QvFormat::CAN, {"F/C=C\\F", "C", "Br[C@H](Cl)F"}));
  EXPECT_EQ(Write(QvFormat::SMI, {"c1ccccc1"}, 0x40FD), "C=1C=CC=CC1\n");
}

TEST(SmilesStream, EmptyMoleculeWritesNoLine) {
  qvmolostream out;
  ASSERT_TRUE(out.openstring());
  QvGraphMol empty;
  empty.SetTitle("nothing");
  EXPECT_EQ(Tamrin::QvWriteMolecule(out, empty), 0);
  EXPECT_EQ(out.GetString(), "");
}

}  // namespace
