// Reads bytes through a memory molecule stream in one format, every record
// to the end, as a user's loop over a file would.
#pragma once

#include <string_view>

#include "tamrin/model/graphmol.h"
#include "tamrin/streams/molio.h"
#include "tamrin/streams/molstream.h"

inline void ReadAllRecords(std::string_view bytes, Tamrin::QvFormat format, unsigned flavor, bool gzip = false) {
  Tamrin::qvmolistream in;
  in.SetFormat(format);
  in.SetFlavor(format, flavor);
  in.SetGzip(gzip);
  if (!in.openstring(bytes)) return;
  Tamrin::QvGraphMol mol;
  while (Tamrin::QvReadMolecule(in, mol)) {
  }
}
