// What the molecule streams know about each file format, in one record per
// format code.
//
// Each record is declared in its format's folder (tamrin/formats/<family>/),
// next to the reader and writer it names, and the streams gather them from
// one list (QvFormatList, tamrin/formats/formatlist.cpp). A format that is
// listed but not built yet has a record with the table facts (description,
// extensions, directions, flavors, post-read steps) and null functions: it
// then answers as one that cannot be read or written ("File format not
// supported for reading.", or "Format %s was not writable" with status 14).
#pragma once

#include <memory>
#include <span>
#include <string_view>

#include "tamrin/streams/format.h"

namespace Tamrin {

class QvMCMolBase;
class QvMolBase;
class QvMolStreamBinaryState;
class QvMolTokenizer;
class qvmolistream;
class qvmolostream;

// Reads the stream's next record into `mol` (cleared by the caller); false
// when the record could not be read. `options` is the record's
// reader_options of the stream's input flavor. A reader should consume the
// bytes of a record it fails on: a failure that consumes nothing ends the
// read.
using QvMolReadFxn = bool (*)(qvmolistream& in, QvMolBase& mol, unsigned options);
// Writes one molecule and returns a QvWriteMolecule status (0 for success);
// `options` is the record's writer_options of the stream's output flavor.
using QvMolWriteFxn = int (*)(qvmolostream& out, const QvMolBase& mol, unsigned options);
// Formats whose records hold several conformers read and write
// multi-conformer molecules directly, with the whole flavor; a
// single-molecule reader of such a format returns the first conformer and
// queues the rest (qvmolistream::Enqueue). These readers report their own
// failure details before returning false.
using QvMCMolReadFxn = bool (*)(qvmolistream& in, QvMCMolBase& mol, unsigned flavor);
using QvMCMolWriteFxn = int (*)(qvmolostream& out, const QvMCMolBase& mol, unsigned flavor);
// Makes a record tokenizer for a stream with the given input flavor.
using QvTokenizerFactory = std::unique_ptr<QvMolTokenizer> (*)(unsigned iflavor);
// What the binary record formats keep on a stream between records.
using QvBinaryStateFactory = std::unique_ptr<QvMolStreamBinaryState> (*)();

// A perception pass that reading runs after a record when the input flavor
// has `bit` set; a null pass (one not written yet) is skipped.
struct QvPostReadStep {
  unsigned bit;
  void (*pass)(QvMolBase& mol);
};

struct QvFormatInfo {
  QvFormat code = QvFormat::UNDEFINED;
  const char* description = "";
  // Lower case, blank-separated; "pdb#" stands for "pdb" followed by one or
  // more decimal digits.
  std::string_view extensions = {};
  bool readable = false;
  bool writable = false;
  unsigned default_iflavor = 0x4000;
  unsigned default_oflavor = 0x4000;
  // The valid format parts of an input flavor (its bits 0x3FFF), and the
  // valid output words (bit 0x4000 removed); the generic rule of one
  // aromaticity model at most is checked before either. Null: none.
  bool (*iflavor_valid)(unsigned part) = nullptr;
  bool (*oflavor_valid)(unsigned word) = nullptr;
  // For output words that are refused with a message of their own: that
  // message, or null for words it does not refuse.
  const char* (*oflavor_refusal)(unsigned flavor) = nullptr;

  QvMolReadFxn read = nullptr;
  QvMolWriteFxn write = nullptr;
  // Set for formats whose records hold conformers; null there means the
  // format is not built yet.
  bool conformer_records = false;
  QvMCMolReadFxn read_conformers = nullptr;
  QvMCMolWriteFxn write_conformers = nullptr;
  // The part of the stream's flavor that the reader and writer take; null
  // passes the whole flavor.
  unsigned (*reader_options)(unsigned iflavor) = nullptr;
  unsigned (*writer_options)(unsigned oflavor) = nullptr;
  // Null: "Format (%d) does not have a valid tokenizer".
  QvTokenizerFactory tokenizer = nullptr;

  // After each record the reader returns: the steps whose bits the input
  // flavor has, in this order, then `after_read` with the input flavor.
  std::span<const QvPostReadStep> steps = {};
  void (*after_read)(qvmolistream& in, QvMolBase& mol, unsigned iflavor) = nullptr;
  // The generic part of the flavor (rings, aromaticity model) is not
  // applied: records keep theirs (binary) or the reader applies it (PDB).
  bool keeps_perception = false;
  // An input flavor bit under which a record without atoms is a molecule.
  unsigned keep_empty_bit = 0;
  // Lines after the last record that give no atoms end the input; they are
  // not a record cut short (PDB: CONECT, MASTER and END after the models).
  bool atomless_tail_ends_input = false;
  // Consecutive records may be conformers of one molecule (read into a
  // multi-conformer molecule under a conformer test).
  bool combines_conformers = false;
  // Writing more atoms than this gives status 12 (after writing); 0: no
  // limit.
  unsigned max_atoms = 0;
  // Made on a stream's first use of a binary record format.
  QvBinaryStateFactory binary_state = nullptr;
};

// Runs the steps whose bits `flavor` has, in order.
void QvRunPostReadSteps(QvMolBase& mol, unsigned flavor, std::span<const QvPostReadStep> steps);

// Every format's record; defined by the format folders.
std::span<const QvFormatInfo* const> QvFormatList();

// The record of a format code: the listed one, or, for UNDEFINED, a code
// missing from the list and codes of MAXFORMAT or more, a record that
// can be neither read nor written.
const QvFormatInfo& QvGetFormatInfo(QvFormat format);

// For tests that stand a format of their own in for a listed one: puts
// `info` (which must outlive its use) in place of the record of its code for
// the whole process and returns the record it replaced, which a second call
// puts back. Out-of-range codes change nothing.
const QvFormatInfo& QvReplaceFormatInfo(const QvFormatInfo& info);

}  // namespace Tamrin
