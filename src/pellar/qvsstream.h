#pragma once
// In-memory byte streams: reading an owned copy of a byte string, and writing
// into a growing one.
#include <cstddef>
#include <string>
#include <string_view>

#include "pellar/qvstream.h"

namespace Pellar {

class qvisstream : public qvistream {
 public:
  qvisstream();
  qvisstream(const void* data, std::size_t n);
  ~qvisstream() override;
  bool seek(std::int64_t pos) override;
  std::int64_t size() override;
  void close() override;
  bool refill() override;

  // Replaces the contents with a copy of the bytes and rewinds. No bytes is
  // a failure that leaves the stream at end of data.
  bool load(const void* data, std::size_t n);
  bool load(std::string_view data) { return load(data.data(), data.size()); }
  // Reads `data` where it lies, without a copy, from the start: the bytes
  // must outlive the reading.
  void view(std::string_view data);

 private:
  std::string copy_;       // the bytes load() took
  std::string_view data_;  // what is read: copy_, or bytes given to view()
};

class qvosstream : public qvostream {
 public:
  qvosstream();
  ~qvosstream() override;
  // Appends the buffered bytes to the string.
  bool flush() override;
  // Flushes and refuses further writes; the contents stay available.
  void close() override;
  // Everything written so far.
  virtual std::string str();

  // Empties the contents and makes the stream writable again.
  void clear();

 private:
  std::string data_;
};

}  // namespace Pellar
