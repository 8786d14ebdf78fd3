// QvParseSmiles: the grammar (strict and permissive), atoms, bonds, rings,
// brackets, hydrogens, reactions, labels, titles, CX blocks, stereo, bond
// orders, and every message with its exact text.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
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

constexpr QvSmilesParseOptions kStrict{.strict = true};
constexpr QvSmilesParseOptions kCX{.cx = true};
constexpr QvSmilesParseOptions kNoKekule{.noKekulization = true};
constexpr QvSmilesParseOptions kQuiet{.quiet = true};

// ---- every message ----

TEST(SmilesMessages, ExactTexts) {
  // A parse error: the heading, the reason, the text and a caret under the place.
  const auto error = [](const std::string& reason, const std::string& text, std::size_t caret) {
    return std::vector<std::string>{"Problem parsing SMILES:", reason, text, std::string(caret, ' ') + "^\n"};
  };
  const std::string group = "Probable enhanced stereogroup definition issue.";
  const std::string cis_trans = "Inconsistent cis/trans bond stereo.";
  const std::tuple<std::string, QvSmilesParseOptions, bool, std::vector<std::string>> cases[] = {
      {"C1CC", {}, false, error("Unclosed ring.", "C1CC", 4)},
      {"", kStrict, false, error("Empty string is not allowed in strict mode", "", 0)},
      {" C", kStrict, false, error("Leading space is not allowed in strict mode", " C", 0)},
      {"C.", kStrict, false, error("Strict mode without previous atom.", "C.", 2)},
      {"C>>", kStrict, false, error("Strict mode without previous atom.", "C>>", 3)},
      {"CC=", {}, false, error("Bond without end atom.", "CC=", 3)},
      {"CC(C", {}, false, error("Unclosed branch.", "CC(C", 4)},
      {"C>N", {}, false, error("Incorrect reaction role.", "C>N", 3)},
      {"[C@H9]", {}, false, error("Maximum of 8 explicit stereo hydrogens exceeded in SMILES input", "[C@H9]", 6)},
      {"CC(C)X", {}, false, {"Problem parsing SMILES:", "CC(C)X", "     ^\n"}},
      {"C?C title", {}, false, {"Problem parsing SMILES:", "C?C title", " ^\n"}},
      {"CC(C", kQuiet, false, {}},
      {"c1cccc1", {}, false, {"QvParseSmiles() : unable to Kekulize SMILES:", "c1cccc1"}},
      {"c1cccc1", kQuiet, false, {}},
      {"c1ccccc1", kNoKekule, true,
       {"QvParseSmiles() : molecule has bond(s) with incorrect bond order due to skipping kekulization!"}},
      {"CC |(0,0,0;1,0,0)| ethane", kCX, true, {"cxsmiles information was ignored."}},
      {"CC |a:0 ethane", kCX, true, {"Problem parsing ambiguous or unsupported CXSMILES-like TITLE: |a:0 ethane"}},
      {"CC |a:0 ethane", {}, true, {}},
      {"C[C@H](F)Cl |o1:7|", kCX, true, {"Problem parsing SMILES:", group, "C[C@H](F)Cl |o1:7|"}},
      {"C[C@H](F)Cl |&1:0|", kCX, true, {"Problem parsing SMILES:", group, "C[C@H](F)Cl |&1:0|"}},
      {"C[C@H](F)Cl |o:1|", kCX, true, {"Problem parsing SMILES:", group, "C[C@H](F)Cl |o:1|"}},
      {"F/C(\\F)=C/F", {}, true, {"Problem parsing SMILES:", cis_trans, "F/C(\\F)=C/F"}},
      {"C/1=C/CCCCCC/1", {}, true, {"Problem parsing SMILES:", cis_trans, "C/1=C/CCCCCC/1"}},
      // Long texts are not echoed.
      {std::string(2100, 'C') + "(", {}, false, {"Problem parsing SMILES:", "Unclosed branch."}},
      {std::string(2046, 'C') + "(", {}, false, error("Unclosed branch.", std::string(2046, 'C') + "(", 2047)}};
  for (const auto& [text, options, ok, messages] : cases) {
    QvGraphMol mol;
    const auto parsed = Parse(mol, text, options);
    EXPECT_EQ(parsed.ok, ok) << text;
    EXPECT_EQ(parsed.messages, messages) << text;
  }
}

// ---- grammar: accepted or refused, strict and permissive ----

