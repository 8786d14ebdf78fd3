#pragma once
// Streams layered on another stream that they do not own; the other stream
// must outlive them. They are the bases of the gzip streams.
#include "pellar/qvstream.h"

namespace Pellar {

class qviwrapperstream : public qvistream {
 public:
  explicit qviwrapperstream(qvistream& source);
  ~qviwrapperstream() override;
  // Stops reading; the source stays open.
  void close() override;
  bool refill() override;

 protected:
  qvistream& source() { return *source_; }

 private:
  qvistream* source_;
};

class qvowrapperstream : public qvostream {
 public:
  explicit qvowrapperstream(qvostream& target);
  ~qvowrapperstream() override;
  // Flushes and refuses further writes; the target stays open.
  void close() override;
  // Writes the buffered bytes to the target and flushes the target.
  bool flush() override;

 protected:
  qvostream& target() { return *target_; }

 private:
  qvostream* target_;
};

}  // namespace Pellar
