// V2000 molfiles and SD files: columns, messages, data items, recovery.
#include <gtest/gtest.h>

#include <zlib.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "mdl_reader_support.h"
#include "tamrin/formats/mdl/mdl.h"
#include "tamrin/formats/mdl/mdlparity.h"
#include "tamrin/perception/stereo.h"
#include "tamrin/perception/stereoperception.h"

namespace {

using namespace mdltest;
using Lines = std::vector<std::string>;
using Pairs = std::vector<std::pair<std::string, std::string>>;

unsigned ParityTag() { return Sorvil::QvGetTag("MDLAtomParity"); }

// ---- fixed columns ----

struct CoordCase {
  const char* field;  // exactly ten characters
  float expected;
};

class MdlReadFixedCoordinates : public ::testing::TestWithParam<CoordCase> {};

TEST_P(MdlReadFixedCoordinates, OnlyTheFixedLayoutReads) {
  const CoordCase& c = GetParam();
  ASSERT_EQ(std::string(c.field).size(), 10u);
  Molfile m;
  m.atoms = {std::string(c.field) + "    0.0000    0.0000 C   0  0  0  0  0  0  0  0  0  0  0  0\n"};
  QvGraphMol mol = ReadOne(m.Record());
  float xyz[3];
  mol->GetCoords(&AtomNo(mol, 0), xyz);
  EXPECT_FLOAT_EQ(xyz[0], c.expected) << '"' << c.field << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Fields, MdlReadFixedCoordinates,
    ::testing::Values(CoordCase{"    1.5000", 1.5f}, CoordCase{"   -3.8118", -3.8118f},
                      CoordCase{"12345.6789", 12345.6789f}, CoordCase{"-1234.5678", -1234.5678f},
                      CoordCase{"    -.5000", -0.5f}, CoordCase{"     .2500", 0.25f},
                      CoordCase{"1.5       ", 0.0f},   // left-aligned
                      CoordCase{"   1.50000", 0.0f},   // shifted one column
                      CoordCase{"    1,5000", 0.0f},   // decimal comma
                      CoordCase{"    1.5e00", 0.0f}, CoordCase{"  1 2.0000", 0.0f},
                      CoordCase{"   +1.5000", 0.0f}));

TEST(MdlReadFixedColumns, IntegerFieldsIgnoreStrayCharactersAndTakeTheMinusAnywhere) {
  // Counts "2x" and " 1-" read as 2 atoms and -1 bonds, which is 0.
  const std::string text = "t\n" + kProgram2D + "\n" + " 2x 1-  0  0  0  0  0  0  0  0999 V2000\n" +
                           AtomLine(0, 0, 0, "C") + AtomLine(1.5, 0, 0, "O") + "M  END\n$$$$\n";
  QvGraphMol mol = ReadOne(text);
  EXPECT_EQ(mol.NumAtoms(), 2u);
  EXPECT_EQ(mol.NumBonds(), 0u);
}

TEST(MdlReadFixedColumns, TabsExpandToStopsOfEight) {
  // The tab after the symbol (column 33) reaches column 41, so the "3" lands
  // in the hydrogen-count columns 43-45 (two hydrogens, kept as given); read
  // without expansion it would be a mass difference of 3.
  Molfile m;
  m.atoms = {"    0.0000    0.0000    0.0000 N\t  3   \n"};
  QvGraphMol mol = ReadOne(m.Record());
  EXPECT_EQ(AtomNo(mol, 0).GetIsotope(), 0u);
  EXPECT_EQ(AtomNo(mol, 0).GetImplicitHCount(), 2u);
}

// ---- atom block ----

struct AtomCase {
  std::string line;
  unsigned z;
  unsigned isotope;
  int charge;
  const char* name;
  unsigned map;
};

class MdlReadAtomColumns : public ::testing::TestWithParam<AtomCase> {};

TEST_P(MdlReadAtomColumns, ElementIsotopeChargeNameMap) {
  const AtomCase& c = GetParam();
  Molfile m;
  m.atoms = {c.line};
  QvGraphMol mol = ReadOne(m.Record());
  const QvAtomBase& atom = AtomNo(mol, 0);
  EXPECT_EQ(atom.GetAtomicNum(), c.z) << c.line;
  EXPECT_EQ(atom.GetIsotope(), c.isotope) << c.line;
  EXPECT_EQ(atom.GetFormalCharge(), c.charge) << c.line;
  EXPECT_STREQ(atom.GetName(), c.name) << c.line;
  EXPECT_EQ(atom.GetMapIdx(), c.map) << c.line;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, MdlReadAtomColumns,
    ::testing::Values(AtomCase{AtomLine(0, 0, 0, "C"), 6, 0, 0, "", 0},
                      AtomCase{AtomLine(0, 0, 0, "Cl"), 17, 0, 0, "", 0},
                      AtomCase{AtomLine(0, 0, 0, "D"), 1, 2, 0, "", 0},
                      AtomCase{AtomLine(0, 0, 0, "T"), 1, 3, 0, "", 0},
                      AtomCase{AtomLine(0, 0, 0, "C", 1), 6, 13, 0, "", 0},
                      AtomCase{AtomLine(0, 0, 0, "C", -1), 6, 11, 0, "", 0},
                      AtomCase{AtomLine(0, 0, 0, "H", -3), 1, 0, 0, "", 0},  // mass would be -2
                      AtomCase{AtomLine(0, 0, 0, "*", 2), 0, 0, 0, "", 0},   // no element: no mass
                      AtomCase{AtomLine(0, 0, 0, "Q"), 0, 0, 0, "Q", 0},
                      AtomCase{AtomLine(0, 0, 0, "LP"), 0, 0, 0, "LP", 0},
                      AtomCase{AtomLine(0, 0, 0, "R#"), 0, 0, 0, "", 0},
                      AtomCase{AtomLine(0, 0, 0, "R12"), 0, 0, 0, "", 12},
                      AtomCase{AtomLine(0, 0, 0, "N", 0, 1), 7, 0, 3, "", 0},
                      AtomCase{AtomLine(0, 0, 0, "N", 0, 2), 7, 0, 2, "", 0},
                      AtomCase{AtomLine(0, 0, 0, "N", 0, 3), 7, 0, 1, "", 0},
                      AtomCase{AtomLine(0, 0, 0, "N", 0, 4), 7, 0, 0, "", 0},  // doublet radical
                      AtomCase{AtomLine(0, 0, 0, "O", 0, 5), 8, 0, -1, "", 0},
                      AtomCase{AtomLine(0, 0, 0, "O", 0, 6), 8, 0, -2, "", 0},
                      AtomCase{AtomLine(0, 0, 0, "O", 0, 7), 8, 0, -3, "", 0},
                      AtomCase{AtomLine(0, 0, 0, "O", 0, -1), 8, 0, 5, "", 0},
                      AtomCase{AtomLine(0, 0, 0, "O", 0, 8), 8, 0, 0, "", 0},
                      AtomCase{AtomLine(0, 0, 0, "C", 0, 0, 0, 0, 0, 7), 6, 0, 0, "", 7},
                      // A line that stops after the symbol reads no further column.
                      AtomCase{"    0.0000    0.0000    0.0000 N  \n", 7, 0, 0, "", 0},
                      AtomCase{"    0.0000    0.0000    0.0000 C   0  3\n", 6, 0, 1, "", 0},
                      AtomCase{"    0.0000    0.0000    0.0000 C   0  3 \n", 6, 0, 1, "", 0}));

struct HydrogenCase {
  std::vector<std::string> atoms;
  std::vector<std::string> bonds;
  std::string properties;
  std::vector<unsigned> expected;
};

class MdlReadImplicitHydrogens : public ::testing::TestWithParam<HydrogenCase> {};

TEST_P(MdlReadImplicitHydrogens, ValenceColumnThenHydrogenCountThenModel) {
  const HydrogenCase& c = GetParam();
  Molfile m;
  m.atoms = c.atoms;
  m.bonds = c.bonds;
  m.properties = c.properties;
  QvGraphMol mol = ReadOne(m.Record());
  EXPECT_EQ(HCounts(mol), c.expected) << m.Text();
}

const std::string kC0 = AtomLine(0, 0, 0, "C");
const std::string kC1 = AtomLine(1.5, 0, 0, "C");
const std::string kO1 = AtomLine(1.5, 0, 0, "O");

INSTANTIATE_TEST_SUITE_P(
    Records, MdlReadImplicitHydrogens,
    ::testing::Values(HydrogenCase{{kC0, kO1}, {BondLine(1, 2, 2)}, "", {2, 0}},
                      HydrogenCase{{kC0, kO1}, {BondLine(1, 2, 1)}, "", {3, 1}},
                      // Valence column: 2 on a carbon with one bond leaves one hydrogen.
                      HydrogenCase{{AtomLine(0, 0, 0, "C", 0, 0, 0, 0, 2), kC1}, {BondLine(1, 2, 1)}, "", {1, 3}},
                      // 15 means zero valence: no hydrogens at all.
                      HydrogenCase{{AtomLine(0, 0, 0, "C", 0, 0, 0, 0, 15), kC1}, {BondLine(1, 2, 1)}, "", {0, 3}},
                      // A valence below the bonds sets nothing.
                      HydrogenCase{{AtomLine(0, 0, 0, "C", 0, 0, 0, 0, 1), kC1}, {BondLine(1, 2, 2)}, "", {0, 2}},
                      // Hydrogen-count column: h means h - 1 hydrogens, kept as given.
                      HydrogenCase{{AtomLine(0, 0, 0, "C", 0, 0, 0, 1), kC1}, {BondLine(1, 2, 1)}, "", {0, 3}},
                      HydrogenCase{{AtomLine(0, 0, 0, "N", 0, 0, 0, 3), kC1}, {BondLine(1, 2, 1)}, "", {2, 3}},
                      // Radicals take their electrons: doublet one, singlet and triplet two.
                      HydrogenCase{{AtomLine(0, 0, 0, "C", 0, 4), kC1}, {BondLine(1, 2, 1)}, "", {2, 3}},
                      HydrogenCase{{kC0, kC1}, {BondLine(1, 2, 1)}, "M  RAD  1   1   1\n", {1, 3}},
                      HydrogenCase{{kC0, kC1}, {BondLine(1, 2, 1)}, "M  RAD  1   1   3\n", {1, 3}},
                      HydrogenCase{{kC0, kC1}, {BondLine(1, 2, 1)}, "M  RAD  1   1   2\n", {2, 3}},
                      // Charges shift the valence: ammonium, oxide.
                      HydrogenCase{{AtomLine(0, 0, 0, "N", 0, 3), kC1}, {BondLine(1, 2, 1)}, "", {3, 3}},
                      HydrogenCase{{AtomLine(0, 0, 0, "O", 0, 5), kC1}, {BondLine(1, 2, 1)}, "", {0, 3}},
                      // Metals and wildcards take none.
                      HydrogenCase{{AtomLine(0, 0, 0, "Fe"), AtomLine(0, 0, 0, "*")}, {}, "", {0, 0}}));

TEST(MdlReadAtomBlock, ParityColumnIsKept) {
  Molfile m;
  m.atoms = {AtomLine(0, 0, 0, "C", 0, 0, 3), AtomLine(1, 0, 0, "C", 0, 0, 0)};
  QvGraphMol mol = ReadOne(m.Record());
  EXPECT_EQ(AtomNo(mol, 0).GetData<int>(ParityTag()), 3);
  EXPECT_FALSE(AtomNo(mol, 1).HasData(ParityTag()));
}

// ---- bond block ----

struct BondCase {
  std::string line;
  unsigned order;
  int int_type;
  int mark;  // tag 55, 0 when absent
  std::string message;
};

class MdlReadBondColumns : public ::testing::TestWithParam<BondCase> {};

TEST_P(MdlReadBondColumns, TypeStereoAndMessages) {
  const BondCase& c = GetParam();
  Molfile m;
  m.title = "bonded";
  m.atoms = {AtomLine(0, 0, 0, "C"), AtomLine(1.5, 0, 0, "C"), AtomLine(2.2, 1.3, 0, "C")};
  m.bonds = {BondLine(1, 2, 1), c.line};
  std::vector<std::string> messages;
  QvGraphMol mol = ReadOne(m.Record(), &messages);
  const QvBondBase& bond = BondNo(mol, 1);
  EXPECT_EQ(bond.GetIntType(), c.int_type) << c.line;
  if (c.int_type != 5) {
    EXPECT_EQ(bond.GetOrder(), c.order) << c.line;  // aromatic: kekulized, tested below
  }
  EXPECT_EQ(bond.GetData<int>(Sorvil::QvBondStereoTag), c.mark) << c.line;
  EXPECT_EQ(messages, c.message.empty() ? Lines{} : Lines{c.message});
}

INSTANTIATE_TEST_SUITE_P(
    Lines, MdlReadBondColumns,
    ::testing::Values(BondCase{BondLine(2, 3, 1), 1, 1, 0, ""}, BondCase{BondLine(2, 3, 2), 2, 2, 0, ""},
                      BondCase{BondLine(2, 3, 3), 3, 3, 0, ""}, BondCase{BondLine(2, 3, 4), 1, 5, 0, ""},
                      BondCase{BondLine(2, 3, 8), 1, 1, 0, ""}, BondCase{BondLine(2, 3, 0), 1, 1, 0, ""},
                      BondCase{BondLine(2, 3, 1, 1), 1, 1, 2, ""}, BondCase{BondLine(2, 3, 1, 6), 1, 1, 1, ""},
                      BondCase{BondLine(2, 3, 1, 4), 1, 1, 5, ""}, BondCase{BondLine(2, 3, 1, 3), 1, 1, 0, ""},
                      BondCase{BondLine(2, 3, 2, 3), 2, 2, 6, ""},
                      BondCase{BondLine(2, 3, 2, 4), 2, 2, 6,
                               "Invalid double either stereomark corrected on bond number 2 of bonded"},
                      BondCase{BondLine(2, 3, 2, 1), 2, 2, 0,
                               "Invalid double bond stereomark ignored on bond number 2 of bonded"},
                      BondCase{BondLine(2, 3, 3, 1), 3, 3, 0,
                               "Invalid bond stereomark ignored on bond number 2 of bonded"},
                      BondCase{BondLine(2, 3, 4, 6), 1, 5, 0,
                               "Invalid bond stereomark ignored on bond number 2 of bonded"},
                      // Without the stereo columns nothing is looked at.
                      BondCase{"  2  3  2  \n", 2, 2, 0, ""}));

class MdlReadIllegalBonds : public ::testing::TestWithParam<std::string> {};

TEST_P(MdlReadIllegalBonds, FailTheRecordWithTheLine) {
  Molfile m;
  m.title = "bad";
  m.atoms = {AtomLine(0, 0, 0, "C"), AtomLine(1.5, 0, 0, "C")};
  m.bonds = {BondLine(1, 2, 1), GetParam()};
  std::string line = GetParam();
  line.pop_back();
  const ReadResult r = ReadAll(m.Record() + Chain(2, "next").Record());
  EXPECT_EQ(Titles(r), std::vector<std::string>{"next"});
  EXPECT_EQ(r.messages, (Lines{"Illegal bond specification for \"bad\": \"" + line + "\"",
                                      "Error reading molecule \"bad\" in MDL SDF format."}));
}

INSTANTIATE_TEST_SUITE_P(Lines, MdlReadIllegalBonds,
                         ::testing::Values(BondLine(0, 2, 1), BondLine(1, 3, 1), BondLine(2, 2, 1),
                                           BondLine(2, 1, 1), BondLine(-1, 2, 1), "  1\n", "\n"));

TEST(MdlReadBondBlock, ShortLineFailsAfterTheBondIsMade) {
  Molfile m;
  m.title = "short";
  m.atoms = {AtomLine(0, 0, 0, "C"), AtomLine(1.5, 0, 0, "C")};
  m.bonds = {"  1  2  \n"};
  const ReadResult r = ReadAll(m.Record() + Chain(1, "next").Record());
  EXPECT_EQ(Titles(r), std::vector<std::string>{"next"});
  EXPECT_EQ(r.messages, (Lines{"Error reading molecule \"short\" in MDL SDF format."}));
}

// ---- properties block ----

TEST(MdlReadProperties, FirstChargeLineResetsTheAtomBlockCharges) {
  Molfile m;
  m.atoms = {kC0, AtomLine(1.5, 0, 0, "O"), AtomLine(3, 0, 0, "N", 0, 3)};
  m.bonds = {BondLine(1, 2, 1), BondLine(1, 3, 1)};
  m.properties = "M  CHG  1   2  -1\n";
  QvGraphMol mol = ReadOne(m.Record());
  EXPECT_EQ(AtomNo(mol, 1).GetFormalCharge(), -1);
  EXPECT_EQ(AtomNo(mol, 2).GetFormalCharge(), 0);
  EXPECT_EQ(HCounts(mol), (std::vector<unsigned>{2, 0, 2}));
}

TEST(MdlReadProperties, ChargeIsotopeAndRadicalPairs) {
  Molfile m;
  m.atoms = {kC0, AtomLine(1.5, 0, 0, "C", 1), AtomLine(3, 0, 0, "N"), AtomLine(4.5, 0, 0, "C", 0, 4)};
  m.bonds = {BondLine(1, 2, 1), BondLine(2, 3, 1), BondLine(3, 4, 1)};
  // Bad atom numbers and a count beyond the pairs are ignored; the first RAD
  // line has no reset of its own left to do after CHG.
  m.properties =
      "M  CHG  3   3   1   9   1   1   0\nM  ISO  2   1  14  12   2\nM  ISO  1   3  15\nM  RAD  2   2   2   0\n";
  QvGraphMol mol = ReadOne(m.Record());
  EXPECT_EQ(AtomNo(mol, 2).GetFormalCharge(), 1);
  EXPECT_EQ(AtomNo(mol, 0).GetIsotope(), 14u);
  EXPECT_EQ(AtomNo(mol, 1).GetIsotope(), 0u);  // the first ISO line reset the mass difference
  EXPECT_EQ(AtomNo(mol, 2).GetIsotope(), 15u);
  // Atom 4's doublet from the charge column was cleared by the first CHG line.
  EXPECT_EQ(HCounts(mol), (std::vector<unsigned>{3, 1, 2, 3}));
}

TEST(MdlReadProperties, AliasesGroupsAndRGroupLabels) {
  Molfile m;
  m.atoms = {AtomLine(0, 0, 0, "R#"), AtomLine(1.5, 0, 0, "C"), AtomLine(3, 0, 0, "R#")};
  m.bonds = {BondLine(1, 2, 1), BondLine(2, 3, 1)};
  m.properties = "A    2\nCH2 \nA    9\nignored alias\nG    1  2\nM  CHG  1   1   1\nM  RGP  2   1   4   3   5\n"
                 "M  RGP  1   1   6\nM  RGP  1   3   7\n";
  std::vector<std::string> messages;
  QvGraphMol mol = ReadOne(m.Record(), &messages);
  EXPECT_EQ(AtomNo(mol, 1).GetData<std::string>(Sorvil::QvGetTag("QvAtomComment")), "CH2");
  // The "M  CHG" line after the "G" line is the group's text, never read.
  EXPECT_EQ(AtomNo(mol, 0).GetFormalCharge(), 0);
  EXPECT_EQ(AtomNo(mol, 0).GetMapIdx(), 4u);
  EXPECT_EQ(AtomNo(mol, 2).GetMapIdx(), 5u);
  EXPECT_EQ(AtomNo(mol, 0).GetAtomicNum(), 0u);
  EXPECT_EQ(messages, (Lines{"Ignored unsupported multiple Rgroup labels at line: M  RGP  1   1   6",
                                    "Ignored unsupported multiple Rgroup labels at line: M  RGP  1   3   7"}));
}

TEST(MdlReadProperties, SgroupsDrawOneMessagePerRecord) {
  Molfile m = Chain(2);
  m.properties = "M  STY  1   1 SUP\nM  SLB  1   1   1\nM  STY  1   2 SUP\n";
  const ReadResult r = ReadAll(m.Record() + m.Record());
  EXPECT_EQ(r.mols.size(), 2u);
  EXPECT_EQ(r.messages, (Lines{"Unsupported Sgroup information ignored", "Unsupported Sgroup information ignored"}));
}

TEST(MdlReadProperties, AliasAtTheEndOfDataFailsTheRecord) {
  Molfile m = Chain(2, "cut");
  const std::string text = m.Text().substr(0, m.Text().size() - 7) + "A    1\n";
  const ReadResult r = ReadAll(text);
  EXPECT_TRUE(r.mols.empty());
  EXPECT_EQ(r.messages, (Lines{"Error reading molecule \"cut\" in MDL SDF format."}));
}

TEST(MdlReadProperties, MissingEndAtTheEndOfTheFileStillGivesTheMolecule) {
  const std::string table = Chain(3, "last").Text();
  const ReadResult r = ReadAll(Chain(2, "first").Record() + table.substr(0, table.size() - 7));
  EXPECT_EQ(Titles(r), (std::vector<std::string>{"first", "last"}));
  EXPECT_TRUE(r.messages.empty());
}

TEST(MdlReadProperties, MissingEndBeforeDataItemsEndsTheTableThere) {
  const std::string table = Chain(2, "a").Text();
  for (const QvFormat format : {QvFormat::SDF, QvFormat::MDL}) {
    const ReadResult r =
        ReadAll(table.substr(0, table.size() - 7) + ">  <x>\n1\n\n$$$$\n" + Chain(1, "b").Record(), format);
    EXPECT_EQ(Titles(r), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(SDData(r.mols.at(0)), (Pairs{{"x", "1"}}));
  }
}

// ---- header ----

TEST(MdlReadHeader, LongTitleAndCommentAreKeptWithAWarning) {
  Molfile m = Chain(1, "");
  m.title = std::string(85, 'T') + " \t";
  m.comment = std::string(81, 'c');
  std::vector<std::string> messages;
  QvGraphMol mol = ReadOne(m.Record(), &messages);
  EXPECT_EQ(std::string(mol->GetTitle()), std::string(85, 'T'));
  EXPECT_EQ(mol->GetData<std::string>(Sorvil::QvGetTag("QvMolComment")), m.comment);
  EXPECT_EQ(messages, (Lines{"title line exceeds 80 characters: " + std::string(85, 'T'),
                                    "comment line exceeds 80 characters: " + std::string(85, 'T')}));
}

struct ProgramCase {
  std::string program;
  std::string third;  // the comment, or the counts line itself
  unsigned dimension;
  bool comment_kept;
};

class MdlReadProgramLine : public ::testing::TestWithParam<ProgramCase> {};

TEST_P(MdlReadProgramLine, DimensionAndMissingCommentLine) {
  const ProgramCase& c = GetParam();
  // Two atoms off a line (a triangle's corners) keep a 2D drawing 2D; z 1.0
  // on one of them makes a 3D program line's record really 3D.
  const std::string atoms = AtomLine(0, 0, 0, "C") + AtomLine(1.5, 0, c.dimension == 3 ? 1.0 : 0, "C") +
                            AtomLine(0.7, 1.3, 0, "O");
  std::string text = "t\n" + c.program + "\n" + c.third + "\n";
  if (c.comment_kept) text += CountsLine(3, 0);
  text += atoms + "M  END\n$$$$\n";
  QvGraphMol mol = ReadOne(text);
  EXPECT_EQ(mol.NumAtoms(), 3u) << text;
  EXPECT_EQ(mol->GetDimension(), c.dimension) << text;
  EXPECT_EQ(mol->HasData(Sorvil::QvGetTag("QvMolComment")), c.comment_kept) << text;
}

const std::string kCounts3 = "  3  0  0  0  0  0  0  0  0  0999 V2000";

INSTANTIATE_TEST_SUITE_P(
    Lines, MdlReadProgramLine,
    ::testing::Values(ProgramCase{std::string(20, ' ') + "2D", "comment", 2, true},
                      ProgramCase{std::string(20, ' ') + "3D", "comment", 3, true},
                      ProgramCase{"", "comment", 2, true},  // settled from the coordinates
                      ProgramCase{std::string(20, ' ') + "2D", kCounts3, 2, false},
                      ProgramCase{std::string(20, ' ') + "2d", kCounts3, 2, false},
                      ProgramCase{std::string(20, ' ') + "3D", kCounts3, 3, false},
                      // No 'D' in column 22: the third line is a comment that happens
                      // to look like a counts line, and the fourth is the counts line.
                      ProgramCase{std::string(20, ' ') + "2X", kCounts3, 2, true},
                      // Counts columns with letters or two '-': a comment.
                      ProgramCase{std::string(20, ' ') + "2D", "  a  0 V2000", 2, true},
                      ProgramCase{std::string(20, ' ') + "2D", "--3  0 V2000", 2, true}));

TEST(MdlReadHeader, EmptyRecordsBetweenSeparatorsAreSkipped) {
  const ReadResult r = ReadAll("lonely title\n$$$$\n$$$$\n" + Chain(2, "real").Record());
  EXPECT_EQ(Titles(r), std::vector<std::string>{"real"});
  EXPECT_TRUE(r.messages.empty());
}

TEST(MdlReadHeader, RDFileWrapperLinesAreConsumed) {
  const std::string text = "$RDFILE 1\n$DATM 12/06/26 10:00\n$MFMT $MIREG 1\n" + Chain(2, "first").Text() +
                           "$DTYPE name\n$DATUM x\n$MFMT $MIREG 2\n" + Chain(3, "second").Text();
  const ReadResult r = ReadAll(text, QvFormat::RDF);
  EXPECT_EQ(Titles(r), (std::vector<std::string>{"first", "second"}));
  EXPECT_TRUE(r.messages.empty());
}

TEST(MdlReadHeader, IsisHeaderNeedsItsEndLines) {
  const std::string body = Chain(2, "isis").Text();
  const std::size_t counts = body.find(CountsLine(2, 1));
  const std::string header = body.substr(0, counts);
  const std::string table = body.substr(counts);
  const std::string good = "$MDL  REG=1\n$MOL\n$HDR\n" + header + "$END HDR\n$CTAB\n" + table + "$END CTAB\n$END MOL\n";
  const ReadResult ok = ReadAll(good + good, QvFormat::RDF);
  EXPECT_EQ(Titles(ok), (std::vector<std::string>{"isis", "isis"}));
  const ReadResult bad = ReadAll("$MDL  REG=1\n$MOL\n$HDR\n" + header + table, QvFormat::RDF);
  EXPECT_TRUE(bad.mols.empty());
  EXPECT_EQ(bad.messages.front(), "Error reading molecule \"isis\" in MDL RDF format.");
}

// ---- data items ----

struct ItemCase {
  std::string items;
  Pairs sdf;
  Pairs mdl;
};

class MdlReadDataItems : public ::testing::TestWithParam<ItemCase> {};

TEST_P(MdlReadDataItems, ValueRulesOfSDAndMolFiles) {
  const ItemCase& c = GetParam();
  const std::string text = Chain(2).Text() + c.items + "$$$$\n";
  EXPECT_EQ(SDData(ReadOne(text, nullptr, QvFormat::SDF)), c.sdf) << c.items;
  EXPECT_EQ(SDData(ReadOne(text, nullptr, QvFormat::MDL)), c.mdl) << c.items;
}

INSTANTIATE_TEST_SUITE_P(
    Items, MdlReadDataItems,
    ::testing::Values(
        ItemCase{">  <a>  (1)\n1\n\n>  <b>\n2\n\n", {{"a", "1"}, {"b", "2"}}, {{"a", "1"}, {"b", "2"}}},
        ItemCase{"> 25 <MP> (X1)\n180\n\n", {{"MP", "180"}}, {{"MP", "180"}}},
        ItemCase{"> <a<b>c>\nv\n\n", {{"a<b>c", "v"}}, {{"a<b>c", "v"}}},
        ItemCase{"> no tag\nlost\n\n> <k>\nv\n\n", {{"k", "v"}}, {{"k", "v"}}},
        ItemCase{"> <x\nlost\n\n", {}, {}},
        ItemCase{"> <multi>\nfoo\nbar\n\n", {{"multi", "foo\nbar"}}, {{"multi", "foo\nbar"}}},
        // An empty line inside an SD value joins its parts with one line end;
        // a molfile's value ends there, and the rest is no data item at all.
        ItemCase{"> <gap>\nfoo\n\nbar\n\n> <next>\n1\n\n", {{"gap", "foo\nbar"}, {"next", "1"}}, {{"gap", "foo"}}},
        ItemCase{"> <gap>\nfoo\n \t\nbar\n", {{"gap", "foo\nbar"}}, {{"gap", "foo"}}},
        // An empty first line is the whole value.
        ItemCase{"> <empty>\n\nafter\n", {{"empty", ""}}, {{"empty", ""}}},
        // A header or separator ends a value even without a blank line.
        ItemCase{"> <a>\n1\n> <b>\n2\n", {{"a", "1"}, {"b", "2"}}, {{"a", "1"}, {"b", "2"}}},
        ItemCase{"> <last>\nv\n", {{"last", "v"}}, {{"last", "v"}}},
        ItemCase{"> <dup>\n1\n\n> <dup>\n2\n\n", {{"dup", "1"}, {"dup", "2"}}, {{"dup", "1"}, {"dup", "2"}}}));

TEST(MdlReadDataItems, LineAfterTheItemsStartsTheNextRecord) {
  // In a molfile the blank line ends the value; a line with text then is the
  // next record's title.
  const ReadResult r = ReadAll(Chain(2, "one").Text() + "> <a>\n1\n\n" + Chain(3, "two").Text(), QvFormat::MDL);
  EXPECT_EQ(Titles(r), (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(SDData(r.mols.at(0)), (Pairs{{"a", "1"}}));
}

TEST(MdlReadDataItems, RDTrailerWithRGroupsDrawsOneMessage) {
  const std::string trailer = "$END CTAB\n$RGP\n  1\n$CTAB\nstuff\n$END CTAB\n$END RGP\n$RGP\n$END MOL\n";
  const ReadResult r = ReadAll(Chain(2, "one").Text() + trailer + "$$$$\n" + Chain(3, "two").Record());
  EXPECT_EQ(Titles(r), (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(r.messages, (Lines{"Unsupported Rgroup definitions ignored"}));
}

// ---- recovery ----

TEST(MdlReadRecovery, BadRecordInTheMiddleCostsThatRecordOnly) {
  Molfile bad = Chain(3, "bad");
  bad.bonds[1] = BondLine(0, 3, 1);
  const ReadResult r = ReadAll(Chain(2, "first").Record(">  <a>\n1\n\n") + bad.Record(">  <b>\n2\n\n") +
                               Chain(4, "third").Record(">  <c>\n3\n\n"));
  EXPECT_EQ(Titles(r), (std::vector<std::string>{"first", "third"}));
  EXPECT_EQ(SDData(r.mols.at(1)), (Pairs{{"c", "3"}}));
  EXPECT_EQ(r.failed, 1u);
  EXPECT_EQ(r.messages, (Lines{"Illegal bond specification for \"bad\": \"  0  3  1  0\"",
                                      "Error reading molecule \"bad\" in MDL SDF format."}));
}

TEST(MdlReadRecovery, SeparatorMetInsideTheTableEndsTheRecord) {
  // Two atoms promised, the record ends after one: the separator must not be
  // skipped past, or the next record would go with it.
  const std::string cut = "cut\n" + kProgram2D + "\n" + CountsLine(2, 0) + AtomLine(0, 0, 0, "C") + "$$$$\n";
  const ReadResult r = ReadAll(cut + Chain(2, "next").Record());
  EXPECT_EQ(Titles(r), std::vector<std::string>{"next"});
  EXPECT_EQ(r.failed, 1u);
}

TEST(MdlReadRecovery, MolfilesResumeAtTheCurrentLine) {
  // The bad table breaks on its last line; the line after it is taken as the
  // next record's title, so the molfile that follows is read whole. An SD
  // file would have skipped to the next "$$$$", taking everything with it.
  Molfile bad = Chain(2, "bad");
  bad.bonds[0] = BondLine(1, 1, 1);
  const std::string broken = bad.Text().substr(0, bad.Text().find("M  END"));
  const ReadResult mdl = ReadAll(broken + Chain(3, "good").Text(), QvFormat::MDL);
  EXPECT_EQ(Titles(mdl), std::vector<std::string>{"good"});
  EXPECT_EQ(mdl.failed, 1u);
  EXPECT_TRUE(ReadAll(broken + Chain(3, "good").Text(), QvFormat::SDF).mols.empty());
}

TEST(MdlReadRecovery, RDMarkersAfterAFailureGoWithIt) {
  Molfile bad = Chain(2, "bad");
  bad.bonds[0] = BondLine(1, 5, 1);
  const std::string text = "$MFMT\n" + bad.Text().substr(0, bad.Text().find("M  END")) +
                           "$RGP\n  1\n$END RGP\n$DTYPE x\n$DATUM y\n$MFMT\n" + Chain(3, "good").Text();
  const ReadResult r = ReadAll(text, QvFormat::RDF);
  EXPECT_EQ(Titles(r), std::vector<std::string>{"good"});
  EXPECT_EQ(r.messages, (Lines{"Illegal bond specification for \"bad\": \"  1  5  1  0\"",
                                      "Unsupported Rgroup definitions ignored",
                                      "Error reading molecule \"bad\" in MDL RDF format."}));
}

// ---- finishing ----

TEST(MdlReadFinishing, ChiralFlagAndEmptyMolecules) {
  Molfile m = Chain(2);
  m.chiral = 1;
  QvGraphMol mol = ReadOne(m.Record());
  EXPECT_TRUE(mol->GetData<bool>(Sorvil::QvGetTag("MDLParity")));
  m.chiral = 0;
  EXPECT_FALSE(ReadOne(m.Record())->GetData<bool>(Sorvil::QvGetTag("MDLParity")));
  // Records without atoms are skipped unless the flavor keeps them.
  const std::string empty = "e\n" + kProgram2D + "\n" + CountsLine(0, 0) + "M  END\n$$$$\n";
  EXPECT_EQ(Titles(ReadAll(empty + Chain(1, "x").Record())), std::vector<std::string>{"x"});
  EXPECT_EQ(Titles(ReadAll(empty, QvFormat::SDF, 0x4004)), std::vector<std::string>{"e"});
}

struct DimensionCase {
  std::vector<std::array<double, 3>> xyz;
  std::string program;
  unsigned dimension;
};

class MdlReadDimension : public ::testing::TestWithParam<DimensionCase> {};

TEST_P(MdlReadDimension, SettledFromTheCoordinatesUnless3D) {
  const DimensionCase& c = GetParam();
  Molfile m;
  m.program = c.program;
  for (const auto& p : c.xyz) m.atoms.push_back(AtomLine(p[0], p[1], p[2], "C"));
  EXPECT_EQ(ReadOne(m.Record())->GetDimension(), c.dimension);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, MdlReadDimension,
    ::testing::Values(DimensionCase{{{0, 0, 0}, {0, 0, 0}}, kProgram2D, 0},
                      DimensionCase{{{1, 2, 0}}, kProgram2D, 2},                     // one atom: kept
                      DimensionCase{{{0, 0, 0}}, kProgram2D, 0},                     // one atom at 0
                      DimensionCase{{{0, 0, 0}, {1, 1, 0}, {2, 2, 0}}, kProgram2D, 0},  // on a line
                      DimensionCase{{{0, 0, 0}, {1, 1, 0}, {2, 1, 0}}, kProgram2D, 2},
                      DimensionCase{{{0, 0, 0}, {1, 1, 0.5}}, kProgram2D, 3},
                      DimensionCase{{{0, 0, 0}, {0, 0, 0}}, kProgram3D, 3},
                      DimensionCase{{{0, 0, 0}, {1, 1, 0}, {2, 1, 0}}, "\n", 2}));

TEST(MdlReadFinishing, StereoGroupsOnRequest) {
  Molfile m;
  m.atoms = {AtomLine(0, 0, 0, "C"), AtomLine(0, 1.5, 0, "F"), AtomLine(1.3, -0.75, 0, "Cl"),
             AtomLine(-1.3, -0.75, 0, "Br")};
  m.bonds = {BondLine(1, 2, 1, 1), BondLine(1, 3, 1), BondLine(1, 4, 1)};
  m.chiral = 1;
  const ReadResult r = ReadAll(m.Record(), QvFormat::SDF, 0x4008);
  ASSERT_EQ(r.mols.size(), 1u);
  QvGraphMol mol = r.mols.front();
  EXPECT_EQ(Tamrin::QvGetStereoGroup(AtomNo(mol, 0)).kind, Tamrin::QvStereoGroupKind::Absolute);
  QvGraphMol plain = ReadOne(m.Record());
  EXPECT_EQ(Tamrin::QvGetStereoGroup(AtomNo(plain, 0)).kind, Tamrin::QvStereoGroupKind::None);
}

// ---- files written by other programs ----

std::string FileText(const std::string& path) {
  std::string text;
  gzFile f = gzopen(path.c_str(), "rb");  // reads plain files as they are
  if (!f) return text;
  char buf[65536];
  for (int n; (n = gzread(f, buf, sizeof buf)) > 0;) text.append(buf, static_cast<std::size_t>(n));
  gzclose(f);
  return text;
}

// Lines of `text` that begin with `prefix`.
unsigned CountLines(const std::string& text, std::string_view prefix) {
  unsigned n = 0;
  for (std::size_t at = 0; at < text.size();) {
    n += std::string_view(text).substr(at, prefix.size()) == prefix;
    const std::size_t end = text.find('\n', at);
    at = end == std::string::npos ? text.size() : end + 1;
  }
  return n;
}

class MdlReadSharedFiles : public ::testing::TestWithParam<const char*> {};

// Every record a molecule with atoms, every data header an SD pair, no
// failed record. The last record of a file may lack its "$$$$".
TEST_P(MdlReadSharedFiles, EveryRecordAndDataItem) {
  const std::string path = std::string(NIMBREL_SOURCE_DIR "/../shared/testdata/sdf/") + GetParam();
  if (!std::filesystem::exists(path)) GTEST_SKIP() << path << " not found";
  const std::string text = FileText(path);
  ASSERT_FALSE(text.empty()) << path;
  Tamrin::qvmolistream in;
  ASSERT_TRUE(in.open(path));
  QvGraphMol mol;
  unsigned records = 0, items = 0;
  while (Tamrin::QvReadMolecule(in, mol.GetMol())) {
    ++records;
    EXPECT_GT(mol.NumAtoms(), 0u);
    items += static_cast<unsigned>(SDData(mol).size());
  }
  const unsigned separators = CountLines(text, "$$$$");
  const bool unterminated = text.rfind("$$$$") < text.rfind("M  END");
  EXPECT_EQ(records, separators + unterminated);
  EXPECT_EQ(items, CountLines(text, ">"));
  EXPECT_EQ(in.GetFailedCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Files, MdlReadSharedFiles,
                         ::testing::Values("iodata_molv3000.sdf", "rdkit_BlankPropLines.sdf",
                                           "rdkit_NCI_aids_few.sdf.gz", "rdkit_SkipLines.sdf"));

}  // namespace
