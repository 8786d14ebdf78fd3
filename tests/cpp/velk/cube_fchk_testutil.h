// Shared pieces of the CUBE and FCHK tests: a fresh temporary folder per
// test, whole-file helpers, the real-file folder, and a check for a thrown
// error of one class with one exact message.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "tamrin/model/graphmol.h"
#include "velk/errors.h"

namespace cubefchk_test {

// Made fresh for each instance and removed with it.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "nimbrel-cube-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

inline void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary);
  out << content;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The folder of real files from other programs, or "" when this checkout has none.
inline std::string TestDataDir(const std::string& sub) {
  const std::filesystem::path dir = std::filesystem::path(NIMBREL_SOURCE_DIR) / ".." / "shared" / "testdata" / sub;
  return std::filesystem::is_directory(dir) ? dir.string() : std::string();
}

// The first atom of a molecule, or null.
inline const Tamrin::QvAtomBase* FirstAtom(const Tamrin::QvGraphMol& mol) {
  for (const Tamrin::QvAtomBase& atom : mol.GetAtoms()) return &atom;
  return nullptr;
}

// Runs `call` and checks that it throws an E carrying exactly `message`.
template <class E>
::testing::AssertionResult ThrowsWith(const std::function<void()>& call, const std::string& message) {
  try {
    call();
  } catch (const E& e) {
    if (message != e.what()) {
      return ::testing::AssertionFailure() << "message \"" << e.what() << "\", expected \"" << message << "\"";
    }
    return ::testing::AssertionSuccess();
  } catch (const std::exception& e) {
    return ::testing::AssertionFailure() << "other exception: " << e.what();
  }
  return ::testing::AssertionFailure() << "nothing thrown, expected \"" << message << "\"";
}

}  // namespace cubefchk_test
