// The SMILES formats in the molecule streams: SMI, USM, ISM, CAN and
// CXSMILES read line by line (titles, skipped lines, failed records, the
// flavor bits, the ring cis/trans clean-up) and written one line each.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "format_test_support.h"
#include "smiles_test_support.h"
#include "tamrin/perception/stereo.h"

namespace {

using formattest::ReadAll;
using formattest::Titles;
using Tamrin::QvFormat;
using Tamrin::QvGraphMol;
using Strings = std::vector<std::string>;

std::string Write(QvFormat format, const Strings& smiles, unsigned flavor = 0) {
  Tamrin::qvmolostream out;
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

bool AnyBondStereo(const QvGraphMol& mol) {
  for (const Tamrin::QvBondBase& bond : mol.GetBonds())
    if (Tamrin::QvHasBondStereo(bond)) return true;
  return false;
}

// The stream clears cis/trans on ring bonds of rings below seven atoms; the
// parser itself keeps it.
TEST(SmilesStream, RingCisTransClearedBelowSevenAtoms) {
  for (const auto& [text, kept] : std::vector<std::pair<std::string, bool>>{
           {"C/1=C/CCCC1", false}, {"F/C=C/F", true}, {"C/1=C/CCCCCC1", true}, {"C1CC/C=C/C1", false}}) {
    const auto r = ReadAll(text + "\n", QvFormat::SMI);
    ASSERT_EQ(r.mols.size(), 1u) << text;
    EXPECT_EQ(AnyBondStereo(r.mols[0]), kept) << text;
    QvGraphMol direct;
    ASSERT_TRUE(Tamrin::QvParseSmiles(direct, text, false, false));
    EXPECT_TRUE(AnyBondStereo(direct)) << text;
  }
}

// CXSMILES files: the block after the SMILES is read, and a line that holds
// no molecule counts as a failed record instead of being passed over.
TEST(SmilesStream, CXSmilesLinesAndSkippedLines) {
  const auto r = ReadAll("CCO ethanol\n# note\nc1ccncc1 |$;;;N1;;$| pyridine\n", QvFormat::CXSMILES);
  EXPECT_EQ(Titles(r), (Strings{"ethanol", "pyridine"}));
  EXPECT_EQ(r.failed, 1u);
  EXPECT_EQ(r.mols.at(1)->NumAtoms(), 6u);
}

// One line per molecule, the title after a blank; each kind by its default
// flavor, and the flavor handed to the writer; an empty molecule writes no line.
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
  QvGraphMol empty;
  empty.SetTitle("nothing");
  const formattest::Written w = formattest::Write(empty, 0, QvFormat::SMI);
  EXPECT_EQ(w.status, 0);
  EXPECT_EQ(w.text, "");
}

}  // namespace
