// CSV: one molecule per row. Column 0 is the SMILES, column 1 the title and
// every further column an SD data item named by the column header, which the
// first row of a file supplies (or which is made up when that row is data).
// A value of several lines travels as its lines joined with '|'.
//
// Reading and writing normally go through QvReadMolecule and QvWriteMolecule
// (the format's record is in csvformat.cpp); the functions here are the
// record reader and writer behind them and the line syntax they share with
// the tokenizer.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace Tamrin {

class QvMolBase;
class qvmolistream;
class qvmolostream;

// The flavor bit of both directions: header detection on input, a header
// line on output.
namespace QvIFlavor::CSV {
inline constexpr unsigned Header = 0x1;
}
namespace QvOFlavor::CSV {
inline constexpr unsigned Header = 0x1;
}

// Reads the next row into `mol` (cleared by the caller). The first read of
// a stream establishes its column header. False at the end of input, for a
// row whose SMILES does not parse, and for one whose SMILES field carries
// extra text (the molecule is filled all the same).
bool QvCSVReadFxn(qvmolistream& in, QvMolBase& mol, unsigned flavor);

// Whether a read since `in` was opened passed over a row whose SMILES did
// not parse: the row after it is then that read's, so a reader handing rows
// out one at a time must hand that one over with it.
bool QvCSVPassedOverRow(qvmolistream& in);

// Writes one row; the first write of a stream fixes the column header from
// this molecule (and writes it with QvOFlavor::CSV::Header).
void QvCSVWriteFxn(qvmolostream& out, const QvMolBase& mol, unsigned flavor);

namespace QvCSV {

// How far a quoted field may run over line ends before its opening quote is
// taken for a stray one; the limit Python's csv module puts on a field.
inline constexpr std::size_t kMaxQuotedSpan = 128 * 1024;

// True when `line`, begun inside a quoted field when `in_quotes`, ends
// inside one, so the row goes on with the next line.
bool EndsInQuotes(std::string_view line, bool in_quotes);

// Cuts a row into fields at commas and returns their number; `fields` keeps
// its strings (and their capacity) beyond that number. A double quote opens
// a quoted field only at the start of a field; inside one a doubled quote
// stands for one and commas and line ends are text; text after the closing
// quote is kept as it stands. `quotes` false takes every quote as text.
std::size_t SplitRow(std::string_view row, std::vector<std::string>& fields, bool quotes = true);

// Appends a field under the writing rule: quoted, with its quotes doubled,
// when it holds a comma or begins with a quote.
void AppendField(std::string& out, std::string_view field);

// A field of '|'-separated lines into the lines joined with '\n'; a piece
// that begins with an apostrophe runs to the next single apostrophe, a
// doubled one standing for one. False, with `out` unspecified, when such a
// piece is not closed or is followed by more than a bar.
bool SplitBars(std::string_view field, std::string& out);

// Whether `field` needs SplitBars at all.
inline bool HasBars(std::string_view field) {
  return !field.empty() && (field.front() == '\'' || field.find('|') != std::string_view::npos);
}

// The inverse: `value`'s lines joined with bars, each line that holds a bar
// or begins with an apostrophe in apostrophes.
void JoinLines(std::string_view value, std::string& out);

// A row whose second field starts with a "|...|" token carries a CXSMILES
// block there, which must not be cut at its bars.
bool IsCXSmilesField(std::string_view field);

}  // namespace QvCSV

}  // namespace Tamrin