// Accepted or refused: {text, permissive, strict}.
TEST(SmilesGrammar, AcceptsOrRefuses) {
  const std::tuple<std::string, bool, bool> cases[] = {
      {"CC", true, true}, {"", true, false}, {"  CC", true, false}, {"C-C=C#C$C", true, true}, {"C-=C", true, false},
      {"C/=C", true, true}, {"C=/C", true, false}, {"C\\\\C=C/C", true, true}, {"/C", false, false},
      {"C(=O)O", true, true}, {"C(=)O", false, false}, {"(C)C", true, false}, {"C)C", false, false},
      {"C()C", true, true}, {".C", true, false}, {"C..C", true, false}, {"C=.C", false, false}, {"C>C>C", true, true},
      {"C>>C", true, true}, {"C>C>C>C", false, false}, {"C1>C1", false, false}, {"C=>C>C", false, false},
      {"C1CC%01", true, true}, {"C%1CC1", false, false}, {"C%99CC%99", true, true}, {"C%123CC%12C3", true, true},
      {"1CC", false, false}, {"C11", false, false}, {"C1C1", false, false}, {"C=1CC1", true, true},
      {"C=1CC#1", false, false}, {"C=1CC=1", true, true}, {"C0CC0", true, true}, {"C&1.C&1", true, false},
      {"C&=%12.N&%12", true, false}, {"&1C", false, false}, {"C&1C&1", false, false}, {"C&=1.C&#1", false, false},
      {"C&x", false, false}, {"*C", true, true}, {"BrCCl", true, true}, {"BRCCL", true, false},
      {"c1ccccc1", true, true}, {"b1ccccc1", true, false}, {"CbrC", true, false}, {"HC", true, false},
      {"DC", true, false}, {"tC", true, false}, {"C{A}C", true, false}, {"C{B}C", false, false}, {"C{A", false, false},
      {"C|C", false, false}, {"C~C", false, false}, {"Cx", false, false}, {"C\xc3\xa9", false, false},
      {"[C", false, false}, {"[]", false, false}, {"[13CH4]", true, true}, {"[Xyz]", true, true}, {"[#6]", true, true},
      {"[#256]", false, false}, {"[#255]", true, true}, {"[*]", true, true}, {"[R1]", true, false},
      {"[R]", false, false}, {"[D]", true, false}, {"[T]", true, false}, {"[Ds]", true, true},
      {"[se]1cccc1", true, true}, {"[fe]", true, true}, {"[Q]", false, false}, {"[CH0]", true, false},
      {"[CH]", true, true}, {"[CH2H]", false, false}, {"[Fe+2]", true, true}, {"[Fe++]", true, true},
      {"[Fe+2+]", false, false}, {"[Fe+-]", false, false}, {"[Fe+02]", true, false}, {"[C:1]", true, true},
      {"[C:0]", true, false}, {"[C:1H]", false, false}, {"[C:]", false, false}, {"[CH4:1+]", false, false},
      {"[C@](F)(Cl)(Br)I", true, true}, {"[C@@](F)(Cl)(Br)I", true, true}, {"[Co@OH1](F)(F)(F)(F)(F)F", true, true},
      {"[C@OH31]", false, false}, {"[C@OH30]", true, true}, {"[C@TH3]", false, false}, {"[C@TH0]", true, false},
      {"[C@SP3]", true, true}, {"[C@SP4]", false, false}, {"[C@TB20]", true, true}, {"[C@TB21]", false, false},
      {"[C@AL2]", true, true}, {"[C@AL3]", false, false}, {"[C@XX1]", false, false}, {"[C@30]", true, true},
      {"[C@31]", false, false}, {"[C@@@]", true, true}, {"[C" + std::string(30, '@') + "]", true, true},
      {"[C" + std::string(31, '@') + "]", false, false}, {"[C@H@]", false, false}, {"[CH@](F)(Cl)Br", true, true},
      {"[C+H3]", true, true}, {"[2]", false, false}, {"[99999999999C]", false, false}};
  for (const auto& [text, permissive, strict] : cases) {
    QvGraphMol loose, tight;
    EXPECT_EQ(Tamrin::QvParseSmiles(loose, text, kQuiet), permissive) << text;
    EXPECT_EQ(Tamrin::QvParseSmiles(tight, text, QvSmilesParseOptions{.strict = true, .quiet = true}), strict)
        << text << " (strict)";
  }
}

// ---- atoms, hydrogens and bonds ----

std::string Joined(const std::vector<std::string>& parts) {
  std::string out;
  for (const std::string& part : parts) out += (out.empty() ? "" : ", ") + part;
  return out;
}

