// feedcast --check: the table of broken files (tests/check-files/), each
// with what the check prints, its refusal and its status, compared with a
// baseline; and every sample file of examples/, which must all be clean.
// Run with UPDATE_BASELINES=1 to rewrite the baseline after a deliberate change.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "feedcast/check.h"
#include "support/baseline.h"
#include "support/packets.h"

namespace {

// The check of a copy of `file` named after it in a folder of its own, with
// the copy's path written as the file's name.
std::string checked(const std::filesystem::path& file) {
  test_support::TempDir dir;
  const std::string name = file.filename().string();
  dir.write(name, test_support::read_file(file.string()));
  platform::ProfileFile ini(dir.file(name));
  const feedcast::CheckReport report = feedcast::check_configuration(ini, 1607198400);
  std::string text = report.text;
  for (std::size_t at = 0; (at = text.find(ini.path(), at)) != std::string::npos;) {
    text.replace(at, ini.path().size(), name);
  }
  if (report.refusal) text += "Error: " + *report.refusal + "\n";
  return text + "status " + std::to_string(report.status()) + "\n";
}

// The files of a folder whose names end in `extension`, in name order.
std::set<std::filesystem::path> files_in(const char* folder, const std::string& extension) {
  std::set<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() == extension) files.insert(entry.path());
  }
  return files;
}

TEST(Check, EachBrokenFileAsTheBaselineSays) {
  std::string all;
  for (const auto& file : files_in(CHECK_FILES_DIR, ".ini")) {
    all += "== " + file.filename().string() + "\n" + checked(file);
  }
  test_support::expect_baseline("check_files", all);
}

TEST(Check, EverySampleFileIsClean) {
  for (const auto& file : files_in(EXAMPLES_DIR, ".ini")) {
    if (file.filename() == "feedwatch.ini") continue;
    const std::string text = checked(file);
    EXPECT_TRUE(text.ends_with("status 0\n")) << text;
  }
}

}  // namespace
