// Shared pieces of the CUBE and FCHK tests: the scratch folder and file
// helpers, the real-file folder, and a check for a thrown error of one class
// with one exact message.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/scratch_dir.h"
#include "support/shared_testdata.h"
#include "tamrin/model/graphmol.h"
#include "velk/errors.h"

namespace cubefchk_test {

using ::ReadFile;
using ::ScratchDir;
using ::WriteFile;

// One input that a reader must refuse, and the exact message it must give.
struct FailureCase {
  const char* name;
  std::string text;
  std::string message;
};

// Writes `text` to a file `name` of `dir` and returns the file's path.
inline std::string PutFile(const ScratchDir& dir, const std::string& name, const std::string& text) {
  const std::string path = dir.file(name);
  WriteFile(path, text);
  return path;
}

// The folder of real files from other programs, or "" when this checkout has none.
inline std::string TestDataDir(const std::string& sub) {
  const std::filesystem::path dir = SharedTestData(sub);
  return std::filesystem::is_directory(dir) ? dir.string() : std::string();
}

constexpr double kBohr = 0.52917721067;

// A molecule that refuses every new atom.
class RefusingMol : public Tamrin::QvMolBaseImpl {
 public:
  using Tamrin::QvMolBaseImpl::NewAtom;
  Tamrin::QvAtomBase* NewAtom(unsigned) override { return nullptr; }
};

// The atomic numbers of a molecule's atoms, in order.
inline std::vector<unsigned> Elements(const Tamrin::QvGraphMol& mol) {
  std::vector<unsigned> elements;
  for (const Tamrin::QvAtomBase& atom : mol.GetAtoms()) elements.push_back(atom.GetAtomicNum());
  return elements;
}

// FCHK header lines laid out as the format's writers do: label in columns
// 0-39, type code in column 43, the value or "N=" and the count after it.
inline std::string FchkScalar(const std::string& label, char type, const std::string& value) {
  std::string line = label;
  line.resize(40, ' ');
  return line + "   " + type + "     " + value + "\n";
}

inline std::string FchkArray(const std::string& label, char type, const std::string& count) {
  std::string line = label;
  line.resize(40, ' ');
  return line + "   " + type + "   N=" + std::string(12 - std::min<size_t>(12, count.size()), ' ') + count + "\n";
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
