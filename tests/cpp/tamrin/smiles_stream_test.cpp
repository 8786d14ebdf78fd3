// The SMILES formats in the molecule streams: SMI, USM, ISM, CAN and
// CXSMILES read line by line (titles, skipped lines, failed records, the
// flavor bits, the ring cis/trans clean-up) and written one line each.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "format_test_support.h"
#include "smiles_test_support.h"
#include "tamrin/perception/stereo.h"

namespace {

using formattest::ReadAll;
using formattest::Titles;
using Tamrin::QvFormat;
using Tamrin::QvGraphMol;
using Strings = std::vector<std::string>;

}  // namespace
