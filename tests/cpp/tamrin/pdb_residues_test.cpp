// Residue perception on molecules made from SMILES: what RDKit's sequence
// builder cannot give as an oracle (D-amino acids, cyclic peptides,
// hydrogens, hetero residues, the hydrogen limit), and the hierarchy pass.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "../support/captured_messages.h"
#include "tamrin/formats/pdb/pdb.h"
#include "tamrin/model/graphmol.h"
#include "tamrin/model/residue.h"
#include "tamrin/perception/hydrogens.h"
#include "tamrin/perception/residues.h"
#include "tamrin/streams/stringio.h"

namespace {

using Tamrin::QvGraphMol;

QvGraphMol FromSmiles(const std::string& smiles) {
  QvGraphMol mol;
  EXPECT_TRUE(Tamrin::QvReadMoleculeFromBytes(mol, Tamrin::QvFormat::SMI, 0x4000, false, smiles)) << smiles;
  return mol;
}

// "name:residue:number:chain" per atom, in atom order.
std::vector<std::string> Labels(const Tamrin::QvMolBase& mol) {
  std::vector<std::string> labels;
  for (const Tamrin::QvAtomBase& atom : mol.GetAtoms()) {
    const Tamrin::QvResidue* res = Tamrin::QvGetResidue(atom);
    labels.push_back(std::string(atom.GetName()) + ":" + (res ? res->name + ":" + std::to_string(res->number) + ":" +
                                                                    res->chain + (res->hetero ? ":het" : "")
                                                              : "-"));
  }
  return labels;
}

struct Case {
  const char* label;
  std::string smiles;
  std::vector<std::string> labels;
};

class ResiduePerception : public ::testing::TestWithParam<Case> {};

TEST_P(ResiduePerception, NamesResiduesAndAtoms) {
  QvGraphMol mol = FromSmiles(GetParam().smiles);
  Tamrin::QvPerceiveResidues(mol);
  EXPECT_EQ(Labels(mol), GetParam().labels);
}

INSTANTIATE_TEST_SUITE_P(
    Molecules, ResiduePerception,
    ::testing::Values(
        // D-alanine then L-serine: the stereo of the SMILES decides. D-residues
        // are hetero, as PDB entries have them; bracket hydrogens are atoms.
        Case{"d_and_l",
             "N[C@H](C)C(=O)N[C@@H](CO)C(=O)O",
             {" N  :DAL:1:A:het", " CA :DAL:1:A:het", " HA :DAL:1:A:het", " CB :DAL:1:A:het", " C  :DAL:1:A:het",
              " O  :DAL:1:A:het", " N  :SER:2:A", " CA :SER:2:A", " HA :SER:2:A", " CB :SER:2:A", " OG :SER:2:A",
              " C  :SER:2:A", " O  :SER:2:A", " OXT:SER:2:A"}},
        // cyclo(Gly-Gly-Pro): numbered from the residue with the lowest atom.
        Case{"cyclic",
             "C1C(=O)NCC(=O)N2CCCC2C(=O)N1",
             {" CA :GLY:1:A", " C  :GLY:1:A", " O  :GLY:1:A", " N  :GLY:2:A", " CA :GLY:2:A", " C  :GLY:2:A",
              " O  :GLY:2:A", " N  :PRO:3:A", " CD :PRO:3:A", " CG :PRO:3:A", " CB :PRO:3:A", " CA :PRO:3:A",
              " C  :PRO:3:A", " O  :PRO:3:A", " N  :GLY:1:A"}},
        // A disulfide joins two chains; water and a ligand are hetero residues after them.
        Case{"disulfide_water_ligand",
             "NC(CSSCC(N)C(=O)O)C(=O)O.O.c1ccccc1Cl",
             {" N  :CYS:1:A", " CA :CYS:1:A", " CB :CYS:1:A", " SG :CYS:1:A", " SG :CYS:1:B", " CB :CYS:1:B",
              " CA :CYS:1:B", " N  :CYS:1:B", " C  :CYS:1:B", " O  :CYS:1:B", " OXT:CYS:1:B", " C  :CYS:1:A",
              " O  :CYS:1:A", " OXT:CYS:1:A", " O  :HOH:2:B:het", " C1 :UNL:3:B:het", " C2 :UNL:3:B:het",
              " C3 :UNL:3:B:het", " C4 :UNL:3:B:het", " C5 :UNL:3:B:het", " C6 :UNL:3:B:het",
              "CL1 :UNL:3:B:het"}}),
    [](const auto& tp) { return std::string(tp.param.label); });

TEST(ResiduePerception, TenHydrogensStopTheNaming) {
  QvGraphMol mol;
  Tamrin::QvAtomBase* c = mol.NewAtom(6);
  for (int i = 0; i < 10; ++i) mol.NewBond(c, mol.NewAtom(1), 1);
  CapturedMessages messages;
  Tamrin::QvPerceiveResidues(mol);
  EXPECT_EQ(messages.lines(),
            std::vector<std::string>{"Can't create PDB name when there are more than 9 hydrogens on an atom."});
  EXPECT_STREQ(c->GetName(), " C1 ");
}

// The hierarchy pass: a TER between the polymer and the ligands after it,
// none inside a chain at a bonded modified residue, new fragments at a chain
// change, serials for atoms that had none (one left for each TER).
TEST(ResidueHierarchy, FragmentsHeteroFlagsAndSerials) {
  QvGraphMol mol;
  // The hetero marks are wrong on purpose: the pass sets them.
  const Tamrin::QvResidue residues[] = {{.name = "ALA", .chain = "A", .number = 1, .hetero = true},
                                        {.name = "MSE", .chain = "A", .number = 2},
                                        {.name = "GLY", .chain = "A", .number = 3},
                                        {.name = "HOH", .chain = "A", .number = 4},
                                        {.name = "HOH", .chain = "A", .number = 5},
                                        {.name = "ALA", .chain = "B", .number = 1, .hetero = true}};
  std::vector<Tamrin::QvAtomBase*> atoms;
  for (const Tamrin::QvResidue& residue : residues) {
    atoms.push_back(mol.NewAtom(6));
    Tamrin::QvSetResidue(*atoms.back(), residue);
  }
  mol.NewBond(atoms[0], atoms[1], 1);
  mol.NewBond(atoms[1], atoms[2], 1);
  Tamrin::QvPerceiveResidueHierarchy(mol, true);
  std::vector<std::string> got;
  for (const auto* atom : atoms) {
    const auto* res = Tamrin::QvGetResidue(*atom);
    got.push_back(std::to_string(res->fragment) + (res->hetero ? "h" : "p") + std::to_string(res->serial));
  }
  EXPECT_EQ(got, (std::vector<std::string>{"1p1", "1h2", "1p3", "2h5", "2h6", "3p8"}));
  EXPECT_TRUE(mol->HasPerceived(Tamrin::QvPerceivedResidues));
}

// The standard names, and names that differ from one by a character, its
// case, its length or a zero byte in front.
TEST(ResidueNames, StandardNamesOnly) {
  for (const char* name : {"A", "C", "G", "U", "I", "DA", "DC", "DG", "DT", "DI", "ALA", "ARG", "ASN", "ASP", "CYS",
                           "GLN", "GLU", "GLY", "HIS", "ILE", "LEU", "LYS", "MET", "PHE", "PRO", "SER", "THR", "TRP",
                           "TYR", "VAL"})
    EXPECT_TRUE(Tamrin::QvIsStandardResidueName(name)) << name;
  using namespace std::string_view_literals;
  for (const std::string_view name : {""sv, "T"sv, "DU"sv, "AL"sv, "ALAA"sv, "ala"sv, "Ala"sv, "HOH"sv, "MSE"sv,
                                      "UNK"sv, "ALA "sv, " ALA"sv, "\0A"sv, "\0DA"sv, "\0\0A"sv})
    EXPECT_FALSE(Tamrin::QvIsStandardResidueName(name)) << name;
}

}  // namespace