// Implicit hydrogens and atom properties (each atom as DescribeAtom gives it).
TEST(SmilesParser, Atoms) {
  const std::pair<std::string, std::string> cases[] = {
      {"C", "C h4"}, {"CC=O", "C h3, C h1, O h0"}, {"C#N", "C h1, N h0"}, {"B", "B h3"}, {"BF", "B h2, F h0"},
      {"N", "N h3"}, {"N(=O)=O", "N h1, O h0, O h0"}, {"P(C)(C)(C)(C)C", "P h0, C h3, C h3, C h3, C h3, C h3"},
      {"O", "O h2"}, {"S", "S h2"}, {"S(=O)", "S h0, O h0"}, {"S(=O)=O", "S h0, O h0, O h0"},
      {"S(=O)(=O)=O", "S h0, O h0, O h0, O h0"}, {"FClBrI", "F h0, Cl h0, Br h0, I h0"}, {"Cl", "Cl h1"}, {"*", "* h0"},
      {"[CH4]", "C h4"}, {"[C]", "C h0"}, {"[13CH3-]", "13C h3 -1"}, {"[NH4+]", "N h4 +1"}, {"[Fe+2]", "Fe h0 +2"},
      {"[Fe++]", "Fe h0 +2"}, {"[O--]", "O h0 -2"}, {"[2H]", "2H h0"}, {"[D]", "2H h0"}, {"D", "2H h0"},
      {"[T]", "3H h0"}, {"t", "3H h0"}, {"H", "H h0"}, {"[CH3:7]", "C h3 :7"}, {"[R3]", "* h0 :3"}, {"[#6]", "C h0"},
      {"[#200]", "#200 h0"}, {"[cH]1ccccc1", "C h1 a, C h1 a, C h1 a, C h1 a, C h1 a, C h1 a"},
      {"c1ccccc1", "C h1 a, C h1 a, C h1 a, C h1 a, C h1 a, C h1 a"},
      {"c1cc[nH]c1", "C h1 a, C h1 a, C h1 a, N h1 a, C h1 a"},
      {"c1ccncc1", "C h1 a, C h1 a, C h1 a, N h0 a, C h1 a, C h1 a"},
      {"c1ccoc1", "C h1 a, C h1 a, C h1 a, O h0 a, C h1 a"},
      {"Cc1ccccc1", "C h3, C h0 a, C h1 a, C h1 a, C h1 a, C h1 a, C h1 a"},
      {"O=c1cc[nH]cc1", "O h0, C h0 a, C h1 a, C h1 a, N h1 a, C h1 a, C h1 a"}, {"CbR", "C h3, Br h0"},
      {"[se]1cccc1", "Se h0 a, C h1 a, C h1 a, C h1 a, C h1 a"}, {"[C@@H2](F)Cl", "C h0, H h0, H h0, F h0, Cl h0"},
      {"[CH2](F)Cl", "C h2, F h0, Cl h0"}, {"[fe]", "Fe h0"}, {"[cl-]", "Cl h0 -1"}, {"[CH2+]", "C h2 +1"}};
  for (const auto& [text, atoms] : cases) {
    QvGraphMol mol;
    EXPECT_TRUE(Parse(mol, text).ok) << text;
    EXPECT_EQ(Joined(DescribeAtoms(mol)), atoms) << text;
  }
}

