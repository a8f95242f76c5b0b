// The initialisation-file reader, rule by rule.
#include <gtest/gtest.h>
#include <utime.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "platform/profile.h"
#include "portable/settled_file.h"
#include "support/baseline.h"
#include "support/packets.h"

namespace {

using test_support::expect_baseline;
using test_support::TempDir;

// What the reader makes of every file of the corpus that the Windows tests
// compare with the system's profile functions (windows/ini-corpus/NAME.ini,
// queried by NAME.queries): for each query the string read (default "DEF",
// buffer 100) and the integer read (default 77), or with `keys`, the keys of
// each section queried.
std::string read_corpus(bool keys) {
  const std::filesystem::path corpus =
      std::filesystem::path(BASELINE_DIR) / "../windows/ini-corpus";
  std::set<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    if (entry.path().extension() == ".ini") files.insert(entry.path());
  }
  std::string out;
  for (std::filesystem::path file : files) {
    const platform::ProfileFile ini(file.string());
    out += "== " + file.stem().string() + "\n";
    std::istringstream queries(
        test_support::read_file(file.replace_extension(".queries").string()));
    std::set<std::string> listed;
    for (std::string line; std::getline(queries, line);) {
      const std::string section = line.substr(0, line.find('\t'));
      const std::string key = line.substr(section.size() + 1);
      if (!keys) {
        out += "[" + section + "] " + key + ": \"" + ini.read_string(section, key, "DEF", 100) +
               "\" " + std::to_string(ini.read_int(section, key, 77)) + "\n";
      } else if (listed.insert(section).second) {
        out += "[" + section + "]";
        for (const platform::ProfileKey& k : ini.keys(section)) {
          out +=
              " <" + std::string(k.name) + (k.has_value ? ">=<" + std::string(k.value) + ">" : ">");
        }
        out += "\n";
      }
    }
  }
  return out;
}

// Names without case, blanks, quotes, comments, duplicates, missing and empty
// values, line ends, byte-order marks and the integer rule, as the corpus
// has them.
TEST(Profile, TheCorpusReadsAsItsBaselineSays) {
  expect_baseline("profile_corpus", read_corpus(false));
}

// The keys of a section in file order, duplicates and keys without a value
// included.  (The system lists them otherwise; the Windows run leaves this out.)
TEST(Profile, KeysOfASectionInFileOrder) { expect_baseline("profile_keys", read_corpus(true)); }

// A last line without a line end counts; strings are cut to the buffer less one.
TEST(Profile, TheLastLineAndTheBuffer) {
  TempDir dir;
  dir.write("t.ini", "[s]\r\nname=ABC");
  const platform::ProfileFile ini(dir.file("t.ini"));
  EXPECT_EQ(ini.read_string("s", "name", "", 100), "ABC");
  EXPECT_EQ(ini.read_string("s", "name", "", 1), "");
  EXPECT_EQ(ini.read_string("s", "none", "0123456789", 5), "0123");
}

// The integer rule where the corpus has no case: control characters as
// blanks, and only the first 29 characters read.
TEST(ProfileInteger, BlanksAndTheCharactersRead) {
  EXPECT_EQ(portable::profile_integer("\x01\t7", 9), 7);
  EXPECT_EQ(portable::profile_integer("00000000000000000000000000001", 9), 1);
  EXPECT_EQ(portable::profile_integer("000000000000000000000000000001", 9), 0);
}

TEST(Profile, MissingOrDirectoryFilesReadAsEmptyAndSayWhy) {
  TempDir dir;
  std::filesystem::create_directory(dir.file("sub"));
  dir.write("empty.ini", "");
  for (const std::string name : {"none.ini", "sub", "empty.ini"}) {
    const platform::ProfileFile ini(dir.file(name));
    const bool empty = name == "empty.ini";
    EXPECT_EQ(ini.read_string("s", "a", "d", 10), "d") << name;
    EXPECT_EQ(ini.readable(), empty) << name;
    EXPECT_EQ(ini.read_error().empty(), empty) << name;
  }
}

// Saves t.ini in `dir` and waits until it counts as left alone.
void save(const TempDir& dir, const std::string& text) {
  dir.write("t.ini", text);
  std::this_thread::sleep_for(2 * portable::kSettleTime);
}

// Number as the reader takes it after a look at the file.
int refreshed(platform::ProfileFile& ini) {
  ini.refresh();
  return ini.read_int("s", "Number", 0);
}

// An edit in place is taken once the file has been left alone, never while
// it may still be in the middle of a save; meanwhile the contents last taken
// stay, under the same version.  (A file deleted or replaced by a directory:
// FeedcastFile.KeepsSendingTheLastTableWhileTheFileIsAway.)
TEST(Profile, AnEditIsTakenOnceTheFileIsLeftAlone) {
  TempDir dir;
  dir.write("t.ini", "[s]\nNumber=1\n");
  platform::ProfileFile ini(dir.file("t.ini"));
  const std::uint64_t first = ini.version();
  dir.write("t.ini", "[s]\nNumber=");  // a save half done
  EXPECT_EQ(refreshed(ini), 1);
  EXPECT_EQ(ini.version(), first);
  for (int value = 2; value <= 4; ++value) {
    save(dir, "[s]\nNumber=" + std::to_string(value) + "\n");
    EXPECT_EQ(refreshed(ini), value);
  }
  const std::uint64_t taken = ini.version();
  EXPECT_NE(taken, first);
  ini.refresh();  // unchanged: nothing taken
  EXPECT_EQ(ini.version(), taken);
}

TEST(Profile, ASettledFileIsStillReReadWhenItChanges) {
  TempDir dir;
  dir.write("t.ini", "[s]\nNumber=1\n");
  utimbuf old{};
  old.actime = old.modtime = std::time(nullptr) - 3600;
  utime(dir.file("t.ini").c_str(), &old);
  // Past the time-stamp slack, the reader trusts the stamps it saw.
  std::this_thread::sleep_for(std::chrono::milliseconds(2100));
  platform::ProfileFile ini(dir.file("t.ini"));
  EXPECT_EQ(refreshed(ini), 1);
  dir.write("t.ini", "[s]\nNumber=2\n");
  utime(dir.file("t.ini").c_str(), &old);  // only the change time moves
  std::this_thread::sleep_for(2 * portable::kSettleTime);
  EXPECT_EQ(refreshed(ini), 2);
}

TEST(Profile, NamesIgnoreAsciiCaseOnly) {
  EXPECT_TRUE(portable::same_name("SkillsetID10", "skillsetid10"));
  EXPECT_FALSE(portable::same_name("SkillsetID1", "SkillsetID10"));
  EXPECT_FALSE(portable::same_name("a_", "A\x7F"));
}

}  // namespace
