// How format modules plug into the molecule streams.
//
// The streams never include a format's headers. Each format folder registers
// its record reader, writer and tokenizer here, once, from a static
// initialiser:
//
//   static const Tamrin::QvFormatRegistration registration(
//       {Tamrin::QvFormat::SDF, Tamrin::QvFormat::MDL}, ReadMDL, WriteMDL);
//
// QvReadMolecule and QvWriteMolecule then dispatch on the stream's format.
// A format with nothing registered answers as one that cannot be read or
// written: "File format not supported for reading." or "Format %s was not
// writable" (status 14), so a missing module is reported, never a crash.
//
// The table is filled during static initialisation and read afterwards;
// entries are atomic so that a late registration (a test swapping a reader
// in) is seen whole by other threads.
#pragma once

#include <initializer_list>
#include <memory>

#include "tamrin/streams/format.h"

namespace Tamrin {

class QvMCMolBase;
class QvMolBase;
class QvMolTokenizer;
class qvmolistream;
class qvmolostream;

// Reads the stream's next record into `mol` (cleared by the caller); false
// when the record could not be read. What `options` holds is decided per
// format by the dispatch: the stream's input flavor, or the part of it that
// the reader takes (PDB: the low byte; MOL2: 1 to keep hydrogens; MDL, SDF,
// RDF: 0; FASTA: bits 0x1 and 0x2). A reader should consume the bytes of a
// record it fails on: a failure that consumes nothing ends the read.
using QvMolReadFxn = bool (*)(qvmolistream& in, QvMolBase& mol, unsigned options);
// Writes one molecule and returns a QvWriteMolecule status (0 for success).
// `options` is the stream's output flavor or, for SMILES (the low 13 bits),
// XYZ (bits 0x1, 0x2 and 0x8) and MOPAC (bits 0x3), the part the writer takes.
using QvMolWriteFxn = int (*)(qvmolostream& out, const QvMolBase& mol, unsigned options);
// Formats whose records hold several conformers (QVB, QVZ, JSON) read and
// write multi-conformer molecules directly; the others go through the
// single-molecule functions one conformer at a time. A single-molecule
// reader of such a format splits a record of several conformers itself: it
// returns the first and queues the rest (qvmolistream::Enqueue). These
// readers report their own failure details (the binary record's return
// value) before returning false.
using QvMCMolReadFxn = bool (*)(qvmolistream& in, QvMCMolBase& mol, unsigned options);
using QvMCMolWriteFxn = int (*)(qvmolostream& out, const QvMCMolBase& mol, unsigned options);
// Makes a record tokenizer for a stream with the given input flavor.
using QvTokenizerFactory = std::unique_ptr<QvMolTokenizer> (*)(unsigned iflavor);

// Each returns the function registered before (null if none), so that a
// caller can put it back. Null unregisters. Out-of-range codes are ignored.
QvMolReadFxn QvRegisterMolReader(QvFormat format, QvMolReadFxn read);
QvMolWriteFxn QvRegisterMolWriter(QvFormat format, QvMolWriteFxn write);
QvTokenizerFactory QvRegisterTokenizer(QvFormat format, QvTokenizerFactory make);
QvMCMolReadFxn QvRegisterMCMolReader(QvFormat format, QvMCMolReadFxn read);
QvMCMolWriteFxn QvRegisterMCMolWriter(QvFormat format, QvMCMolWriteFxn write);

// What is registered now; null for nothing or an out-of-range code.
QvMolReadFxn QvGetMolReader(QvFormat format);
QvMolWriteFxn QvGetMolWriter(QvFormat format);
QvTokenizerFactory QvGetTokenizer(QvFormat format);
QvMCMolReadFxn QvGetMCMolReader(QvFormat format);
QvMCMolWriteFxn QvGetMCMolWriter(QvFormat format);

// One registration of a reader and a writer (either may be null) for one or
// more formats; meant for a static object in the format's folder.
struct QvFormatRegistration {
  QvFormatRegistration(std::initializer_list<QvFormat> formats, QvMolReadFxn read, QvMolWriteFxn write);
};

}  // namespace Tamrin
