// Record tokenizers: cut an input into raw records without parsing them, for
// indexing and random access. A format's record (formatinfo.h) names its
// tokenizer; the line tokenizer here serves the one-line-per-record formats.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "tamrin/streams/format.h"

namespace Pellar {
class qvistream;
}

namespace Tamrin {

class qvmolistream;

class QvMolTokenizer {
 public:
  virtual ~QvMolTokenizer();
  // Replaces `record` with the next record's bytes, line ends as '\n'; an
  // empty record and false when none is left.
  virtual bool Next(Pellar::qvistream& in, std::string& record) = 0;
};

// Appends a line and '\n' to a record being assembled. The buffer doubles
// whenever it runs low, so a large record costs a few copies, not one per
// line.
void QvAppendRecordLine(std::string& record, std::string_view line);

// One line per record (the SMILES formats).
class QvLineTokenizer : public QvMolTokenizer {
 public:
  bool Next(Pellar::qvistream& in, std::string& record) override;
};

// The tokenizer for a format, set up with its input flavor. A format whose
// record names none warns "Format (%d) does not have a valid tokenizer";
// UNDEFINED and out-of-range codes give null silently.
std::unique_ptr<QvMolTokenizer> QvCreateTokenizer(QvFormat format, unsigned iflavor);
// For the stream's current format and input flavor.
std::unique_ptr<QvMolTokenizer> QvCreateTokenizer(const qvmolistream& in);

}  // namespace Tamrin
