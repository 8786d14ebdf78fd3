// Real files of the shared test data, which lies beside the checkout.
#pragma once

#include <filesystem>
#include <string_view>

inline std::filesystem::path SharedTestData(std::string_view relative) {
  return std::filesystem::path(NIMBREL_SOURCE_DIR) / ".." / "shared" / "testdata" / relative;
}

// The 100,000 drug-like molecules as SMILES, gzip-compressed.
inline std::filesystem::path DrugLikeSmiles() { return SharedTestData("large/patwalters_set_A_100k.smi.gz"); }
