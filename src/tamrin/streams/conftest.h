// Conformer tests: whether consecutive records of a file are conformers of
// one molecule, so that reading into a multi-conformer molecule combines them.
#pragma once

namespace Tamrin {

class QvMolBase;

class QvConfTestBase {
 public:
  QvConfTestBase() = default;
  QvConfTestBase(const QvConfTestBase&) = delete;
  QvConfTestBase& operator=(const QvConfTestBase&) = delete;
  virtual ~QvConfTestBase();
  // True when `next` is another conformer of the molecule read as `first`.
  // Accepting a record with other atoms does not combine it: conformers
  // need the same atoms in the same order.
  virtual bool IsConformer(const QvMolBase& first, const QvMolBase& next) const = 0;
};

// Combines nothing: every record is a molecule of its own.
class QvDefaultConfTest final : public QvConfTestBase {
 public:
  bool IsConformer(const QvMolBase&, const QvMolBase&) const override { return false; }
};

}  // namespace Tamrin
