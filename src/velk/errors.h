// The module core's exceptions. Every message the core composes begins with
// "velk: "; the Python binding maps the three classes to the exception classes
// that the Python package installs.
#pragma once

#include <stdexcept>
#include <string>

namespace velk {

class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& message) : std::runtime_error(message) {}
  explicit Error(const char* message) : std::runtime_error(message) {}
};

// A file that cannot be opened, or a reader or writer that could not be made for it.
class FileError : public Error {
 public:
  using Error::Error;
};

// An unknown or unsupported format, a missing capability, or uninterpretable input.
class FormatError : public Error {
 public:
  using Error::Error;
};

}  // namespace velk
