// QvParseSmiles: the grammar (strict and permissive), atoms, bonds, rings,
// brackets, hydrogens, reactions, labels, titles, CX blocks, stereo, bond
// orders, and every message with its exact text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "smiles_test_support.h"
#include "tamrin/perception/stereo.h"

namespace {

using Tamrin::QvAtomBase;
using Tamrin::QvBondBase;
using Tamrin::QvGraphMol;
using Tamrin::QvSmilesParseOptions;
using smiles_test::AtomAt;
using smiles_test::DescribeAtoms;
using smiles_test::DescribeBonds;
using smiles_test::Parse;

QvSmilesParseOptions Strict() {
  QvSmilesParseOptions o;
  o.strict = true;
  return o;
}
QvSmilesParseOptions CX() {
  QvSmilesParseOptions o;
  o.cx = true;
  return o;
}
QvSmilesParseOptions NoKekule() {
  QvSmilesParseOptions o;
  o.noKekulization = true;
  return o;
}

// ---- every message ----

struct MessageCase {
  const char* name;
  std::string text;
  QvSmilesParseOptions options;
  bool ok;
  std::vector<std::string> messages;
};

std::ostream& operator<<(std::ostream& os, const MessageCase& c) { return os << c.name; }

class SmilesMessages : public ::testing::TestWithParam<MessageCase> {};

TEST_P(SmilesMessages, ExactTexts) {
  const MessageCase& c = GetParam();
  QvGraphMol mol;
  const auto parsed = Parse(mol, c.text, c.options);
  EXPECT_EQ(parsed.ok, c.ok);
  EXPECT_EQ(parsed.messages, c.messages);
}

INSTANTIATE_TEST_SUITE_P(
    Parser, SmilesMessages,
    ::testing::Values(
        MessageCase{"UnclosedRing", "C1CC", {}, false, {"Problem parsing SMILES:", "Unclosed ring.", "C1CC", "    ^\n"}},
        MessageCase{"EmptyStrict", "", Strict(), false,
                    {"Problem parsing SMILES:", "Empty string is not allowed in strict mode", "", "^\n"}},
        MessageCase{"LeadingSpaceStrict", " C", Strict(), false,
                    {"Problem parsing SMILES:", "Leading space is not allowed in strict mode", " C", "^\n"}},
        MessageCase{"TrailingDotStrict", "C.", Strict(), false,
                    {"Problem parsing SMILES:", "Strict mode without previous atom.", "C.", "  ^\n"}},
        MessageCase{"TrailingArrowStrict", "C>>", Strict(), false,
                    {"Problem parsing SMILES:", "Strict mode without previous atom.", "C>>", "   ^\n"}},
        MessageCase{"BondWithoutEnd", "CC=", {}, false,
                    {"Problem parsing SMILES:", "Bond without end atom.", "CC=", "   ^\n"}},
        MessageCase{"UnclosedBranch", "CC(C", {}, false,
                    {"Problem parsing SMILES:", "Unclosed branch.", "CC(C", "    ^\n"}},
        MessageCase{"IncorrectRole", "C>N", {}, false,
                    {"Problem parsing SMILES:", "Incorrect reaction role.", "C>N", "   ^\n"}},
        MessageCase{"StereoHydrogens", "[C@H9]", {}, false,
                    {"Problem parsing SMILES:", "Maximum of 8 explicit stereo hydrogens exceeded in SMILES input",
                     "[C@H9]", "      ^\n"}},
        MessageCase{"GrammarError", "CC(C)X", {}, false, {"Problem parsing SMILES:", "CC(C)X", "     ^\n"}},
        MessageCase{"ErrorBeforeTitle", "C?C title", {}, false, {"Problem parsing SMILES:", "C?C title", " ^\n"}},
        MessageCase{"Quiet", "CC(C", {false, false, true, false}, false, {}},
        MessageCase{"Kekulize", "c1cccc1", {}, false,
                    {"QvParseSmiles() : unable to Kekulize SMILES:", "c1cccc1"}},
        MessageCase{"KekulizeQuiet", "c1cccc1", {false, false, true, false}, false, {}},
        MessageCase{"SkippedKekulization", "c1ccccc1", NoKekule(), true,
                    {"QvParseSmiles() : molecule has bond(s) with incorrect bond order due to skipping "
                     "kekulization!"}},
        MessageCase{"CXIgnored", "CC |(0,0,0;1,0,0)| ethane", CX(), true, {"cxsmiles information was ignored."}},
        MessageCase{"CXLikeTitle", "CC |a:0 ethane", CX(), true,
                    {"Problem parsing ambiguous or unsupported CXSMILES-like TITLE: |a:0 ethane"}},
        MessageCase{"CXLikeTitleWithoutCX", "CC |a:0 ethane", {}, true, {}},
        MessageCase{"StereoGroup", "C[C@H](F)Cl |o1:7|", CX(), true,
                    {"Problem parsing SMILES:", "Probable enhanced stereogroup definition issue.",
                     "C[C@H](F)Cl |o1:7|"}},
        MessageCase{"StereoGroupOnPlainAtom", "C[C@H](F)Cl |&1:0|", CX(), true,
                    {"Problem parsing SMILES:", "Probable enhanced stereogroup definition issue.",
                     "C[C@H](F)Cl |&1:0|"}},
        MessageCase{"StereoGroupGrammar", "C[C@H](F)Cl |o:1|", CX(), true,
                    {"Problem parsing SMILES:", "Probable enhanced stereogroup definition issue.",
                     "C[C@H](F)Cl |o:1|"}},
        MessageCase{"CisTrans", "F/C(\\F)=C/F", {}, true,
                    {"Problem parsing SMILES:", "Inconsistent cis/trans bond stereo.", "F/C(\\F)=C/F"}},
        MessageCase{"CisTransRingMarks", "C/1=C/CCCCCC/1", {}, true,
                    {"Problem parsing SMILES:", "Inconsistent cis/trans bond stereo.", "C/1=C/CCCCCC/1"}}),
    [](const auto& test_info) { return std::string(test_info.param.name); });

TEST(SmilesMessages, LongTextsAreNotEchoed) {
  const std::string text = std::string(2100, 'C') + "(";
  QvGraphMol mol;
  EXPECT_EQ(Parse(mol, text).messages, (std::vector<std::string>{"Problem parsing SMILES:", "Unclosed branch."}));
  const std::string shorter = std::string(2046, 'C') + "(";
  QvGraphMol mol2;
  EXPECT_EQ(Parse(mol2, shorter).messages.size(), 4u);
}

// ---- grammar: accepted or refused, strict and permissive ----

struct GrammarCase {
  std::string text;
  bool permissive;
  bool strict;
};

class SmilesGrammar : public ::testing::TestWithParam<GrammarCase> {};

TEST_P(SmilesGrammar, AcceptsOrRefuses) {
  const GrammarCase& c = GetParam();
  QvGraphMol loose;
  QvGraphMol strict;
  QvSmilesParseOptions quiet;
  quiet.quiet = true;
  QvSmilesParseOptions quiet_strict = Strict();
  quiet_strict.quiet = true;
  EXPECT_EQ(Tamrin::QvParseSmiles(loose, c.text, quiet), c.permissive) << c.text;
  EXPECT_EQ(Tamrin::QvParseSmiles(strict, c.text, quiet_strict), c.strict) << c.text << " (strict)";
}

INSTANTIATE_TEST_SUITE_P(
    Parser, SmilesGrammar,
    ::testing::Values(
        GrammarCase{"CC", true, true}, GrammarCase{"", true, false}, GrammarCase{"  CC", true, false},
        GrammarCase{"C-C=C#C$C", true, true}, GrammarCase{"C-=C", true, false}, GrammarCase{"C/=C", true, true},
        GrammarCase{"C=/C", true, false}, GrammarCase{"C\\\\C=C/C", true, true}, GrammarCase{"/C", false, false},
        GrammarCase{"C(=O)O", true, true}, GrammarCase{"C(=)O", false, false}, GrammarCase{"(C)C", true, false},
        GrammarCase{"C)C", false, false}, GrammarCase{"C()C", true, true}, GrammarCase{".C", true, false},
        GrammarCase{"C..C", true, false}, GrammarCase{"C=.C", false, false}, GrammarCase{"C>C>C", true, true},
        GrammarCase{"C>>C", true, true}, GrammarCase{"C>C>C>C", false, false}, GrammarCase{"C1>C1", false, false},
        GrammarCase{"C=>C>C", false, false}, GrammarCase{"C1CC%01", true, true}, GrammarCase{"C%1CC1", false, false},
        GrammarCase{"C%99CC%99", true, true}, GrammarCase{"C%123CC%12C3", true, true}, GrammarCase{"1CC", false, false},
        GrammarCase{"C11", false, false}, GrammarCase{"C1C1", false, false}, GrammarCase{"C=1CC1", true, true},
        GrammarCase{"C=1CC#1", false, false}, GrammarCase{"C=1CC=1", true, true}, GrammarCase{"C0CC0", true, true},
        GrammarCase{"C&1.C&1", true, false}, GrammarCase{"C&=%12.N&%12", true, false}, GrammarCase{"&1C", false, false},
        GrammarCase{"C&1C&1", false, false}, GrammarCase{"C&=1.C&#1", false, false}, GrammarCase{"C&x", false, false},
        GrammarCase{"*C", true, true}, GrammarCase{"BrCCl", true, true}, GrammarCase{"BRCCL", true, false},
        GrammarCase{"c1ccccc1", true, true}, GrammarCase{"b1ccccc1", true, false}, GrammarCase{"CbrC", true, false},
        GrammarCase{"HC", true, false}, GrammarCase{"DC", true, false}, GrammarCase{"tC", true, false},
        GrammarCase{"C{A}C", true, false}, GrammarCase{"C{B}C", false, false}, GrammarCase{"C{A", false, false},
        GrammarCase{"C|C", false, false}, GrammarCase{"C~C", false, false}, GrammarCase{"Cx", false, false},
        GrammarCase{"C\xc3\xa9", false, false}, GrammarCase{"[C", false, false}, GrammarCase{"[]", false, false},
        GrammarCase{"[13CH4]", true, true}, GrammarCase{"[Xyz]", true, true}, GrammarCase{"[#6]", true, true},
        GrammarCase{"[#256]", false, false}, GrammarCase{"[#255]", true, true}, GrammarCase{"[*]", true, true},
        GrammarCase{"[R1]", true, false}, GrammarCase{"[R]", false, false}, GrammarCase{"[D]", true, false},
        GrammarCase{"[T]", true, false}, GrammarCase{"[Ds]", true, true}, GrammarCase{"[se]1cccc1", true, true},
        GrammarCase{"[fe]", true, true}, GrammarCase{"[Q]", false, false}, GrammarCase{"[CH0]", true, false},
        GrammarCase{"[CH]", true, true}, GrammarCase{"[CH2H]", false, false}, GrammarCase{"[Fe+2]", true, true},
        GrammarCase{"[Fe++]", true, true}, GrammarCase{"[Fe+2+]", false, false}, GrammarCase{"[Fe+-]", false, false},
        GrammarCase{"[Fe+02]", true, false}, GrammarCase{"[C:1]", true, true}, GrammarCase{"[C:0]", true, false},
        GrammarCase{"[C:1H]", false, false}, GrammarCase{"[C:]", false, false}, GrammarCase{"[CH4:1+]", false, false},
        GrammarCase{"[C@](F)(Cl)(Br)I", true, true}, GrammarCase{"[C@@](F)(Cl)(Br)I", true, true},
        GrammarCase{"[Co@OH1](F)(F)(F)(F)(F)F", true, true}, GrammarCase{"[C@OH31]", false, false},
        GrammarCase{"[C@OH30]", true, true}, GrammarCase{"[C@TH3]", false, false}, GrammarCase{"[C@TH0]", true, false},
        GrammarCase{"[C@SP3]", true, true}, GrammarCase{"[C@SP4]", false, false}, GrammarCase{"[C@TB20]", true, true},
        GrammarCase{"[C@TB21]", false, false}, GrammarCase{"[C@AL2]", true, true}, GrammarCase{"[C@AL3]", false, false},
        GrammarCase{"[C@XX1]", false, false}, GrammarCase{"[C@30]", true, true}, GrammarCase{"[C@31]", false, false},
        GrammarCase{"[C@@@]", true, true}, GrammarCase{"[C" + std::string(30, '@') + "]", true, true},
        GrammarCase{"[C" + std::string(31, '@') + "]", false, false}, GrammarCase{"[C@H@]", false, false},
        GrammarCase{"[CH@](F)(Cl)Br", true, true}, GrammarCase{"[C+H3]", true, true}, GrammarCase{"[2]", false, false},
        GrammarCase{"[99999999999C]", false, false}));

// ---- atoms, hydrogens and bonds ----

struct AtomsCase {
  std::string text;
  std::vector<std::string> atoms;
};

class SmilesAtoms : public ::testing::TestWithParam<AtomsCase> {};

TEST_P(SmilesAtoms, ImplicitHydrogensAndProperties) {
  QvGraphMol mol;
  ASSERT_TRUE(Parse(mol, GetParam().text).ok) << GetParam().text;
  EXPECT_EQ(DescribeAtoms(mol), GetParam().atoms) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Parser, SmilesAtoms,
    ::testing::Values(
        AtomsCase{"C", {"C h4"}}, AtomsCase{"CC=O", {"C h3", "C h1", "O h0"}},
        AtomsCase{"C#N", {"C h1", "N h0"}}, AtomsCase{"B", {"B h3"}}, AtomsCase{"BF", {"B h2", "F h0"}},
        AtomsCase{"N", {"N h3"}}, AtomsCase{"N(=O)=O", {"N h1", "O h0", "O h0"}},
        AtomsCase{"P(C)(C)(C)(C)C", {"P h0", "C h3", "C h3", "C h3", "C h3", "C h3"}},
        AtomsCase{"O", {"O h2"}}, AtomsCase{"S", {"S h2"}}, AtomsCase{"S(=O)", {"S h0", "O h0"}},
        AtomsCase{"S(=O)=O", {"S h0", "O h0", "O h0"}}, AtomsCase{"S(=O)(=O)=O", {"S h0", "O h0", "O h0", "O h0"}},
        AtomsCase{"FClBrI", {"F h0", "Cl h0", "Br h0", "I h0"}}, AtomsCase{"Cl", {"Cl h1"}},
        AtomsCase{"*", {"* h0"}}, AtomsCase{"[CH4]", {"C h4"}}, AtomsCase{"[C]", {"C h0"}},
        AtomsCase{"[13CH3-]", {"13C h3 -1"}}, AtomsCase{"[NH4+]", {"N h4 +1"}}, AtomsCase{"[Fe+2]", {"Fe h0 +2"}},
        AtomsCase{"[Fe++]", {"Fe h0 +2"}}, AtomsCase{"[O--]", {"O h0 -2"}}, AtomsCase{"[2H]", {"2H h0"}},
        AtomsCase{"[D]", {"2H h0"}}, AtomsCase{"D", {"2H h0"}}, AtomsCase{"[T]", {"3H h0"}},
        AtomsCase{"t", {"3H h0"}}, AtomsCase{"H", {"H h0"}}, AtomsCase{"[CH3:7]", {"C h3 :7"}},
        AtomsCase{"[R3]", {"* h0 :3"}}, AtomsCase{"[#6]", {"C h0"}}, AtomsCase{"[#200]", {"#200 h0"}},
        AtomsCase{"[cH]1ccccc1", {"C h1 a", "C h1 a", "C h1 a", "C h1 a", "C h1 a", "C h1 a"}},
        AtomsCase{"c1ccccc1", {"C h1 a", "C h1 a", "C h1 a", "C h1 a", "C h1 a", "C h1 a"}},
        AtomsCase{"c1cc[nH]c1", {"C h1 a", "C h1 a", "C h1 a", "N h1 a", "C h1 a"}},
        AtomsCase{"c1ccncc1", {"C h1 a", "C h1 a", "C h1 a", "N h0 a", "C h1 a", "C h1 a"}},
        AtomsCase{"c1ccoc1", {"C h1 a", "C h1 a", "C h1 a", "O h0 a", "C h1 a"}},
        AtomsCase{"Cc1ccccc1", {"C h3", "C h0 a", "C h1 a", "C h1 a", "C h1 a", "C h1 a", "C h1 a"}},
        AtomsCase{"O=c1cc[nH]cc1", {"O h0", "C h0 a", "C h1 a", "C h1 a", "N h1 a", "C h1 a", "C h1 a"}},
        AtomsCase{"CbR", {"C h3", "Br h0"}}, AtomsCase{"[se]1cccc1", {"Se h0 a", "C h1 a", "C h1 a", "C h1 a", "C h1 a"}},
        AtomsCase{"[fe]", {"Fe h0"}}, AtomsCase{"[cl-]", {"Cl h0 -1"}}, AtomsCase{"[CH2+]", {"C h2 +1"}}));

TEST(SmilesParser, NamedWildcardKeepsItsName) {
  QvGraphMol mol;
  ASSERT_TRUE(Parse(mol, "[Xyz]C").ok);
  EXPECT_EQ(AtomAt(mol, 0)->GetAtomicNum(), 0u);
  EXPECT_STREQ(AtomAt(mol, 0)->GetName(), "Xyz");
}

TEST(SmilesParser, AromaticChainBondIsNotAromaticButKekulized) {
  QvGraphMol mol;
  ASSERT_TRUE(Parse(mol, "c1ccccc1c1ccccc1").ok);
  const QvBondBase* link = mol.GetBond(AtomAt(mol, 5), AtomAt(mol, 6));
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(link->GetIntType(), 5u);
  EXPECT_FALSE(link->IsAromatic());
  EXPECT_EQ(link->GetOrder(), 1u);
}

TEST(SmilesParser, NoKekulizationKeepsIntegerTypesAsOrders) {
  QvGraphMol mol;
  ASSERT_TRUE(Parse(mol, "c1ccccc1C=O", NoKekule()).ok);
  EXPECT_EQ(DescribeBonds(mol), (std::vector<std::string>{"0-5:5", "0-1:5", "1-2:5", "2-3:5", "3-4:5", "4-5:5",
                                                          "5-6:1", "6-7:2"}));
}

TEST(SmilesParser, UnclosedRingEndsOnWildcardWithRingNumberAsIsotope) {
  QvGraphMol mol;
  EXPECT_FALSE(Parse(mol, "C1CC%42").ok);
  ASSERT_EQ(mol.NumAtoms(), 5u);
  EXPECT_EQ(DescribeAtoms(mol)[3], "1* h0");
  EXPECT_EQ(DescribeAtoms(mol)[4], "42* h0");
  EXPECT_TRUE(mol.GetBond(AtomAt(mol, 0), AtomAt(mol, 3)));
  EXPECT_TRUE(mol.GetBond(AtomAt(mol, 2), AtomAt(mol, 4)));
  for (const QvBondBase& bond : mol.GetBonds()) EXPECT_EQ(bond.GetOrder(), 1u);
}

TEST(SmilesParser, GrammarErrorMidRingLeavesNoOpenBond) {
  QvGraphMol mol;
  EXPECT_FALSE(Parse(mol, "C1CC?").ok);
  for (const QvBondBase& bond : mol.GetBonds()) EXPECT_NE(bond.GetEnd(), nullptr);
}

TEST(SmilesParser, LeadingBranchAttachesToFirstAtom) {
  QvGraphMol mol;
  ASSERT_TRUE(Parse(mol, "(C)N").ok);
  EXPECT_EQ(DescribeBonds(mol), (std::vector<std::string>{"0-1:1"}));
}

TEST(SmilesParser, MoleculeIsAppendedAndTitleReplaced) {
  QvGraphMol mol;
  ASSERT_TRUE(Parse(mol, "CC ethane").ok);
  ASSERT_TRUE(Parse(mol, "O water  ").ok);
  EXPECT_EQ(mol.NumAtoms(), 3u);
  EXPECT_EQ(mol.NumBonds(), 1u);
  EXPECT_STREQ(mol.GetTitle(), "water");
  EXPECT_EQ(DescribeAtoms(mol), (std::vector<std::string>{"C h3", "C h3", "O h2"}));
  EXPECT_TRUE(mol.HasPerceived(Tamrin::QvPerceivedAtomStereo | Tamrin::QvPerceivedBondStereo));
}

TEST(SmilesParser, TitleRules) {
  const std::pair<std::string, std::string> cases[] = {
      {"CC ethane", "ethane"}, {"CC\t  two words\t ", "two words"}, {"CC", ""}, {"  CC x", "x"},
      {"C?C bad one", "bad one"}};
  for (const auto& [text, title] : cases) {
    QvGraphMol mol;
    mol.SetTitle("old");
    QvSmilesParseOptions quiet;
    quiet.quiet = true;
    Tamrin::QvParseSmiles(mol, text, quiet);
    EXPECT_STREQ(mol.GetTitle(), title.c_str()) << text;
  }
}

// ---- reactions and labels ----

TEST(SmilesParser, ReactionRoles) {
  QvGraphMol mol;
  ASSERT_TRUE(Parse(mol, "CC.O>[Pt]>CCO").ok);
  std::vector<unsigned> roles;
  for (const QvAtomBase& atom : mol.GetAtoms()) roles.push_back(atom.GetRxnRole());
  EXPECT_EQ(roles, (std::vector<unsigned>{1, 1, 1, 2, 3, 3, 3}));
}

TEST(SmilesParser, ReactionWithoutAgentsAndStereoHydrogenRoles) {
  QvGraphMol mol;
  ASSERT_TRUE(Parse(mol, "C>>[C@@H](F)(Cl)Br").ok);
  std::vector<unsigned> roles;
  for (const QvAtomBase& atom : mol.GetAtoms()) roles.push_back(atom.GetRxnRole());
  EXPECT_EQ(roles, (std::vector<unsigned>{1, 3, 3, 3, 3, 3}));
}

TEST(SmilesParser, LabelBondsJoinAndLeaveMappedWildcards) {
  QvGraphMol mol;
  ASSERT_TRUE(Parse(mol, "C&1.N&=2.O&1").ok);
  // C-O joined through label 1; each label record adds a wildcard with its number.
  EXPECT_TRUE(mol.GetBond(AtomAt(mol, 0), AtomAt(mol, 2)));
  EXPECT_EQ(DescribeAtoms(mol), (std::vector<std::string>{"C h2", "N h1", "O h1", "* h0 :1", "* h0 :2"}));
  EXPECT_EQ(mol.GetBond(AtomAt(mol, 1), AtomAt(mol, 4))->GetOrder(), 2u);
}

// ---- stereo ----

struct TetraCase {
  std::string text;
  unsigned center;
  std::vector<int> nbrs;  // atom indices; -1 for the implicit hydrogen or lone pair
  Tamrin::QvChirality expected;
};

class SmilesTetrahedral : public ::testing::TestWithParam<TetraCase> {};

TEST_P(SmilesTetrahedral, StoredAlongNeighbourOrder) {
  const TetraCase& c = GetParam();
  QvGraphMol mol;
  ASSERT_TRUE(Parse(mol, c.text).ok);
  std::vector<const QvAtomBase*> nbrs;
  for (int idx : c.nbrs) nbrs.push_back(idx < 0 ? nullptr : AtomAt(mol, static_cast<unsigned>(idx)));
  EXPECT_EQ(Tamrin::QvGetAtomStereo(*AtomAt(mol, c.center), nbrs), c.expected) << c.text;
}

using Tamrin::QvChirality;
INSTANTIATE_TEST_SUITE_P(
    Parser, SmilesTetrahedral,
    ::testing::Values(
        // The stereo hydrogen becomes atom 1, right after the centre.
        TetraCase{"[C@@H](F)(Cl)Br", 0, {1, 2, 3, 4}, QvChirality::Clockwise},
        TetraCase{"[C@H](F)(Cl)Br", 0, {1, 2, 3, 4}, QvChirality::Anticlockwise},
        TetraCase{"F[C@H](Cl)Br", 1, {0, 2, 3, 4}, QvChirality::Anticlockwise},
        TetraCase{"F[C@@H](Cl)Br", 1, {0, 2, 3, 4}, QvChirality::Clockwise},
        TetraCase{"F[C@TH2H](Cl)Br", 1, {0, 2, 3, 4}, QvChirality::Clockwise},
        TetraCase{"F[C@1H](Cl)Br", 1, {0, 2, 3, 4}, QvChirality::Anticlockwise},
        TetraCase{"F[C@](Cl)(Br)I", 1, {0, 2, 3, 4}, QvChirality::Anticlockwise},
        // Ring closures take their place where the digit is written.
        TetraCase{"F[C@]1(Cl)CCC1", 1, {0, 5, 2, 3}, QvChirality::Anticlockwise},
        TetraCase{"C1CC[C@@]1(F)Cl", 3, {2, 0, 4, 5}, QvChirality::Clockwise},
        // Three connections: the lone pair follows the first neighbour, also
        // on an atom written first (where a hydrogen would come first).
        TetraCase{"C[S@](=O)CC", 1, {0, -1, 2, 3}, QvChirality::Anticlockwise},
        TetraCase{"[S@](C)(=O)CC", 0, {1, -1, 2, 3}, QvChirality::Anticlockwise},
        TetraCase{"[S@](C)(=O)CC", 0, {-1, 1, 2, 3}, QvChirality::Clockwise},
        TetraCase{"[C@H](C)(O)CC", 0, {1, 2, 3, 4}, QvChirality::Anticlockwise}));

TEST(SmilesParser, ChiralityClassesOtherThanTetrahedralRecordNothing) {
  for (const char* text : {"F[C@SP1](Cl)(Br)I", "F[C@3](Cl)(Br)I", "F[C@@@](Cl)(Br)I", "F[C@TH0](Cl)(Br)I"}) {
    QvGraphMol mol;
    ASSERT_TRUE(Parse(mol, text).ok) << text;
    EXPECT_FALSE(Tamrin::QvHasAtomStereo(*AtomAt(mol, 1))) << text;
  }
}

TEST(SmilesParser, StereoHydrogensBecomeAtoms) {
  QvGraphMol mol;
  ASSERT_TRUE(Parse(mol, "[C@@H2](F)Cl").ok);  // two hydrogens: not a centre, but both are atoms
  EXPECT_EQ(mol.NumAtoms(), 5u);
  EXPECT_EQ(AtomAt(mol, 0)->GetImplicitHCount(), 0u);
  QvGraphMol plain;
  ASSERT_TRUE(Parse(plain, "[CH2](F)Cl").ok);
  EXPECT_EQ(plain.NumAtoms(), 3u);
  EXPECT_EQ(AtomAt(plain, 0)->GetImplicitHCount(), 2u);
}

struct CisTransCase {
  std::string text;
  unsigned a, b, c, d;  // ref at begin, double-bond begin, end, ref at end
  Tamrin::QvBondConfig expected;
};

class SmilesCisTrans : public ::testing::TestWithParam<CisTransCase> {};

TEST_P(SmilesCisTrans, FromDirectionMarks) {
  const CisTransCase& c = GetParam();
  QvGraphMol mol;
  ASSERT_TRUE(Parse(mol, c.text).ok) << c.text;
  const QvBondBase* bond = mol.GetBond(AtomAt(mol, c.b), AtomAt(mol, c.c));
  ASSERT_NE(bond, nullptr);
  const QvAtomBase* ref_bgn = bond->GetBgn() == AtomAt(mol, c.b) ? AtomAt(mol, c.a) : AtomAt(mol, c.d);
  const QvAtomBase* ref_end = bond->GetBgn() == AtomAt(mol, c.b) ? AtomAt(mol, c.d) : AtomAt(mol, c.a);
  EXPECT_EQ(Tamrin::QvGetBondStereo(*bond, ref_bgn, ref_end), c.expected) << c.text;
}

using Tamrin::QvBondConfig;
INSTANTIATE_TEST_SUITE_P(
    Parser, SmilesCisTrans,
    ::testing::Values(CisTransCase{"F/C=C/F", 0, 1, 2, 3, QvBondConfig::Trans},
                      CisTransCase{"F/C=C\\F", 0, 1, 2, 3, QvBondConfig::Cis},
                      CisTransCase{"F\\C=C\\F", 0, 1, 2, 3, QvBondConfig::Trans},
                      CisTransCase{"C(/F)=C/F", 1, 0, 2, 3, QvBondConfig::Cis},
                      CisTransCase{"F/C(C)=C/F", 2, 1, 3, 4, QvBondConfig::Cis},
                      CisTransCase{"F/C=C/C=C/F", 0, 1, 2, 3, QvBondConfig::Trans},
                      CisTransCase{"F/C=C/C=C/F", 2, 3, 4, 5, QvBondConfig::Trans},
                      CisTransCase{"F/C=C1.F1", 0, 1, 2, 3, QvBondConfig::None},
                      CisTransCase{"F/C=C/1.F1", 0, 1, 2, 3, QvBondConfig::Trans},
                      CisTransCase{"F/C=C1.F/1", 0, 1, 2, 3, QvBondConfig::Cis},
                      CisTransCase{"F\\\\C=C/F", 0, 1, 2, 3, QvBondConfig::Cis},
                      // A carbonyl between two marks of a conjugated chain is no contradiction.
                      CisTransCase{"O=C(O)/C=C\\C(=O)/C=C\\C(=O)O", 1, 3, 4, 5, QvBondConfig::Cis},
                      CisTransCase{"O=C(O)/C=C\\C(=O)/C=C\\C(=O)O", 5, 7, 8, 9, QvBondConfig::Cis},
                      CisTransCase{"CNN=C(/C=N\\O)/C=N/O", 3, 4, 5, 6, QvBondConfig::Cis}));

// ---- CX block ----

TEST(SmilesParser, CXStereoGroupsAndTitle) {
  QvGraphMol mol;
  const auto parsed = Parse(mol, "C[C@H](F)[C@@H](Cl)[C@H](Br)O |a:1,o1:3,&2:5| name here", CX());
  ASSERT_TRUE(parsed.ok);
  EXPECT_TRUE(parsed.messages.empty());
  EXPECT_STREQ(mol.GetTitle(), "name here");
  // The written atom positions skip the stereo hydrogens, which are atoms here.
  const auto group_of = [&](unsigned written_pos) {
    unsigned pos = 0;
    for (const QvAtomBase& atom : mol.GetAtoms()) {
      if (atom.IsHydrogen()) continue;
      if (pos++ == written_pos) return Tamrin::QvGetStereoGroup(atom);
    }
    return Tamrin::QvStereoGroup{};
  };
  EXPECT_EQ(group_of(1), (Tamrin::QvStereoGroup{Tamrin::QvStereoGroupKind::Absolute, 0}));
  EXPECT_EQ(group_of(3), (Tamrin::QvStereoGroup{Tamrin::QvStereoGroupKind::Or, 1}));
  EXPECT_EQ(group_of(5), (Tamrin::QvStereoGroup{Tamrin::QvStereoGroupKind::And, 2}));
  EXPECT_EQ(group_of(0), Tamrin::QvStereoGroup{});
}

TEST(SmilesParser, CXRacemicFlagGroupsEveryCentre) {
  QvGraphMol mol;
  ASSERT_TRUE(Parse(mol, "C[C@H](F)[C@@H](Cl)Br |r|", CX()).ok);
  EXPECT_STREQ(mol.GetTitle(), "");
  unsigned grouped = 0;
  for (const QvAtomBase& atom : mol.GetAtoms())
    grouped += Tamrin::QvGetStereoGroup(atom) == Tamrin::QvStereoGroup{Tamrin::QvStereoGroupKind::And, 1};
  EXPECT_EQ(grouped, 2u);
}

TEST(SmilesParser, CXBlockRules) {
  const std::pair<std::string, std::string> cases[] = {
      {"CC || t", "t"}, {"CC\t||", ""}, {"CC |(1,2,3)| t", "t"}, {"CC |a:0|x t", "|a:0|x t"},
      {"CC |o1:0| t", "|o1:0| t"}};
  for (const auto& [text, title] : cases) {
    QvGraphMol mol;
    QvSmilesParseOptions options = CX();
    options.quiet = true;
    CapturedMessages quiet;
    EXPECT_TRUE(Tamrin::QvParseSmiles(mol, text, options)) << text;
    EXPECT_STREQ(mol.GetTitle(), title.c_str()) << text;
  }
  QvGraphMol plain;
  ASSERT_TRUE(Parse(plain, "CC |a:0| t").ok);
  EXPECT_STREQ(plain.GetTitle(), "|a:0| t");
}

}  // namespace
