// XYZ through the molecule streams: QvReadMolecule's skipping of bad and
// empty records, real files and the output flavors. (What the writer writes
// is checked against printf, what the reader reads against strtod.)
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "format_test_support.h"
#include "xyz_test_support.h"

namespace {

using Tamrin::QvFormat;
using Tamrin::QvGraphMol;
using Tamrin::qvmolistream;
using formattest::ReadAll;
using formattest::ReadResult;
using formattest::Titles;
using Strings = std::vector<std::string>;

const std::string kCutShort = "The data end inside a record in XYZ format.";

}  // namespace