// Atoms and bonds ("begin-end:order" in creation order) where the bonds are
// the point: {text, options, parsed, atoms, bonds}.
TEST(SmilesParser, AtomsAndBonds) {
  const std::tuple<std::string, QvSmilesParseOptions, bool, std::string, std::string> cases[] = {
      // Without kekulization the bonds keep the integer types as orders.
      {"c1ccccc1C=O", kNoKekule, true, "C h1 a, C h1 a, C h1 a, C h1 a, C h1 a, C h0 a, C h1, O h0",
       "0-5:5, 0-1:5, 1-2:5, 2-3:5, 3-4:5, 4-5:5, 5-6:1, 6-7:2"},
      // An unclosed ring ends on a wildcard with the ring number as isotope.
      {"C1CC%42", {}, false, "C h2, C h2, C h2, 1* h0, 42* h0", "0-3:1, 0-1:1, 1-2:1, 2-4:1"},
      // A leading branch attaches to the first atom.
      {"(C)N", {}, true, "C h3, N h2", "0-1:1"},
      // Label bonds join (C-O through label 1) and leave a mapped wildcard per label.
      {"C&1.N&=2.O&1", {}, true, "C h2, N h1, O h1, * h0 :1, * h0 :2", "0-2:1, 0-3:1, 1-4:2"}};
  for (const auto& [text, options, ok, atoms, bonds] : cases) {
    QvGraphMol mol;
    EXPECT_EQ(Parse(mol, text, options).ok, ok) << text;
    EXPECT_EQ(Joined(DescribeAtoms(mol)), atoms) << text;
    EXPECT_EQ(Joined(DescribeBonds(mol)), bonds) << text;
  }
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

TEST(SmilesParser, GrammarErrorMidRingLeavesNoOpenBond) {
  QvGraphMol mol;
  EXPECT_FALSE(Parse(mol, "C1CC?").ok);
  for (const QvBondBase& bond : mol.GetBonds()) EXPECT_NE(bond.GetEnd(), nullptr);
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

// ---- reactions ----

TEST(SmilesParser, ReactionRoles) {
  using Roles = std::pair<std::string, std::vector<unsigned>>;
  for (const auto& [text, expected] : {Roles{"CC.O>[Pt]>CCO", {1, 1, 1, 2, 3, 3, 3}},
                                       Roles{"C>>[C@@H](F)(Cl)Br", {1, 3, 3, 3, 3, 3}}}) {  // stereo hydrogens too
    QvGraphMol mol;
    ASSERT_TRUE(Parse(mol, text).ok);
    std::vector<unsigned> roles;
    for (const QvAtomBase& atom : mol.GetAtoms()) roles.push_back(atom.GetRxnRole());
    EXPECT_EQ(roles, expected) << text;
  }
}

// ---- stereo ----

// The configuration as stored, read along the given neighbours (-1: the
// implicit hydrogen or lone pair).
TEST(SmilesParser, TetrahedralStoredAlongNeighbourOrder) {
  using Tamrin::QvChirality;
  constexpr QvChirality CW = QvChirality::Clockwise, ACW = QvChirality::Anticlockwise, NO = QvChirality::None;
  const std::tuple<std::string, unsigned, std::vector<int>, QvChirality> cases[] = {
      // The stereo hydrogen becomes atom 1, right after the centre.
      {"[C@@H](F)(Cl)Br", 0, {1, 2, 3, 4}, CW}, {"[C@H](F)(Cl)Br", 0, {1, 2, 3, 4}, ACW},
      {"F[C@H](Cl)Br", 1, {0, 2, 3, 4}, ACW}, {"F[C@@H](Cl)Br", 1, {0, 2, 3, 4}, CW},
      {"F[C@TH2H](Cl)Br", 1, {0, 2, 3, 4}, CW}, {"F[C@1H](Cl)Br", 1, {0, 2, 3, 4}, ACW},
      {"F[C@](Cl)(Br)I", 1, {0, 2, 3, 4}, ACW},
      // Ring closures take their place where the digit is written.
      {"F[C@]1(Cl)CCC1", 1, {0, 5, 2, 3}, ACW}, {"C1CC[C@@]1(F)Cl", 3, {2, 0, 4, 5}, CW},
      // Three connections: the lone pair follows the first neighbour, also
      // on an atom written first (where a hydrogen would come first).
      {"C[S@](=O)CC", 1, {0, -1, 2, 3}, ACW}, {"[S@](C)(=O)CC", 0, {1, -1, 2, 3}, ACW},
      {"[S@](C)(=O)CC", 0, {-1, 1, 2, 3}, CW}, {"[C@H](C)(O)CC", 0, {1, 2, 3, 4}, ACW},
      // Chirality classes other than tetrahedral record nothing.
      {"F[C@SP1](Cl)(Br)I", 1, {0, 2, 3, 4}, NO}, {"F[C@3](Cl)(Br)I", 1, {0, 2, 3, 4}, NO},
      {"F[C@@@](Cl)(Br)I", 1, {0, 2, 3, 4}, NO}, {"F[C@TH0](Cl)(Br)I", 1, {0, 2, 3, 4}, NO}};
  for (const auto& [text, center, indices, expected] : cases) {
    QvGraphMol mol;
    ASSERT_TRUE(Parse(mol, text).ok) << text;
    std::vector<const QvAtomBase*> nbrs;
    for (int idx : indices) nbrs.push_back(idx < 0 ? nullptr : AtomAt(mol, static_cast<unsigned>(idx)));
    EXPECT_EQ(Tamrin::QvGetAtomStereo(*AtomAt(mol, center), nbrs), expected) << text;
  }
}

// From direction marks: {text, ref at begin, double-bond begin, end, ref at end, config}.
TEST(SmilesParser, CisTransFromDirectionMarks) {
  using enum Tamrin::QvBondConfig;
  const std::tuple<std::string, unsigned, unsigned, unsigned, unsigned, Tamrin::QvBondConfig> cases[] = {
      {"F/C=C/F", 0, 1, 2, 3, Trans}, {"F/C=C\\F", 0, 1, 2, 3, Cis}, {"F\\C=C\\F", 0, 1, 2, 3, Trans},
      {"C(/F)=C/F", 1, 0, 2, 3, Cis}, {"F/C(C)=C/F", 2, 1, 3, 4, Cis}, {"F/C=C/C=C/F", 0, 1, 2, 3, Trans},
      {"F/C=C/C=C/F", 2, 3, 4, 5, Trans}, {"F/C=C1.F1", 0, 1, 2, 3, None}, {"F/C=C/1.F1", 0, 1, 2, 3, Trans},
      {"F/C=C1.F/1", 0, 1, 2, 3, Cis}, {"F\\\\C=C/F", 0, 1, 2, 3, Cis},
      // A carbonyl between two marks of a conjugated chain is no contradiction.
      {"O=C(O)/C=C\\C(=O)/C=C\\C(=O)O", 1, 3, 4, 5, Cis}, {"O=C(O)/C=C\\C(=O)/C=C\\C(=O)O", 5, 7, 8, 9, Cis},
      {"CNN=C(/C=N\\O)/C=N/O", 3, 4, 5, 6, Cis}};
  for (const auto& [text, a, b, c, d, expected] : cases) {
    QvGraphMol mol;
    ASSERT_TRUE(Parse(mol, text).ok) << text;
    const QvBondBase* bond = mol.GetBond(AtomAt(mol, b), AtomAt(mol, c));
    ASSERT_NE(bond, nullptr);
    const bool forward = bond->GetBgn() == AtomAt(mol, b);
    EXPECT_EQ(Tamrin::QvGetBondStereo(*bond, AtomAt(mol, forward ? a : d), AtomAt(mol, forward ? d : a)), expected)
        << text;
  }
}

// ---- CX block ----

// Stereo groups by written position ("kind number@position", kind a, o or
// &); the stereo hydrogens, which are atoms here, are skipped.
std::string Groups(const QvGraphMol& mol) {
  std::string out;
  unsigned pos = 0;
  for (const QvAtomBase& atom : mol.GetAtoms()) {
    if (atom.IsHydrogen()) continue;
    const Tamrin::QvStereoGroup group = Tamrin::QvGetStereoGroup(atom);
    if (group.kind != Tamrin::QvStereoGroupKind::None)
      out += std::string(out.empty() ? "" : " ") + " ao&"[static_cast<unsigned>(group.kind)] +
             std::to_string(group.number) + "@" + std::to_string(pos);
    ++pos;
  }
  return out;
}

TEST(SmilesParser, CXStereoGroups) {
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {"C[C@H](F)[C@@H](Cl)[C@H](Br)O |a:1,o1:3,&2:5| name here", "a0@1 o1@3 &2@5", "name here"},
      {"C[C@H](F)[C@@H](Cl)Br |r|", "&1@1 &1@3", ""}};  // racemic: every centre in one group
  for (const auto& [text, groups, title] : cases) {
    QvGraphMol mol;
    const auto parsed = Parse(mol, text, kCX);
    EXPECT_TRUE(parsed.ok) << text;
    EXPECT_EQ(parsed.messages, std::vector<std::string>{}) << text;
    EXPECT_EQ(Groups(mol), groups) << text;
    EXPECT_EQ(mol.GetTitle(), title) << text;
  }
}

// The title: what follows the SMILES, trimmed; with CX blocks read, what
// follows a "|...|" block, unless the block is not one.
TEST(SmilesParser, Titles) {
  constexpr QvSmilesParseOptions quiet{.quiet = true}, quiet_cx{.quiet = true, .cx = true};
  const std::tuple<std::string, QvSmilesParseOptions, std::string> cases[] = {
      {"CC ethane", quiet, "ethane"}, {"CC\t  two words\t ", quiet, "two words"}, {"CC", quiet, ""},
      {"  CC x", quiet, "x"}, {"C?C bad one", quiet, "bad one"}, {"CC |a:0| t", quiet, "|a:0| t"},
      {"CC || t", quiet_cx, "t"}, {"CC\t||", quiet_cx, ""}, {"CC |(1,2,3)| t", quiet_cx, "t"},
      {"CC |a:0|x t", quiet_cx, "|a:0|x t"}, {"CC |o1:0| t", quiet_cx, "|o1:0| t"}};
  for (const auto& [text, options, title] : cases) {
    QvGraphMol mol;
    mol.SetTitle("old");
    CapturedMessages unchecked;  // what the CX block draws is checked with the messages
    EXPECT_EQ(Tamrin::QvParseSmiles(mol, text, options), text != "C?C bad one") << text;
    EXPECT_EQ(mol.GetTitle(), title) << text;
  }
}

}  // namespace
