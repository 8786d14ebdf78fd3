// Configuration records of the Tamrin handler, passed to it inside a
// std::any; empty means the stream's own choices.
#pragma once

namespace velk {

namespace tamrin {

// Forces a format and an input flavor on a reader. Zero keeps what the stream
// chose from the file name; a zero iflavor_format means the stream's format.
struct ReaderConfig {
  unsigned format = 0;
  unsigned iflavor_format = 0;
  unsigned iflavor = 0;
  unsigned num_threads = 0;  // carried for callers; reading runs on the caller's thread
};

struct WriterConfig {
  unsigned format = 0;
  unsigned oflavor_format = 0;
  unsigned oflavor = 0;
  unsigned num_threads = 0;
};

}  // namespace tamrin

}  // namespace velk
