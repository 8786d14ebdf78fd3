// Molecule streams: where molecules are read from and written to.
//
// A molecule stream knows its format (QvFormat), one flavor word per format,
// whether the bytes are gzip-compressed, and the byte stream it uses: a file,
// standard input or output, memory (openstring) or a caller's stream, with a
// gzip layer on top when asked. QvReadMolecule and QvWriteMolecule
// (tamrin/streams/molio.h) do the reading and writing.
//
// Nothing here throws for bad names or data: problems are warnings through
// the toolkit's error handler and false results, and the stream stays usable.
// The one exception is Pellar::QvIOError from finishing a gzip member whose
// output failed (close, open, openstring, GetString on an output stream);
// the output stream's destructor catches it and prints it.
//
// A stream is used by one thread at a time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tamrin/streams/flavor.h"
#include "tamrin/streams/format.h"

namespace Pellar {
class qvistream;
class qvostream;
class qvifstream;
class qvofstream;
class qvisstream;
class qvosstream;
class qvigzstream;
class qvogzstream;
}  // namespace Pellar

namespace Tamrin {

class QvConfTestBase;
class QvMolBase;

// What the binary record formats (QVB, QVZ) keep on a stream between
// records; their format records say how to make it.
class QvMolStreamBinaryState {
 public:
  virtual ~QvMolStreamBinaryState();
};

// What a text format's reader keeps between the records of one input (JSON:
// the text read ahead, and how far its documents have been read).
class QvMolStreamReaderState {
 public:
  virtual ~QvMolStreamReaderState() = default;
};

// Scratch that record readers and writers keep per opened input or output;
// every open, openstring and close discards it.
struct QvMolStreamCache {
  // CSV column names, shared by all records of one file.
  std::vector<std::string> columns;
  // A line handed back by a reader, returned by the next GetLine, and the
  // copy that GetLine then hands out.
  std::optional<std::string> pushed_line;
  std::string served_line;
  std::unique_ptr<QvMolStreamReaderState> reader_state;
};

class qvmolstreambase {
 public:
  qvmolstreambase(const qvmolstreambase&) = delete;
  qvmolstreambase& operator=(const qvmolstreambase&) = delete;

  // Null, "-" or a bare extension (".sdf", ".sdf.gz") means the standard
  // stream; otherwise a file whose extension sets the format and whose
  // ".gz" suffix switches gzip on.
  virtual bool open(const char* name = nullptr) = 0;
  virtual ~qvmolstreambase();
  virtual bool SetFormat(QvFormat format) = 0;
  virtual bool SetFlavor(QvFormat format, unsigned flavor) = 0;
  virtual void close();

  bool open(const std::string& name) { return open(name.c_str()); }

  QvFormat GetFormat() const { return format_; }
  // Codes of MAXFORMAT or more warn "format (%d) is larger than
  // QvFormat::MAXFORMAT" and give 0.
  unsigned GetFlavor(QvFormat format) const;
  // The flavor of the current format.
  unsigned GetFlavor() const { return GetFlavor(format_); }
  bool GetGzip() const { return gzip_; }

  // Opening clears the name; callers that want it kept store it after a
  // successful open.
  const std::string& GetName() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }

  QvMolStreamCache& Cache();
  // The binary formats' state, made on first use and made anew when another
  // thread asks; null when the current format's record makes none.
  QvMolStreamBinaryState* BinaryState();

 protected:
  qvmolstreambase() = default;
  // What every open, openstring and close starts with.
  void Forget();
  void ResetBinaryState() { binary_.reset(); }
  bool HasPushedLine() const { return cache_ && cache_->pushed_line; }
  const std::string& PushedLine() const { return *cache_->pushed_line; }
  void StoreFlavor(QvFormat format, unsigned flavor) { flavors_[QvFormatCode(format)] = flavor; }

  QvFormat format_ = QvFormat::UNDEFINED;
  bool gzip_ = false;

 private:
  std::array<unsigned, kQvNumFormats> flavors_{};
  std::unique_ptr<QvMolStreamBinaryState> binary_;
  std::thread::id binary_thread_;
  std::unique_ptr<QvMolStreamCache> cache_;
  std::string name_;
};

class qvmolistream : public qvmolstreambase {
 public:
  // Open on standard input, format SMI, every readable format's flavor at
  // its default.
  qvmolistream();
  ~qvmolistream() override;

  using qvmolstreambase::open;
  bool open(const char* name = nullptr) override;
  // Reads from the caller's stream, which must outlive this use of it; the
  // gzip flag decides whether a gzip layer goes on top.
  bool openstream(Pellar::qvistream& in);
  // Reads a copy of the bytes (with a gzip layer when the gzip flag is set).
  // Format and flavors are left alone. No bytes: false without a warning.
  bool openstring(const void* data, std::size_t length);
  bool openstring(std::string_view data) { return openstring(data.data(), data.size()); }

  // Unreadable formats are refused with a warning; the format stays.
  bool SetFormat(QvFormat format) override;
  // Refused with a warning for an unreadable format or an invalid flavor.
  bool SetFlavor(QvFormat format, unsigned flavor) override;
  // Closes the inputs; standard input itself is never closed.
  void close() override;

