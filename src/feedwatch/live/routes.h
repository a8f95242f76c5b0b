// What the server answers to a request line: the page's files, the events,
// the tables, the metrics, or a refusal.  Only GET and HEAD are allowed, and
// only on those paths; a query string is ignored.
#pragma once

#include <string_view>

#include "feedwatch/live/page_files.h"

namespace feedwatch {

// The answer to one request line.
struct Route {
  enum class Resource {
    kFile,        // one of the page's files
    kEvents,      // /events: Server-Sent Events
    kStreams,     // /api/streams: the tables and their statistics as JSON
    kMetrics,     // /metrics: the Prometheus text format
    kNotFound,    // 404: no such path
    kNotAllowed,  // 405: a method other than GET and HEAD
  };
  Resource resource;
  const PageFile* file = nullptr;  // for kFile
};

// Routes a request's method and target ("/metrics?x=1").
Route route(std::string_view method, std::string_view target);

// The methods the server allows, for the Allow header of a 405.
inline constexpr std::string_view kAllowedMethods = "GET, HEAD";

}  // namespace feedwatch
