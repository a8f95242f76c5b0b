// Test helper: output compared with a checked-in baseline file.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "support/packets.h"

namespace test_support {

// Compares `text` with tests/baselines/NAME.txt; with UPDATE_BASELINES set in
// the environment the file is rewritten first, to be reviewed as a diff.
inline void expect_baseline(const std::string& name, const std::string& text) {
  const std::string path = std::string(BASELINE_DIR) + "/" + name + ".txt";
  if (std::getenv("UPDATE_BASELINES")) std::ofstream(path, std::ios::binary) << text;
  EXPECT_EQ(text, read_file(path)) << "baseline " << path;
}

}  // namespace test_support
