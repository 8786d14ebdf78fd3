// The SMILES parser's state machine. QvParseSmiles (smiles.h) is the public
// entry; this class is shared with the tests of its internals only through
// that function.
//
// One pass over the characters builds atoms and bonds, recording what can
// only be resolved once the whole molecule exists (direction marks,
// tetrahedral marks, "&" labels); Finish then runs the whole-molecule steps.
// Bond orders live in the bonds' integer types during the pass
// (1 single, 2 double, 3 triple, 4 quadruple, 5 aromatic) and become real
// orders at the end.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "tamrin/formats/smiles/smiles.h"

namespace Tamrin {

class QvAtomBase;
class QvBondBase;

class QvSmilesParser {
 public:
  bool Parse(QvMolBase& mol, std::string_view text, const QvSmilesParseOptions& options);

 private:
  struct Label {
    QvAtomBase* atom;
    unsigned label;
    unsigned order;
    int mark;
  };
  struct Mark {
    QvBondBase* bond;
    int mark;  // -1 "/", +1 "\", seen from the bond's begin atom
  };
  struct Chiral {
    QvAtomBase* atom;
    bool clockwise;
    unsigned ring_digits = 0;  // ring-closure digits written on the atom
  };
  struct StereoH {
    QvAtomBase* atom;
    unsigned count;
  };
  struct StereoGroupEntry {
    unsigned atom;   // position among the written atoms
    char kind;       // 'a', 'o' or '&'
    unsigned number;
  };
  // Parsed bracket contents before the atom is finished.
  struct Bracket {
    int chirality = 0;  // 0 none, 1 anticlockwise, 2 clockwise
    bool has_chirality = false;
    bool has_h = false;
    unsigned h = 0;
    bool has_charge = false;
    int charge = 0;
  };

  void Reset(QvMolBase& mol, std::string_view text, const QvSmilesParseOptions& options);

  // ---- the main pass ----
  bool MainPass();
  bool Step(unsigned char c);
  bool BondSymbol(unsigned order);
  bool Direction(int mark);
  bool OpenBranch();
  bool CloseBranch();
  bool Dot();
  bool ReactionArrow();
  bool RingClosure(unsigned number);
  bool PercentRing();
  bool LabelBond();
  bool OrganicAtom(unsigned char c);
  bool AromaticAtom(unsigned char c);
  bool HydrogenAtom(unsigned char c);
  bool Annotation();
  QvAtomBase* AddAtom(unsigned atomic_num, bool aromatic);
  QvBondBase* AddBond(QvAtomBase* bgn, QvAtomBase* end, unsigned type);
  unsigned AromaticRule(const QvAtomBase* a, const QvAtomBase* b) const;

  // ---- bracket atoms ----
  bool BracketAtom();
  bool BracketSymbol(unsigned& atomic_num, bool& aromatic, unsigned& isotope, unsigned& map,
                     const char*& name, std::size_t& name_length);
  bool BracketProperties(Bracket& bracket, unsigned& map);
  bool Chirality(Bracket& bracket);
  bool ChiralityClass(Bracket& bracket);
  bool HydrogenCount(Bracket& bracket);
  bool Charge(Bracket& bracket);
  bool AtomClass(unsigned& map);
  bool StereoHydrogens(QvAtomBase* atom, unsigned count);

  // ---- numbers ----
  // Decimal digits at the read position (at least one), within `max`.
  bool Number(unsigned& value, unsigned max);
  // As Number, with a leading 0 refused in strict mode.
  bool NonZeroLeadNumber(unsigned& value, unsigned max);

  // ---- end of the pass, the tail, finishing ----
  bool EndChecks();
  void CloseOpenRings();
  void ParseTail();
  bool TakeCXBlock(std::string_view& rest);
  bool ParseStereoGroups(std::string_view block);
  void Finish();
  void AddLabelAtoms();
  void AssignReactionRoles();
  void MarkRingAromaticBonds();
  void AssignImplicitHydrogens();
  void AssignAtomStereo();
  bool AssignStereoGroups();
  void AssignBondStereo();
  bool AssignDoubleBond(QvBondBase& bond);
  bool MarkedNeighbour(const QvAtomBase* center, const QvAtomBase* other, const QvAtomBase*& ref, int& side) const;
  bool SetOrders();

  bool Fail(const char* reason = nullptr);
  void ReportFailure() const;
  void ReportText() const;

  QvMolBase* mol_ = nullptr;
  QvSmilesParseOptions options_;
  std::string_view text_;
  std::size_t pos_ = 0;
  std::size_t smiles_end_ = 0;
  bool pass_done_ = false;
  QvAtomBase* prev_ = nullptr;
  unsigned order_ = 0;
  int mark_ = 0;
  std::vector<QvAtomBase*> branches_;
  std::array<QvBondBase*, 100> rings_{};
  unsigned open_rings_ = 0;
  std::vector<Label> labels_;
  std::vector<Mark> marks_;
  std::vector<Chiral> chirals_;
  std::vector<StereoH> stereo_h_;
  // Per atom of this parse (by index minus first_idx_): written as a bracket atom.
  std::vector<std::uint8_t> bracket_;
  // The atoms as written (no stereo hydrogens or label atoms), for the CX block.
  std::vector<QvAtomBase*> written_;
  std::vector<StereoGroupEntry> groups_;
  bool reaction_ = false;
  unsigned role_ = 0;
  unsigned first_idx_ = 0;
  bool cx_ignored_ = false;
  bool cx_like_title_ = false;
  std::string_view title_;
  // Everything after the SMILES, CX block included.
  std::string_view full_rest_;
  bool groups_ok_ = true;
  bool racemic_ = false;
  unsigned first_bond_idx_ = 0;
  // Direction mark per bond of this parse (by index minus first_bond_idx_).
  std::vector<std::int8_t> bond_mark_;
  const char* reason_ = nullptr;
  std::size_t error_pos_ = 0;
};

}  // namespace Tamrin
