// write_wire_tables: writes the dissector's wire tables, taken from the C++
// tables of the packet library, as the Lua block that feedstats.lua holds
// between its marker lines.
//
// Usage: write_wire_tables                the block, on standard output
//        write_wire_tables --check FILE   status 1 when FILE's block differs
//        write_wire_tables --update FILE  writes the block into FILE
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "lua_syntax.h"
#include "wire_tables.h"

namespace {

constexpr std::string_view kBegin = "-- BEGIN wire tables\n";
constexpr std::string_view kEnd = "-- END wire tables\n";
constexpr const char* kRegenerate = "cmake --build build --target dissector_tables";

// A file's text split around its block: what stands before the begin marker
// line (with it), the block, and the end marker line with what follows.
struct Split {
  std::string before;
  std::string block;
  std::string after;
};

// Splits `text` at its marker lines; false when either is missing.
bool split(const std::string& text, Split& parts) {
  const std::size_t begin = text.find(kBegin);
  if (begin != 0 && (begin == std::string::npos || text[begin - 1] != '\n')) return false;
  const std::size_t start = begin + kBegin.size();
  const std::size_t end = text.find(kEnd, start);
  if (end == std::string::npos || text[end - 1] != '\n') return false;
  parts = {text.substr(0, start), text.substr(start, end - start), text.substr(end)};
  return true;
}

int fail(const std::string& message) {
  std::fprintf(stderr, "write_wire_tables: %s\n", message.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string block = dissector::lua_local("WIRE", dissector::wire_tables());
  if (argc == 1) {
    std::fputs(block.c_str(), stdout);
    return std::fflush(stdout) == 0 ? 0 : fail("cannot write the tables");
  }
  const std::string mode = argv[1];
  if (argc != 3 || (mode != "--check" && mode != "--update")) {
    std::fprintf(stderr, "usage: write_wire_tables [--check FILE | --update FILE]\n");
    return 2;
  }
  const std::string path = argv[2];
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  Split parts;
  if (!in || !split(text.str(), parts)) {
    return fail(path + ": cannot read it, or it lacks the lines \"" +
                std::string(kBegin.substr(0, kBegin.size() - 1)) + "\" and \"" +
                std::string(kEnd.substr(0, kEnd.size() - 1)) + "\"");
  }
  if (parts.block == block) return 0;
  if (mode == "--check") {
    return fail(path + ": its wire tables differ from the C++ tables; write them again with: " +
                kRegenerate);
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << parts.before << block << parts.after;
  return out.flush() ? 0 : fail("cannot write " + path);
}