  // Puts a gzip layer on the stream now in use, or takes it off.
  bool SetGzip(bool on);

  // Every byte consumed, end of data seen, and nothing queued or pushed back.
  bool at_end() const;

  // The byte stream that readers read.
  Pellar::qvistream& GetStream() { return *current_; }

  // One line under the toolkit's line rule, a pushed-back line first; the
  // view is valid until the next read from this stream.
  bool GetLine(std::string_view& line);
  // Same, copied (an empty string at the end).
  bool GetLine(std::string& line);
  // The first byte of the line GetLine gives next: '\n' for an empty line,
  // -1 at the end of data.
  int PeekLine();
  void PushBackLine(std::string line) { Cache().pushed_line = std::move(line); }
  // Bytes waiting in the push-back, its line end counted: it shrinks as a
  // reader takes pushed-back lines, where the byte stream does not move.
  std::size_t PushedBackSize() const { return HasPushedLine() ? PushedLine().size() + 1 : 0; }

  // Molecules read ahead (the conformers of one record read as separate
  // molecules) wait here with the stream position of their record.
  void Enqueue(std::unique_ptr<QvMolBase> mol, std::int64_t position);
  bool HasQueued() const { return !queue_.empty(); }
  // The oldest queued molecule; null when none.
  std::unique_ptr<QvMolBase> Dequeue(std::int64_t* position = nullptr);

  // Decides which consecutive records are conformers of one molecule when
  // reading into a multi-conformer molecule; null restores the default,
  // which combines nothing.
  void SetConfTest(std::unique_ptr<QvConfTestBase> test);
  const QvConfTestBase& GetConfTest() const { return *conf_test_; }
  bool CombinesConformers() const;

  // Records that failed to read since the stream was made.
  unsigned GetFailedCount() const { return failed_; }
  void CountFailedRecord() { ++failed_; }

  // Where the record being read starts, for telling a record cut short by
  // the end of the data from blank lines after the last one: QvReadMolecule
  // marks it before each reader runs, and a reader marks it again past lines
  // that belong to no record (a CSV header). With `binary` every byte is
  // content.
  void MarkRecordStart(bool binary = false);
  // Whether the reading since the mark took more than blank lines.
  bool ReadPastRecordStart();

  // For a stream that holds one record cut from a longer input: its end is
  // not the input's, so a record that fails there was bad, not cut short.
  // Opening anew clears it.
  void SetMoreFollows(bool more) { more_follows_ = more; }
  bool MoreFollows() const { return more_follows_; }

 private:
  struct Queued {
    std::unique_ptr<QvMolBase> mol;
    std::int64_t position;
  };

  void UseStandardInput();
  // Layers gzip on `base` or not; false only when a wanted layer could not
  // be made.
  bool Layer(bool on, Pellar::qvistream& base);
  void DropLayer();

  // The file stream is either owned_file_ or the process's standard input.
  Pellar::qvistream* file_;
  std::unique_ptr<Pellar::qvifstream> owned_file_;
  std::unique_ptr<Pellar::qvisstream> string_;
  std::unique_ptr<Pellar::qvigzstream> gz_;
  // The stream under the gzip layer, and the one reading uses.
  Pellar::qvistream* base_;
  Pellar::qvistream* current_;
  std::deque<Queued> queue_;
  std::unique_ptr<QvConfTestBase> conf_test_;
  unsigned failed_ = 0;
  std::int64_t blank_to_ = -1;
  bool more_follows_ = false;
};

class qvmolostream : public qvmolstreambase {
 public:
  // Open on standard output, format SMI, every writable format's flavor at
  // its default.
  qvmolostream();
  // Finishes the output; a QvIOError is printed on standard error.
  ~qvmolostream() override;

  using qvmolstreambase::open;
  // Creates or truncates the file.
  bool open(const char* name = nullptr) override;
  // Writes to the caller's stream, which must outlive this use of it.
  bool openstream(Pellar::qvostream& out);
  // Writes to memory from now on (gzip-compressed with `gzip`); GetString
  // returns what was written.
  bool openstring(bool gzip = false);
  // Everything written since openstring, as one complete gzip member when
  // compressed (which finishes the gzip layer).
  std::string GetString();

  bool SetFormat(QvFormat format) override;
  bool SetFlavor(QvFormat format, unsigned flavor) override;
  // Finishes gzip, closes an owned file, flushes standard output when
  // writing to it.
  void close() override;

  // The byte stream that writers write.
  Pellar::qvostream& GetStream() { return *current_; }
  // The errno of the first failure that lost output to the file opened by
  // name (see qvofstream::error), also after close; 0 otherwise.
  int GetFileError() const;

 private:
  void UseStandardOutput();
  bool Layer(bool on, Pellar::qvostream& base);
  // Writes the gzip trailer and drops the layer; throws QvIOError when the
  // member could not be completed.
  void FinishLayer();
  void Finish();

  Pellar::qvostream* file_;
  std::unique_ptr<Pellar::qvofstream> owned_file_;
  std::unique_ptr<Pellar::qvosstream> string_;
  std::unique_ptr<Pellar::qvogzstream> gz_;
  Pellar::qvostream* base_;
  Pellar::qvostream* current_;
};

}  // namespace Tamrin
