#include "tamrin/streams/molio.h"

#include <cstdint>
#include <memory>
#include <span>

#include "pellar/qvstream.h"
#include "sorvil/base/tagregistry.h"
#include "sorvil/error/errorhandler.h"
#include "tamrin/model/model.h"
#include "tamrin/streams/conftest.h"
#include "tamrin/streams/formatio.h"
#include "tamrin/streams/perceptionhooks.h"

namespace Tamrin {

using Sorvil::QvErrorHandler;

namespace {

using F = QvFormat;
using Step = QvPerceptionStep;

// ---- reading ----

struct StepBit {
  unsigned bit;
  Step step;
};

// Steps run in table order, each when its flavor bit is set.
constexpr StepBit kPDBSteps[] = {{0x1000, Step::Connectivity},    {0x800, Step::Rings},
                                 {0x400, Step::WholeMolecule},    {0x200, Step::ImplicitHydrogens},
                                 {0x100, Step::AtomCompletion},   {0x2000, Step::Residues}};
constexpr StepBit kXYZSteps[] = {{0x10, Step::Connectivity},     {0x8, Step::Rings},
                                 {0x4, Step::WholeMolecule},     {0x2, Step::ImplicitHydrogens},
                                 {0x1, Step::AtomCompletion}};
constexpr StepBit kCIF2DSteps[] = {{0x8, Step::Rings},
                                   {0x4, Step::WholeMolecule},
                                   {0x2, Step::ImplicitHydrogens},
                                   {0x1, Step::AtomCompletion}};
constexpr StepBit kMMCIFSteps[] = {{0x10, Step::Connectivity},   {0x8, Step::Rings},
                                   {0x4, Step::WholeMolecule},   {0x2, Step::ImplicitHydrogens},
                                   {0x1, Step::AtomCompletion},  {0x20, Step::Residues}};
constexpr StepBit kMMODSteps[] = {{0x80, Step::AtomCompletion}};
constexpr StepBit kCDXSteps[] = {{QvIFlavor::Generic::Rings, Step::Rings}};

void RunSteps(QvMolBase& mol, unsigned flavor, std::span<const StepBit> steps) {
  for (const StepBit& s : steps)
    if (flavor & s.bit) QvRunPerceptionStep(mol, s.step);
}

bool IsMDLFamily(QvFormat f) { return f == F::MDL || f == F::SDF || f == F::RDF; }

// The part of the input flavor each reader takes.
unsigned ReaderOptions(QvFormat f, unsigned flavor) {
  switch (f) {
    case F::MDL:
    case F::SDF:
    case F::RDF: return 0;
    case F::PDB: return flavor & 0xFF;
    case F::MOL2: return flavor & QvIFlavor::MOL2::KeepHydrogens;
    case F::MOL2H: return QvIFlavor::MOL2::KeepHydrogens;
    case F::FASTA: return flavor & 0x3;
    default: return flavor;
  }
}

// A CIF molecule with 3D coordinates is a macromolecule as much as an
// mmCIF one, and takes the mmCIF steps.
void AfterCIF(qvmolistream& in, QvMolBase& mol, QvFormat f, unsigned flavor) {
  if (f == F::CIF && mol.GetDimension() != 3) {
    RunSteps(mol, flavor, kCIF2DSteps);
    return;
  }
  RunSteps(mol, in.GetFlavor(F::MMCIF), kMMCIFSteps);
  const Sorvil::QvTag marker = Sorvil::QvGetTag("__MMCIF_SPEC_BOND_FLAG__");
  for (QvBondBase& bond : mol.GetBonds()) bond.DeleteData(marker);
}

void AfterRecord(qvmolistream& in, QvMolBase& mol, QvFormat f, unsigned flavor) {
  switch (f) {
    case F::PDB: RunSteps(mol, flavor, kPDBSteps); break;
    case F::XYZ: RunSteps(mol, flavor, kXYZSteps); break;
    case F::MMOD: RunSteps(mol, flavor, kMMODSteps); break;
    case F::CDX: RunSteps(mol, flavor, kCDXSteps); break;
    case F::JSON:
      QvRunPerceptionStep(mol, Step::Rings);
      QvRunAromaticity(mol, QvAromaticityModel{2});
      QvRunPerceptionStep(mol, Step::StereoFromCoords);
      break;
    case F::CIF:
    case F::MMCIF: AfterCIF(in, mol, f, flavor); break;
    default: break;
  }
}

// One record through the format's reader, then its format's steps.
// A stream's format is always readable (SetFormat refuses the others), so
// a missing reader means a format module that is not built in.
bool ReadRecord(qvmolistream& in, QvMolBase& mol, QvFormat f, unsigned flavor) {
  const QvMolReadFxn read = QvGetMolReader(f);
  if (!read) {
    QvErrorHandler::Warning("File format not supported for reading.");
    return false;
  }
  if (!read(in, mol, ReaderOptions(f, flavor))) return false;
  AfterRecord(in, mol, f, flavor);
  return true;
}

// The generic part of the flavor, for every format but the binary one,
// whose records carry their perception with them.
void AfterMolecule(QvMolBase& mol, QvFormat f, unsigned flavor) {
  if (f == F::QVB) return;
  if ((flavor & QvIFlavor::Generic::Rings) && !mol.HasPerceived(QvPerceivedRings))
    QvRunPerceptionStep(mol, Step::Rings);
  QvRunAromaticity(mol, QvAromaticityModelOf(flavor));
}

// ---- multi-conformer reading ----

bool HasConformerRecords(QvFormat f) { return f == F::QVB || f == F::QVZ || f == F::JSON; }

bool CanCombine(QvFormat f) {
  switch (f) {
    case F::MDL:
    case F::PDB:
    case F::MOL2:
    case F::MOL2H:
    case F::SDF:
    case F::XYZ:
    case F::MMOD:
    case F::RDF:
    case F::CSV:
    case F::CIF:
    case F::MMCIF: return true;
    default: return false;
  }
}

// Adds the records that follow as conformers while the stream's test
// accepts them; the first one refused waits in the queue for the next read.
void CombineConformers(qvmolistream& in, QvMCMolBase& mol, const QvMolBase& first) {
  for (;;) {
    const std::int64_t position = in.GetStream().tell();
    auto next = std::make_unique<QvGraphMolImpl>();
    if (!QvReadMolecule(in, *next)) return;
    if (!in.GetConfTest().IsConformer(first, *next) || !mol.NewConf(*next)) {
      in.Enqueue(std::move(next), position);
      return;
    }
  }
}

// ---- writing ----

// The part of the output flavor each writer takes.
unsigned WriterOptions(QvFormat f, unsigned flavor) {
  switch (f) {
    case F::SMI:
    case F::USM:
    case F::ISM:
    case F::CAN: return flavor & 0x1FFF;
    case F::XYZ: return flavor & 0xB;
    case F::MOPAC: return flavor & 0x3;
    default: return flavor;
  }
}

// The stream's format is always writable (SetFormat refuses the others), so
// a missing writer means a format module that is not built in.
template <class Fxn, class Mol>
int Dispatch(qvmolostream& out, Fxn write, const Mol& mol) {
  const QvFormat f = out.GetFormat();
  if (!write) {
    QvErrorHandler::Warning("Format %s was not writable", QvFormatDescription(f));
    return QvWriteNotWritable;
  }
  if (out.GetStream().failed()) return QvWriteStreamFailed;
  return write(out, mol, WriterOptions(f, out.GetFlavor(f)));
}

int WriteConformers(qvmolostream& out, const QvMCMolBase& mol, const char* caller) {
  if (mol.NumConfs() == 0) {
    QvErrorHandler::Warning("%s() : unable to write QvMCMolBase without any conformers!", caller);
    return QvWriteNoConformers;
  }
  if (const QvMCMolWriteFxn write = QvGetMCMolWriter(out.GetFormat())) return Dispatch(out, write, mol);
  for (const QvConfBase& conf : mol.GetConfs()) {
    const int status = QvWriteMolecule(out, QvGraphMol(conf).GetMol());
    if (status != QvWriteOk) return status;
  }
  return QvWriteOk;
}

constexpr unsigned kMaxPDBAtoms = 99999;

}  // namespace

bool QvReadMolecule(qvmolistream& in, QvMolBase& mol) {
  if (const std::unique_ptr<QvMolBase> queued = in.Dequeue()) return mol.Copy(*queued);
  const QvFormat f = in.GetFormat();
  const unsigned flavor = in.GetFlavor(f);
  const bool keep_empty = IsMDLFamily(f) && (flavor & QvIFlavor::MDL::KeepEmpty);
  bool ok = false;
  for (;;) {
    mol.Clear();
    const std::int64_t before = in.GetStream().tell();
    ok = ReadRecord(in, mol, f, flavor);
    const bool more = !in.at_end();
    if (!ok && (more || mol.NumAtoms() > 0)) {
      QvErrorHandler::Warning("Error reading molecule \"%s\" in %s format.", mol.GetTitle(), QvFormatDescription(f));
      in.CountFailedRecord();
    }
    if (!more) break;
    if (ok && (mol.NumAtoms() > 0 || keep_empty)) break;
    // A reader that consumed nothing would see the same bytes again.
    if (in.GetStream().tell() == before && !in.HasQueued()) break;
  }
  if (!ok) {
    mol.Clear();
    return false;
  }
  AfterMolecule(mol, f, flavor);
  return mol.NumAtoms() > 0 || keep_empty;
}

bool QvReadMolecule(qvmolistream& in, QvMCMolBase& mol) {
  if (mol.NumConfs() > 1 || (mol.NumConfs() == 1 && mol.NumAtoms() > 0))
    QvErrorHandler::Warning("Unexpected conformer already in molecule at check cache");
  mol.Clear();
  const QvFormat f = in.GetFormat();
  if (HasConformerRecords(f)) {
    const QvMCMolReadFxn read = QvGetMCMolReader(f);
    if (!read) {
      QvErrorHandler::Warning("File format not supported for reading.");
      return false;
    }
    return read(in, mol, in.GetFlavor(f));
  }
  QvGraphMol first;
  if (!QvReadMolecule(in, first) || !mol.Copy(first.GetMol())) return false;
  if (CanCombine(f) && in.CombinesConformers()) CombineConformers(in, mol, first);
  return true;
}

int QvWriteMolecule(qvmolostream& out, const QvMolBase& mol) {
  const QvFormat f = out.GetFormat();
  const int status = Dispatch(out, QvGetMolWriter(f), mol);
  if (status == QvWriteOk && f == F::PDB && mol.NumAtoms() > kMaxPDBAtoms) {
    QvErrorHandler::Warning("Molecule \"%s\" has too many atoms (%d) for PDB format.", mol.GetTitle(),
                            static_cast<int>(mol.NumAtoms()));
    return QvWriteTooManyAtoms;
  }
  return status;
}

int QvWriteMolecule(qvmolostream& out, QvMCMolBase& mol) { return WriteConformers(out, mol, "QvWriteMolecule"); }

int QvWriteConstMolecule(qvmolostream& out, const QvMCMolBase& mol) {
  return WriteConformers(out, mol, "QvWriteConstMolecule");
}

}  // namespace Tamrin
