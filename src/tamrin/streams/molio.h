// Reading and writing molecules through the molecule streams, dispatched on
// the stream's format to the functions its record names
// (tamrin/streams/formatinfo.h), with the flavor's perception steps after
// each read.
#pragma once

#include "tamrin/streams/molstream.h"

namespace Tamrin {

class QvMCMolBase;

// Reads the next molecule that has atoms (or, for MDL, SDF and RDF with
// input flavor bit 0x4, the next molecule at all). A record that fails to
// read is reported ("Error reading molecule \"%s\" in %s format."), counted
// and skipped. False at the end of the input, or when a reader fails
// without consuming anything (reading on would see the same bytes).
bool QvReadMolecule(qvmolistream& in, QvMolBase& mol);
// Into a multi-conformer molecule: formats with conformer records fill it
// directly; the others read one molecule as its only conformer, or combine
// consecutive records that the stream's conformer test accepts.
bool QvReadMolecule(qvmolistream& in, QvMCMolBase& mol);
// What QvReadMolecule does to a record after its reader: for a reader that
// reads several molecules from one record and queues all but the first, so
// that the queued ones come out as finished as the first.
void QvFinishRecord(qvmolistream& in, QvMolBase& mol);

// Status codes of the writers.
enum QvWriteStatus : int {
  QvWriteOk = 0,
  QvWriteTooManyAtoms = 12,    // PDB: more than 99999 atoms (written anyway)
  QvWriteStreamFailed = 13,    // the output had failed before writing
  QvWriteNotWritable = 14,     // no writer for the stream's format
  QvWriteNoConformers = 15,    // a multi-conformer molecule without conformers
  QvWriteDataChanged = 16,     // SDF: a data value had to be changed
  QvWriteFailed = 17,          // the PDB writer failed
};

// Writes one molecule in the stream's format; a QvWriteStatus.
int QvWriteMolecule(qvmolostream& out, const QvMolBase& mol);
// Every conformer: as one record where the format has multi-conformer
// records, else one molecule per conformer, stopping at the first failure.
int QvWriteMolecule(qvmolostream& out, QvMCMolBase& mol);
int QvWriteConstMolecule(qvmolostream& out, const QvMCMolBase& mol);

}  // namespace Tamrin
