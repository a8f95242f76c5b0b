// The latest complete table of every stream, as the loop displayed it (a
// multi-packet message as all its parts), with the stream's statistics.
// Kept on the server's thread for /api/streams and for each new client of
// /events.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "feedwatch/live/inbox.h"

namespace feedwatch {

// The most bytes of JSON the tables hold in all; a feed's dozen streams of
// full tables take a few.
inline constexpr std::size_t kMaxTableBytes = std::size_t{16} << 20;

// The tables; at most kMaxStreams streams, and at most kMaxTableBytes of JSON
// in all: a table that would go beyond leaves the stream's older one.
class StreamTables {
 public:
  // Takes in a displayed packet.  A single packet is its stream's table at
  // once; the parts of a group become their streams' tables when the group's
  // last part comes (a group whose parts carry several streams gives each
  // stream its own parts).
  void add_packet(const HandedOver& packet);

  // Takes in the statistics summary's JSON object: each stream's object in
  // its "streams" array becomes that stream's statistics.
  void set_summary(const std::string& summary_json);

  // Appends the JSON array of the streams, in the order first seen: per
  // stream its "server", "kind" and "scheme", its "table" (the JSON objects
  // of its packets) and its "statistics" (null before the first summary).
  void append_json(std::string& out) const;

 private:
  struct Stream {
    std::string key;  // "server":…,"kind":…,"scheme":… as JSON members
    std::vector<std::shared_ptr<const std::string>> table;
    std::string statistics = "null";
  };
  struct GroupPart {
    std::string key;
    std::shared_ptr<const std::string> json;
  };

  Stream* find(const std::string& key);
  void replace_table(const std::string& key, std::vector<std::shared_ptr<const std::string>> table);

  std::vector<Stream> streams_;
  std::vector<GroupPart> group_;  // the parts of the group being handed over
  std::size_t bytes_ = 0;         // the JSON of every table kept
};

}  // namespace feedwatch
