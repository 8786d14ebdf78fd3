// What a format handler tells the registry and Python about itself. The four
// flags are descriptive only: nothing in the core acts on them.
#pragma once

#include <string>
#include <vector>

namespace velk {

struct FormatInfo {
  std::string name;                     // display name used in messages ("CUBE")
  std::vector<std::string> extensions;  // suffixes with their leading dot; ".sdf.gz" is compound
  std::string description;
  bool supports_read = true;
  bool supports_write = true;
  bool supports_threaded_read = false;
  bool supports_threaded_write = false;
};

}  // namespace velk
