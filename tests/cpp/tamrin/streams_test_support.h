// Shared by the molecule-stream tests: a trivial line-based test format that
// plugs into the stream dispatch, guards that swap registrations in and put
// the previous ones back, files in a scratch directory, and gzip done with
// zlib directly (so that the streams' own gzip is checked against it).
#pragma once

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "support/scratch_dir.h"
#include "tamrin/model/model.h"
#include "tamrin/streams/formatinfo.h"
#include "tamrin/streams/molio.h"
#include "tamrin/streams/molstream.h"

namespace streamtest {

using Tamrin::QvFormat;

// ---- the line format ----
//
// One record per line: "<title> <atoms>" is a molecule of that many carbon
// atoms (0 makes an empty molecule); a line starting with '!' is a record
// that fails, after adding the given number of atoms. The options the
// dispatch passed are kept in last_options.

inline std::atomic<unsigned> last_options{0};
inline std::atomic<int> reads{0};

inline bool ReadLine(Tamrin::qvmolistream& in, Tamrin::QvMolBase& mol, unsigned options) {
  ++reads;
  last_options = options;
  std::string line;
  if (!in.GetLine(line)) return false;
  const bool bad = line.starts_with('!');
  const std::size_t blank = line.rfind(' ');
  const std::string title = line.substr(bad ? 1 : 0, blank == std::string::npos ? std::string::npos : blank - (bad ? 1 : 0));
  unsigned atoms = 0;
  if (blank != std::string::npos) std::from_chars(line.data() + blank + 1, line.data() + line.size(), atoms);
  mol.SetTitle(title);
  for (unsigned i = 0; i < atoms; ++i) mol.NewAtom(6);
  return !bad;
}

// "<title> <atoms>\n"; status 0.
inline int WriteLine(Tamrin::qvmolostream& out, const Tamrin::QvMolBase& mol, unsigned options) {
  last_options = options;
  out.GetStream() << mol.GetTitle() << ' ' << mol.NumAtoms() << '\n';
  return 0;
}

// A reader that fails without touching the input.
inline bool ReadNothing(Tamrin::qvmolistream&, Tamrin::QvMolBase&, unsigned) {
  ++reads;
  return false;
}

// `record` in place of the record of its code while it lives.
class Replaced {
 public:
  explicit Replaced(const Tamrin::QvFormatInfo& record)
      : record_(record), previous_(&Tamrin::QvReplaceFormatInfo(record_)) {}
  ~Replaced() { Tamrin::QvReplaceFormatInfo(*previous_); }
  Replaced(const Replaced&) = delete;
  Replaced& operator=(const Replaced&) = delete;

 private:
  Tamrin::QvFormatInfo record_;
  const Tamrin::QvFormatInfo* previous_;
};

inline Tamrin::QvFormatInfo WithFunctions(QvFormat format, Tamrin::QvMolReadFxn read, Tamrin::QvMolWriteFxn write) {
  Tamrin::QvFormatInfo record = Tamrin::QvGetFormatInfo(format);
  record.read = read;
  record.write = write;
  return record;
}

// The record of `format` with `read` and `write` in place of its own.
struct Registered : Replaced {
  explicit Registered(QvFormat format, Tamrin::QvMolReadFxn read = ReadLine, Tamrin::QvMolWriteFxn write = WriteLine)
      : Replaced(WithFunctions(format, read, write)) {
    reads = 0;
  }
};

// Nothing registered for `format` while it lives.
struct Unregistered : Registered {
  explicit Unregistered(QvFormat format) : Registered(format, nullptr, nullptr) {}
};

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

inline std::string Gzip(std::string_view text) {
  z_stream zs{};
  deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&zs, static_cast<uLong>(text.size())) + 32, '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  zs.avail_in = static_cast<uInt>(text.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  deflate(&zs, Z_FINISH);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}

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
