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
  // Worker threads that parse records while the caller's thread cuts the
  // input (capped at 64); 0 and 1 read on the caller's thread alone, as do
  // formats whose records do not stand alone.
  unsigned num_threads = 0;
};

struct WriterConfig {
  unsigned format = 0;
  unsigned oflavor_format = 0;
  unsigned oflavor = 0;
  unsigned num_threads = 0;  // carried for callers; writing runs on the caller's thread
};

}  // namespace tamrin

}  // namespace velk
