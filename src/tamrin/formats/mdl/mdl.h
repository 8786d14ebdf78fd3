// MDL connection tables: molfiles (V2000 and V3000), SD files (a molfile
// followed by data items and "$$$$" per record) and the molecule records of
// RD files.
//
// Reading and writing normally go through QvReadMolecule and QvWriteMolecule
// (formats MDL, SDF and RDF, whose records are in mdlformat.cpp); the
// functions here are the record functions behind them.
#pragma once

namespace Tamrin {

class QvMolBase;
class qvmolistream;
class qvmolostream;

// Reads one record into `mol` (cleared by the caller); true when a
// connection table was read. The stream's format decides the data-item
// rules (MDL or SDF) and the recovery after a damaged record: for SDF the
// rest of the record is skipped up to and including its "$$$$" line, for
// MDL and RDF reading resumes at the line where the fault was found. The
// stream's input flavor for its format selects the stereo options (bit 0x1
// is handed to the wedge pass, bit 0x8 asks for MDL stereo groups).
// `options` is reserved and 0 when called through QvReadMolecule.
// Problems are warnings through the toolkit's error handler.
bool ReadMDLRecord(qvmolistream& in, QvMolBase& mol, unsigned options);

void WriteMDLRecord(qvmolostream& out, const QvMolBase& mol, unsigned oflavor);

// SD data items and "$$$$"; returns the QvWriteMolecule status (0, or 16 when a value was changed)
int WriteSDData(qvmolostream& out, const QvMolBase& mol);

}  // namespace Tamrin
