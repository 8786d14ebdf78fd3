// Shared by the molecule-stream tests: a toy format that stands in for a
// format not built yet, descriptors pointed at files, and gzip done with zlib
// directly (so that the streams' own gzip is checked against it).
#pragma once

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <charconv>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "pellar/qvstream.h"
#include "support/deflate.h"
#include "support/scratch_dir.h"
#include "tamrin/model/model.h"
#include "tamrin/streams/formatinfo.h"
#include "tamrin/streams/molio.h"
#include "tamrin/streams/molstream.h"
#include "tamrin/streams/tokenizer.h"

namespace streamtest {

using Tamrin::QvFormat;

// ---- the toy format ----
//
// All that adding a format takes: a reader, a writer and one record. One
// molecule per line, "<title> <atoms>": that many carbon atoms (0 makes an
// empty molecule); a line starting with '!' is a record that fails after
// adding its atoms. The reader keeps the options it was given.

inline std::atomic<unsigned> last_options{0};

inline bool ReadToy(Tamrin::qvmolistream& in, Tamrin::QvMolBase& mol, unsigned options) {
  last_options = options;
  std::string line;
  if (!in.GetLine(line)) return false;
  const bool bad = line.starts_with('!');
  const std::size_t blank = line.rfind(' ');
  const std::size_t begin = bad ? 1 : 0;
  mol.SetTitle(line.substr(begin, blank == std::string::npos ? std::string::npos : blank - begin));
  unsigned atoms = 0;
  if (blank != std::string::npos) std::from_chars(line.data() + blank + 1, line.data() + line.size(), atoms);
  for (unsigned i = 0; i < atoms; ++i) mol.NewAtom(6);
  return !bad;
}

inline int WriteToy(Tamrin::qvmolostream& out, const Tamrin::QvMolBase& mol, unsigned options) {
  last_options = options;
  out.GetStream() << mol.GetTitle() << ' ' << mol.NumAtoms() << '\n';
  return 0;
}

inline bool ToyFlavor(unsigned part) { return part <= 0xFF; }
inline bool AnyFlavor(unsigned) { return true; }
inline std::unique_ptr<Tamrin::QvMolTokenizer> ToyTokenizer(unsigned) {
  return std::make_unique<Tamrin::QvLineTokenizer>();
}

// The code of a format that is registered but never read or written (no
// public description of it exists), which the toy takes over.
inline constexpr QvFormat kToy = QvFormat::SKC;

inline constexpr Tamrin::QvFormatInfo kToyRecord{.code = kToy,
                                                 .description = "Toy",
                                                 .extensions = "toy",
                                                 .readable = true,
                                                 .writable = true,
                                                 .iflavor_valid = ToyFlavor,
                                                 .oflavor_valid = AnyFlavor,
                                                 .read = ReadToy,
                                                 .write = WriteToy,
                                                 .tokenizer = ToyTokenizer};

// `record` in place of the listed record of its code while it lives.
class Replaced {
 public:
  explicit Replaced(const Tamrin::QvFormatInfo& record = kToyRecord)
      : record_(record), previous_(&Tamrin::QvReplaceFormatInfo(record_)) {}
  ~Replaced() { Tamrin::QvReplaceFormatInfo(*previous_); }
  Replaced(const Replaced&) = delete;
  Replaced& operator=(const Replaced&) = delete;

 private:
  Tamrin::QvFormatInfo record_;
  const Tamrin::QvFormatInfo* previous_;
};

// An input stream over a copy of `text` in `format`, with `flavor` unless 0.
inline std::unique_ptr<Tamrin::qvmolistream> Input(QvFormat format, std::string_view text, unsigned flavor = 0) {
  auto in = std::make_unique<Tamrin::qvmolistream>();
  if (!in->SetFormat(format) || (flavor && !in->SetFlavor(format, flavor)) || !in->openstring(text))
    throw std::runtime_error("cannot open the input");
  return in;
}

// A molecule of `atoms` carbons.
inline Tamrin::QvGraphMol Carbons(const char* title, unsigned atoms) {
  Tamrin::QvGraphMol mol;
  mol.SetTitle(title);
  for (unsigned i = 0; i < atoms; ++i) mol.NewAtom(6);
  return mol;
}

// ---- files ----

// Points a descriptor (0, 1, 2) at a file while it lives.
class Redirect {
 public:
  Redirect(int fd, const std::string& path, int flags) : fd_(fd), saved_(dup(fd)) {
    const int file = ::open(path.c_str(), flags, 0644);
    dup2(file, fd);
    ::close(file);
  }
  ~Redirect() {
    dup2(saved_, fd_);
    ::close(saved_);
  }
  Redirect(const Redirect&) = delete;
  Redirect& operator=(const Redirect&) = delete;

 private:
  int fd_;
  int saved_;
};

// ---- gzip through zlib ----

inline std::string Gzip(std::string_view text) { return Deflate(text, 16 + MAX_WBITS); }

// The inflated text; throws unless `bytes` is exactly one complete member.
inline std::string Gunzip(std::string_view bytes) {
  z_stream zs{};
  inflateInit2(&zs, 16 + MAX_WBITS);
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  zs.avail_in = static_cast<uInt>(bytes.size());
  std::string out;
  char block[4096];
  int rc = Z_OK;
  while (rc == Z_OK) {
    zs.next_out = reinterpret_cast<Bytef*>(block);
    zs.avail_out = sizeof block;
    rc = inflate(&zs, Z_NO_FLUSH);
    out.append(block, sizeof block - zs.avail_out);
    if (rc == Z_BUF_ERROR) break;
  }
  const bool whole = rc == Z_STREAM_END && zs.avail_in == 0;
  inflateEnd(&zs);
  if (!whole) throw std::runtime_error("not one complete gzip member");
  return out;
}

}  // namespace streamtest
