#include "tamrin/streams/stringio.h"

#include "tamrin/model/mcmol.h"
#include "tamrin/streams/molio.h"

namespace Tamrin {

namespace {

qvmolistream& ThreadInput() {
  thread_local qvmolistream in;
  return in;
}

qvmolostream& ThreadOutput() {
  thread_local qvmolostream out;
  return out;
}

// Several conformers make one multi-conformer record (or one record each);
// anything else is written as the molecule it is.
int Write(qvmolostream& out, const QvMolBase& mol) {
  const auto* mc = dynamic_cast<const QvMCMolBase*>(&mol);
  return mc && mc->NumConfs() > 1 ? QvWriteConstMolecule(out, *mc) : QvWriteMolecule(out, mol);
}

}  // namespace

bool QvReadMoleculeFromBytes(QvMolBase& mol, QvFormat format, unsigned flavor, bool gzip, std::string_view bytes) {
  mol.Clear();
  qvmolistream& in = ThreadInput();
  if (!in.SetFormat(format) || !in.SetFlavor(format, flavor)) return false;
  in.SetGzip(gzip);
  if (!in.openstring(bytes)) return false;
  if (auto* mc = dynamic_cast<QvMCMolBase*>(&mol)) return QvReadMolecule(in, *mc);
  return QvReadMolecule(in, mol);
}

bool QvWriteMoleculeToBytes(QvFormat format, unsigned flavor, bool gzip, const QvMolBase& mol, std::string& bytes) {
  bytes.clear();
  qvmolostream& out = ThreadOutput();
  if (!out.SetFormat(format) || !out.SetFlavor(format, flavor) || !out.openstring(gzip)) return false;
  if (Write(out, mol) != QvWriteOk) return false;
  bytes = out.GetString();
  return true;
}

std::string QvWriteMoleculeToBytes(QvFormat format, unsigned flavor, bool gzip, const QvMolBase& mol) {
  std::string bytes;
  QvWriteMoleculeToBytes(format, flavor, gzip, mol, bytes);
  return bytes;
}

}  // namespace Tamrin
