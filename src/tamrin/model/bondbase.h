// The bond interface. Bonds are made by their molecule (QvMolBase::NewBond).
#pragma once

#include <string>

#include "sorvil/base/qvbase.h"

namespace Tamrin {

class QvAtomBase;
class QvMolBase;

class QvBondBase : public Sorvil::QvBase {
  QV_DECLARE_TYPE("Tamrin::QvBondBase", Sorvil::QvBase)

 public:
  virtual bool SetInRing(bool in_ring) = 0;
  virtual bool SetAromatic(bool aromatic) = 0;
  virtual bool SetChiral(bool chiral) = 0;
  // Attach an end left empty by NewBond. False when that end is set already,
  // or the atom is null, deleted, of another molecule or the other end.
  virtual bool SetBgn(QvAtomBase* atom) = 0;
  virtual bool SetEnd(QvAtomBase* atom) = 0;
  virtual bool SetOrder(unsigned order) = 0;
  virtual bool SetIntType(unsigned type) = 0;
  virtual bool SetType(const std::string& type) = 0;
  virtual bool SetType(const char* type) = 0;
  // Only indices below the molecule's GetMaxBondIdx are accepted.
  virtual bool SetIdx(unsigned idx) = 0;

  virtual unsigned GetIdx() const = 0;
  virtual QvAtomBase* GetBgn() const = 0;
  virtual QvAtomBase* GetEnd() const = 0;
  virtual unsigned GetOrder() const = 0;
  virtual unsigned GetIntType() const = 0;
  // The type name given by SetType (GetType is the class identifier of QvBase).
  virtual const char* GetTypeName() const = 0;
  virtual QvMolBase* GetParent() const = 0;
  // The other end for `atom`, or null when `atom` is neither end.
  virtual QvAtomBase* GetNbr(const QvAtomBase* atom) const = 0;
  virtual bool IsDeleted() const = 0;
  virtual bool IsInRing() const = 0;
  virtual bool IsAromatic() const = 0;
  virtual bool IsChiral() const = 0;
  virtual void SwapEnds() = 0;
};

}  // namespace Tamrin
