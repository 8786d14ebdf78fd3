// Record tokenizers: cut an input into raw records without parsing them, for
// indexing and random access. Each format that has one registers a factory
// (tamrin/streams/formatio.h); line-per-record formats and SDF are built in.
#pragma once

#include <memory>
#include <string>

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

// One line per record (the SMILES formats).
class QvLineTokenizer : public QvMolTokenizer {
 public:
  bool Next(Pellar::qvistream& in, std::string& record) override;
};

// An SD record ends after a line starting "$$$$", or after a line starting
// "M  END" that is the last line or is not followed by a line starting '$'
// or '>' (a molfile without data items).
class QvSDFTokenizer : public QvMolTokenizer {
 public:
  bool Next(Pellar::qvistream& in, std::string& record) override;
};

// The tokenizer for a format, set up with its input flavor. Formats without
// one (MDL, MF, FASTA, MOPAC, SLN, RDF, SKC, INCHIKEY, and any whose module
// has registered none) warn "Format (%d) does not have a valid tokenizer";
// UNDEFINED and out-of-range codes give null silently.
std::unique_ptr<QvMolTokenizer> QvCreateTokenizer(QvFormat format, unsigned iflavor);
// For the stream's current format and input flavor.
std::unique_ptr<QvMolTokenizer> QvCreateTokenizer(const qvmolistream& in);

}  // namespace Tamrin
