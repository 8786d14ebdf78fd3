#include "tamrin/streams/molio.h"

#include <cstddef>
#include <cstdint>
#include <memory>

#include "pellar/qvstream.h"
#include "sorvil/error/errorhandler.h"
#include "tamrin/model/model.h"
#include "tamrin/perception/aromaticity.h"
#include "tamrin/streams/conftest.h"
#include "tamrin/streams/formatinfo.h"

namespace Tamrin {

using Sorvil::QvErrorHandler;

namespace {

// ---- reading ----

// One record through the format's reader, then its format's steps.
// A stream's format is always readable (SetFormat refuses the others), so
// a missing reader means a format that is not built yet.
bool ReadRecord(qvmolistream& in, QvMolBase& mol, const QvFormatInfo& info, unsigned flavor) {
  if (!info.read) {
    QvErrorHandler::Warning("File format not supported for reading.");
    return false;
  }
  if (!info.read(in, mol, info.reader_options ? info.reader_options(flavor) : flavor)) return false;
  QvRunPostReadSteps(mol, flavor, info.steps);
  if (info.after_read) info.after_read(in, mol, flavor);
  return true;
}

// The generic part of the flavor: ring membership, then the aromaticity
// model. The aromaticity pass perceives missing rings itself, with the graph
// view it builds anyway.
void AfterMolecule(QvMolBase& mol, const QvFormatInfo& info, unsigned flavor) {
  if (info.keeps_perception) return;
  QvPerceiveAromaticity(mol, QvAromaticityModelOf(flavor));
}

// ---- multi-conformer reading ----

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

// The stream's format is always writable (SetFormat refuses the others), so
// a missing writer means a format that is not built yet.
template <class Fxn, class Mol>
int Dispatch(qvmolostream& out, const QvFormatInfo& info, Fxn write, const Mol& mol, unsigned options) {
  if (!write) {
    QvErrorHandler::Warning("Format %s was not writable", info.description);
    return QvWriteNotWritable;
  }
  if (out.GetStream().failed()) return QvWriteStreamFailed;
  return write(out, mol, options);
}

int WriteConformers(qvmolostream& out, const QvMCMolBase& mol, const char* caller) {
  if (mol.NumConfs() == 0) {
    QvErrorHandler::Warning("%s() : unable to write QvMCMolBase without any conformers!", caller);
    return QvWriteNoConformers;
  }
  const QvFormatInfo& info = QvGetFormatInfo(out.GetFormat());
  if (info.write_conformers) return Dispatch(out, info, info.write_conformers, mol, out.GetFlavor());
  for (const QvConfBase& conf : mol.GetConfs()) {
    const int status = QvWriteMolecule(out, QvGraphMol(conf).GetMol());
    if (status != QvWriteOk) return status;
  }
  return QvWriteOk;
}

}  // namespace

void QvFinishRecord(qvmolistream& in, QvMolBase& mol) {
  const QvFormatInfo& info = QvGetFormatInfo(in.GetFormat());
  const unsigned flavor = in.GetFlavor();
  QvRunPostReadSteps(mol, flavor, info.steps);
  if (info.after_read) info.after_read(in, mol, flavor);
  AfterMolecule(mol, info, flavor);
}

bool QvReadMolecule(qvmolistream& in, QvMolBase& mol) {
  if (const std::unique_ptr<QvMolBase> queued = in.Dequeue()) return mol.Copy(*queued);
  const QvFormat f = in.GetFormat();
  const QvFormatInfo& info = QvGetFormatInfo(f);
  const unsigned flavor = in.GetFlavor(f);
  const bool keep_empty = (flavor & info.keep_empty_bit) != 0;
  bool ok = false;
  for (;;) {
    mol.Clear();
    const std::int64_t before = in.GetStream().tell();
    const std::size_t pushed_before = in.PushedBackSize();
    in.MarkRecordStart(info.binary_state != nullptr);
    ok = ReadRecord(in, mol, info, flavor);
    const bool more = !in.at_end();
    // A record cut from a longer input ends where the tokenizer cut it;
    // failing there is what failing before the next record would be.
    const bool data_follow = more || (in.MoreFollows() && in.ReadPastRecordStart());
    if (!ok && (data_follow || mol.NumAtoms() > 0)) {
      QvErrorHandler::Warning("Error reading molecule \"%s\" in %s format.", mol.GetTitle(), QvFormatDescription(f));
      in.CountFailedRecord();
    } else if (!ok && !info.atomless_tail_ends_input && in.ReadPastRecordStart()) {
      // A reader that failed at the end of the data after taking more than
      // blank lines met a record cut short: the last record of a truncated
      // file, which would otherwise vanish without a word.
      QvErrorHandler::Warning("The data end inside a record in %s format.", QvFormatDescription(f));
      in.CountFailedRecord();
    }
    if (!more) break;
    if (ok && (mol.NumAtoms() > 0 || keep_empty)) break;
    // A reader that consumed nothing would see the same bytes again. Taking
    // pushed-back lines is progress too: a reader may have given back a run
    // of lines that the byte stream has already passed.
    if (in.GetStream().tell() == before && in.PushedBackSize() >= pushed_before && !in.HasQueued()) break;
  }
  if (!ok) {
    mol.Clear();
    return false;
  }
  AfterMolecule(mol, info, flavor);
  return mol.NumAtoms() > 0 || keep_empty;
}

bool QvReadMolecule(qvmolistream& in, QvMCMolBase& mol) {
  if (mol.NumConfs() > 1 || (mol.NumConfs() == 1 && mol.NumAtoms() > 0))
    QvErrorHandler::Warning("Unexpected conformer already in molecule at check cache");
  mol.Clear();
  const QvFormatInfo& info = QvGetFormatInfo(in.GetFormat());
  if (info.conformer_records) {
    if (!info.read_conformers) {
      QvErrorHandler::Warning("File format not supported for reading.");
      return false;
    }
    return info.read_conformers(in, mol, in.GetFlavor());
  }
  QvGraphMol first;
  if (!QvReadMolecule(in, first) || !mol.Copy(first.GetMol())) return false;
  if (info.combines_conformers && in.CombinesConformers()) CombineConformers(in, mol, first);
  return true;
}

int QvWriteMolecule(qvmolostream& out, const QvMolBase& mol) {
  const QvFormatInfo& info = QvGetFormatInfo(out.GetFormat());
  const unsigned flavor = out.GetFlavor();
  const int status = Dispatch(out, info, info.write, mol, info.writer_options ? info.writer_options(flavor) : flavor);
  if (status == QvWriteOk && info.max_atoms != 0 && mol.NumAtoms() > info.max_atoms) {
    QvErrorHandler::Warning("Molecule \"%s\" has too many atoms (%d) for %s format.", mol.GetTitle(),
                            static_cast<int>(mol.NumAtoms()), info.description);
    return QvWriteTooManyAtoms;
  }
  return status;
}

int QvWriteMolecule(qvmolostream& out, QvMCMolBase& mol) { return WriteConformers(out, mol, "QvWriteMolecule"); }

int QvWriteConstMolecule(qvmolostream& out, const QvMCMolBase& mol) {
  return WriteConformers(out, mol, "QvWriteConstMolecule");
}

}  // namespace Tamrin
