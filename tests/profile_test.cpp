// The initialisation-file reader, rule by rule.
#include <gtest/gtest.h>
#include <utime.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/profile.h"
#include "platform/settled_file.h"
#include "support/packets.h"

namespace {

using test_support::TempDir;

// Files and the strings read from them with default "DEF" and buffer 100.
TEST(Profile, StringReadsRuleByRule) {
  struct Read {
    const char* section;
    const char* key;
    const char* expected;
  };
  struct Case {
    const char* rule;
    const char* text;
    std::vector<Read> reads;
  };
  const Case cases[] = {
      {"names are compared without case", "[MCast]\nServerName=CC1\n[skillSET]\nnumber=3\n",
       {{"mcast", "SERVERNAME", "CC1"}, {"Skillset", "Number", "3"}}},
      {"blanks around names and values are ignored",
       "  [  MCast  ]  \n\t IP \t=\t 235.5.6.8 \t\nSource = a b \n",
       {{"MCast", "IP", "235.5.6.8"}, {"MCast", "Source", "a b"}}},
      {"matching quotes are removed", "[s]\na=\"x y\"\nb='z'\nc=\"mixed'\nd=\"\ne=''\n",
       {{"s", "a", "x y"}, {"s", "b", "z"}, {"s", "c", "\"mixed'"}, {"s", "d", "\""}, {"s", "e", ""}}},
      {"comments are whole lines only", "; [s]\n[s]\n  ;a=1\nb=6050 ;x\n",
       {{"s", "a", "DEF"}, {"s", "b", "6050 ;x"}}},
      {"the first duplicate key and section win", "[s]\na=1\na=2\n[t]\nb=3\n[S]\na=9\nc=4\n",
       {{"s", "a", "1"}, {"s", "c", "DEF"}, {"t", "b", "3"}}},
      {"missing things give the default, an empty value does not",
       "top=1\n[s]\nnovalue\nempty=\n[broken\nafter=2\n",
       {{"s", "missing", "DEF"}, {"other", "a", "DEF"}, {"s", "novalue", "DEF"}, {"s", "empty", ""},
        {"s", "top", "DEF"}, {"s", "after", "2"}}},
      {"line ends and byte-order mark", "\xEF\xBB\xBF[s]\r\na=1\r\nb=2\nc=3",
       {{"s", "a", "1"}, {"s", "b", "2"}, {"s", "c", "3"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rule);
    TempDir dir;
    dir.write("t.ini", c.text);
    const platform::ProfileFile ini(dir.file("t.ini"));
    for (const Read& r : c.reads) {
      EXPECT_EQ(ini.read_string(r.section, r.key, "DEF", 100), r.expected)
          << "[" << r.section << "] " << r.key;
    }
  }
}

TEST(Profile, StringsAreCutToTheBufferLessOne) {
  TempDir dir;
  dir.write("t.ini", "[s]\nname=ABCDEFGHIJKLMNOPQRSTUVWXYZ\n");
  const platform::ProfileFile ini(dir.file("t.ini"));
  EXPECT_EQ(ini.read_string("s", "name", "", 20), "ABCDEFGHIJKLMNOPQRS");
  EXPECT_EQ(ini.read_string("s", "name", "", 1), "");
  EXPECT_EQ(ini.read_string("s", "none", "0123456789", 5), "0123");
}

// The integer rule on its own; the Windows tests compare it with the system's
// profile function on the files of ini-corpus/.
TEST(ProfileInteger, TheRuleOfEveryIntegerRead) {
  struct Case {
    const char* text;
    std::int32_t expected;
  };
  for (const Case& c : {Case{"", 9}, Case{" -12x", -12}, Case{"x", 0}, Case{"+0x1fZ", 31},
                        Case{"0X1F", 0}, Case{"-0b101", -5}, Case{"0o17", 15}, Case{"0x", 0},
                        Case{"4294967297", 1}, Case{"\x01\t7", 7}, Case{"- 4", 0},
                        Case{"00000000000000000000000000001", 1},
                        Case{"000000000000000000000000000001", 0}}) {
    EXPECT_EQ(platform::profile_integer(c.text, 9), c.expected) << c.text;
  }
}

TEST(Profile, MissingOrDirectoryFilesReadAsEmptyAndSayWhy) {
  TempDir dir;
  const platform::ProfileFile missing(dir.file("none.ini"));
  EXPECT_EQ(missing.read_int("s", "a", 5), 5);
  EXPECT_FALSE(missing.readable());
  std::filesystem::create_directory(dir.file("sub"));
  const platform::ProfileFile directory(dir.file("sub"));
  EXPECT_EQ(directory.read_string("s", "a", "d", 10), "d");
  EXPECT_NE(directory.read_error(), "");
  dir.write("empty.ini", "");
  const platform::ProfileFile empty(dir.file("empty.ini"));
  EXPECT_TRUE(empty.readable());
}

// Waits until a file written now counts as left alone.
void let_settle() { std::this_thread::sleep_for(2 * platform::kSettleTime); }

// An edit in place is taken once the file has been left alone, never while
// it may still be in the middle of a save; meanwhile, and while the file
// cannot be read, the contents last taken stay, under the same version.
TEST(Profile, AnEditIsTakenOnceTheFileIsLeftAlone) {
  TempDir dir;
  const std::string path = dir.file("t.ini");
  dir.write("t.ini", "[s]\nNumber=1\n");
  platform::ProfileFile ini(path);
  EXPECT_EQ(ini.read_int("s", "Number", 0), 1);
  const std::uint64_t first = ini.version();
  dir.write("t.ini", "[s]\nNumber=");  // a save half done
  ini.refresh();
  EXPECT_EQ(ini.read_int("s", "Number", 0), 1);
  EXPECT_EQ(ini.version(), first);
  for (int value = 2; value <= 4; ++value) {
    dir.write("t.ini", "[s]\nNumber=" + std::to_string(value) + "\n");
    let_settle();
    ini.refresh();
    EXPECT_EQ(ini.read_int("s", "Number", 0), value);
  }
  EXPECT_NE(ini.version(), first);
  const std::uint64_t taken = ini.version();
  ini.refresh();  // unchanged: nothing taken
  EXPECT_EQ(ini.version(), taken);

  std::filesystem::remove(path);
  ini.refresh();
  EXPECT_FALSE(ini.readable());
  std::filesystem::create_directory(path);
  ini.refresh();
  EXPECT_FALSE(ini.readable());
  EXPECT_EQ(ini.read_int("s", "Number", 0), 4);
  EXPECT_EQ(ini.version(), taken);
  std::filesystem::remove(path);
  dir.write("t.ini", "[s]\nNumber=5\n");
  let_settle();
  ini.refresh();
  EXPECT_TRUE(ini.readable());
  EXPECT_EQ(ini.read_int("s", "Number", 0), 5);
  EXPECT_NE(ini.version(), taken);
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
  EXPECT_EQ(ini.read_int("s", "Number", 0), 1);
  ini.refresh();
  dir.write("t.ini", "[s]\nNumber=2\n");
  utime(dir.file("t.ini").c_str(), &old);  // only the change time moves
  let_settle();
  ini.refresh();
  EXPECT_EQ(ini.read_int("s", "Number", 0), 2);
}

TEST(Profile, KeysOfASectionInFileOrder) {
  TempDir dir;
  dir.write("t.ini", "top=0\n[s]\na=1\n B \n b = ' 2 '\n;c=3\na=4\n[t]\nx=1\n[S]\nc=5\n");
  const platform::ProfileFile ini(dir.file("t.ini"));
  const auto keys = ini.keys("S");
  ASSERT_EQ(keys.size(), 4u);
  EXPECT_EQ(keys[0].name, "a");
  EXPECT_EQ(keys[0].value, "1");
  EXPECT_EQ(keys[1].name, "B");
  EXPECT_FALSE(keys[1].has_value);
  EXPECT_EQ(keys[2].name, "b");
  EXPECT_EQ(keys[2].value, " 2 ");
  EXPECT_TRUE(keys[2].has_value);
  EXPECT_EQ(keys[3].value, "4");
  EXPECT_EQ(ini.keys("t").size(), 1u);
  EXPECT_TRUE(ini.keys("none").empty());
  EXPECT_TRUE(ini.keys("").empty());
}

TEST(Profile, NamesIgnoreAsciiCaseOnly) {
  EXPECT_TRUE(platform::ProfileFile::same_name("SkillsetID10", "skillsetid10"));
  EXPECT_FALSE(platform::ProfileFile::same_name("SkillsetID1", "SkillsetID10"));
  EXPECT_FALSE(platform::ProfileFile::same_name("a_", "A\x7F"));
}

}  // namespace
