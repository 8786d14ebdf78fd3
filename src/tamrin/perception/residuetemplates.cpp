#include "tamrin/perception/residuetemplates.h"

namespace Tamrin::residue_templates {

namespace {

constexpr unsigned C = 6, N = 7, O = 8, S = 16;

constexpr Atom kAla[] = {{" CB ", C, -1}};
constexpr Atom kSer[] = {{" CB ", C, -1}, {" OG ", O, 0}};
constexpr Atom kCys[] = {{" CB ", C, -1}, {" SG ", S, 0}};
constexpr Atom kVal[] = {{" CB ", C, -1}, {" CG1", C, 0}, {" CG2", C, 0}};
constexpr Atom kThr[] = {{" CB ", C, -1}, {" OG1", O, 0}, {" CG2", C, 0}};
constexpr Atom kLeu[] = {{" CB ", C, -1}, {" CG ", C, 0}, {" CD1", C, 1}, {" CD2", C, 1}};
constexpr Atom kIle[] = {{" CB ", C, -1}, {" CG1", C, 0}, {" CD1", C, 1}, {" CG2", C, 0}};
constexpr Atom kMet[] = {{" CB ", C, -1}, {" CG ", C, 0}, {" SD ", S, 1}, {" CE ", C, 2}};
constexpr Atom kPro[] = {{" CB ", C, -1}, {" CG ", C, 0}, {" CD ", C, 1, -2}};
constexpr Atom kPhe[] = {{" CB ", C, -1}, {" CG ", C, 0},  {" CD1", C, 1}, {" CE1", C, 2},
                         {" CZ ", C, 3},  {" CE2", C, 4}, {" CD2", C, 5, 1}};
constexpr Atom kTyr[] = {{" CB ", C, -1}, {" CG ", C, 0},     {" CD1", C, 1}, {" CE1", C, 2},
                         {" CZ ", C, 3},  {" CE2", C, 4},     {" CD2", C, 5, 1}, {" OH ", O, 4}};
constexpr Atom kTrp[] = {{" CB ", C, -1}, {" CG ", C, 0},  {" CD1", C, 1},     {" NE1", N, 2}, {" CE2", C, 3},
                         {" CD2", C, 4, 1}, {" CE3", C, 5}, {" CZ3", C, 6},     {" CH2", C, 7}, {" CZ2", C, 8, 4}};
constexpr Atom kHis[] = {{" CB ", C, -1}, {" CG ", C, 0}, {" ND1", N, 1}, {" CE1", C, 2},
                         {" NE2", N, 3},  {" CD2", C, 4, 1}};
constexpr Atom kAsp[] = {{" CB ", C, -1}, {" CG ", C, 0}, {" OD1", O, 1}, {" OD2", O, 1}};
constexpr Atom kAsn[] = {{" CB ", C, -1}, {" CG ", C, 0}, {" OD1", O, 1}, {" ND2", N, 1}};
constexpr Atom kGlu[] = {{" CB ", C, -1}, {" CG ", C, 0}, {" CD ", C, 1}, {" OE1", O, 2}, {" OE2", O, 2}};
constexpr Atom kGln[] = {{" CB ", C, -1}, {" CG ", C, 0}, {" CD ", C, 1}, {" OE1", O, 2}, {" NE2", N, 2}};
constexpr Atom kLys[] = {{" CB ", C, -1}, {" CG ", C, 0}, {" CD ", C, 1}, {" CE ", C, 2}, {" NZ ", N, 3}};
constexpr Atom kArg[] = {{" CB ", C, -1}, {" CG ", C, 0}, {" CD ", C, 1}, {" NE ", N, 2},
                         {" CZ ", C, 3},  {" NH1", N, 4}, {" NH2", N, 4}};

// Larger side chains first, so that one contained in another (PHE in TYR)
// is only taken when the larger one does not match.
constexpr Residue kAminoAcids[] = {
    {"TRP", "DTR", kTrp}, {"TYR", "DTY", kTyr}, {"ARG", "DAR", kArg}, {"PHE", "DPN", kPhe}, {"HIS", "DHI", kHis},
    {"GLU", "DGL", kGlu}, {"GLN", "DGN", kGln}, {"LYS", "DLY", kLys}, {"MET", "MED", kMet}, {"ILE", "DIL", kIle},
    {"LEU", "DLE", kLeu}, {"ASP", "DAS", kAsp}, {"ASN", "DSG", kAsn}, {"PRO", "DPR", kPro}, {"VAL", "DVA", kVal},
    {"THR", "DTH", kThr}, {"SER", "DSN", kSer}, {"CYS", "DCY", kCys}, {"ALA", "DAL", kAla}, {"GLY", "", {}}};

constexpr Atom kAde[] = {{" N9 ", N, -1}, {" C8 ", C, 0}, {" N7 ", N, 1}, {" C5 ", C, 2},    {" C4 ", C, 3, 0},
                         {" N3 ", N, 4},  {" C2 ", C, 5}, {" N1 ", N, 6}, {" C6 ", C, 7, 3}, {" N6 ", N, 8}};
constexpr Atom kGua[] = {{" N9 ", N, -1}, {" C8 ", C, 0}, {" N7 ", N, 1}, {" C5 ", C, 2},
                         {" C4 ", C, 3, 0}, {" N3 ", N, 4}, {" C2 ", C, 5}, {" N2 ", N, 6},
                         {" N1 ", N, 6},  {" C6 ", C, 8, 3}, {" O6 ", O, 9}};
constexpr Atom kCyt[] = {{" N1 ", N, -1}, {" C2 ", C, 0}, {" O2 ", O, 1}, {" N3 ", N, 1},
                         {" C4 ", C, 3},  {" N4 ", N, 4}, {" C5 ", C, 4}, {" C6 ", C, 6, 0}};
constexpr Atom kThy[] = {{" N1 ", N, -1}, {" C2 ", C, 0}, {" O2 ", O, 1}, {" N3 ", N, 1}, {" C4 ", C, 3},
                         {" O4 ", O, 4},  {" C5 ", C, 4}, {" C7 ", C, 6}, {" C6 ", C, 6, 0}};
constexpr Atom kUra[] = {{" N1 ", N, -1}, {" C2 ", C, 0}, {" O2 ", O, 1}, {" N3 ", N, 1},
                         {" C4 ", C, 3},  {" O4 ", O, 4}, {" C5 ", C, 4}, {" C6 ", C, 6, 0}};

constexpr Residue kBases[] = {{"DG", "G", kGua}, {"DA", "A", kAde}, {"DT", "", kThy}, {"DC", "C", kCyt}, {"DU", "U", kUra}};

}  // namespace

std::span<const Residue> AminoAcids() { return kAminoAcids; }
std::span<const Residue> Bases() { return kBases; }

}  // namespace Tamrin::residue_templates
