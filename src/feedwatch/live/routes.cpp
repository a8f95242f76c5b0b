#include "feedwatch/live/routes.h"

namespace feedwatch {

Route route(std::string_view method, std::string_view target) {
  const std::string_view path = target.substr(0, target.find('?'));
  Route found{Route::Resource::kNotFound};
  if (path == "/events") found.resource = Route::Resource::kEvents;
  if (path == "/api/streams") found.resource = Route::Resource::kStreams;
  if (path == "/metrics") found.resource = Route::Resource::kMetrics;
  for (const PageFile& file : kPageFiles) {
    if (path == file.path) found = {Route::Resource::kFile, &file};
  }
  const bool allowed = method == "GET" || method == "HEAD";
  if (found.resource != Route::Resource::kNotFound && !allowed) {
    found = {Route::Resource::kNotAllowed};
  }
  return found;
}

}  // namespace feedwatch
