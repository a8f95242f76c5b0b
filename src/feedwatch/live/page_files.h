// The page's files, built into the program: the HTML page, its script and
// style, and the chart library's.  A build step turns the files into the
// table below.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace feedwatch {

// One file of the page.
struct PageFile {
  std::string_view path;          // where the server serves it: "/", "/feedwatch.js"
  std::string_view content_type;  // its media type
  std::string_view bytes;         // its content
};

// Every file of the page; the first is the page itself.
extern const std::span<const PageFile> kPageFiles;

}  // namespace feedwatch
