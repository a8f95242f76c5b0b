// Prints what ProfileFile reads from one initialisation file, one line per
// query, so that the Linux reader and the Windows profile functions can be
// compared on the same files.  Each line of the query file is
// "section<TAB>key"; each answer is the string read (default "DEF", buffer
// 100), the integer read (default 77), the integer a record field takes from
// the key (default 0, found by walking the section's keys as the generator's
// record tables do; "-" where the system cannot list the section) and the
// integer that the system's own profile function reads (on Linux, the integer
// read again).  The first query of a section also lists the section's keys as
// keys() walks them, the first of duplicates only.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/profile.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// The value of the first of the section's keys with this name, as the
// generator's record tables read it.
int record_value(const platform::ProfileFile& ini, const std::string& section,
                 const std::string& key) {
  for (const platform::ProfileKey& k : ini.keys(section)) {
    if (portable::same_name(k.name, key)) {
      return k.has_value ? portable::profile_integer(k.value, 0) : 0;
    }
  }
  return 0;
}

int system_value(const platform::ProfileFile& ini, const std::string& section,
                 const std::string& key) {
#ifdef _WIN32
  return static_cast<int>(
      GetPrivateProfileIntA(section.c_str(), key.c_str(), 77, ini.path().c_str()));
#else
  return ini.read_int(section, key, 77);
#endif
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: profile_probe FILE.ini QUERIES\n");
    return 2;
  }
  const platform::ProfileFile ini(argv[1]);
  std::ifstream queries(argv[2], std::ios::binary);
  std::string line;
  std::set<std::string> listed;
  while (std::getline(queries, line)) {
    const std::size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    const std::string section = line.substr(0, tab);
    const std::string key = line.substr(tab + 1);
    // The system lists no key whose name starts with ";" and no section asked
    // for with blanks around its name, though its reads find both.
    const bool listable = section.empty() || (section.front() != ' ' && section.back() != ' ');
    if (listable && listed.insert(section).second) {
      std::printf("[%s] keys:", section.c_str());
      std::vector<std::string_view> names;  // the reads see only the first of duplicates
      for (const platform::ProfileKey& k : ini.keys(section)) {
        if (std::any_of(names.begin(), names.end(),
                        [&](std::string_view n) { return portable::same_name(n, k.name); })) {
          continue;
        }
        names.push_back(k.name);
        // A key without a value reads as missing; the system does not list it.
        if (!k.has_value || k.name.starts_with(';')) continue;
        const std::string name(k.name);
        const std::string value(k.value);
        std::printf(" <%s>=<%s>", name.c_str(), value.c_str());
      }
      std::printf("\n");
    }
    const std::string text = ini.read_string(section, key, "DEF", 100);
    const std::string record = listable ? std::to_string(record_value(ini, section, key)) : "-";
    std::printf("[%s] %s: string \"%s\" int %d record %s system %d\n", section.c_str(), key.c_str(),
                text.c_str(), static_cast<int>(ini.read_int(section, key, 77)), record.c_str(),
                system_value(ini, section, key));
  }
  return 0;
}
