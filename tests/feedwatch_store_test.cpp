// Multi-packet messages: grouping by Timestamp, arrival order, the bound.
// (How the monitor prints a complete group is pinned by a baseline, and the
// line for a dropped group by the statistics test.)
#include <gtest/gtest.h>

#include <string>

#include "feedwatch/multipacket_store.h"

namespace {

using feedwatch::MultipacketStore;

// Adds a part of one byte, `tag`, and returns what came of it: a dropped
// group, then the tags of the completed group in arrival order.
std::string add(MultipacketStore& store, std::uint32_t timestamp, std::size_t count,
                std::uint8_t tag) {
  const MultipacketStore::Added added = store.add(timestamp, count, {&tag, 1}, {});
  std::string s;
  if (added.dropped != 0) {
    s += "dropped " + std::to_string(added.dropped) + " of " +
         std::to_string(added.dropped_timestamp) + ";";
  }
  for (const MultipacketStore::Part& part : added.complete)
    s += " " + std::to_string(part.bytes[0]);
  return s;
}

TEST(MultipacketStore, GroupingRules) {
  MultipacketStore store;
  // A duplicate first part completes a two-part group; the real second part starts anew.
  EXPECT_EQ(add(store, 7, 2, 1), "");
  EXPECT_EQ(add(store, 7, 2, 1), " 1 1");
  EXPECT_EQ(add(store, 7, 2, 2), "");
  // The leftover part counts towards the next message with its timestamp, first.
  EXPECT_EQ(add(store, 7, 2, 3), " 2 3");
  // The threshold is the PacketCount of the part just received.
  EXPECT_EQ(add(store, 8, 3, 4), "");
  EXPECT_EQ(add(store, 8, 2, 5), " 4 5");
  EXPECT_EQ(store.size(), 0u);
}

TEST(MultipacketStore, TheBoundDropsTheOldestOtherGroup) {
  MultipacketStore store(4);
  for (std::uint8_t t : {1, 1, 2, 3}) add(store, t, 3, t);
  EXPECT_EQ(add(store, 3, 3, 3), "dropped 2 of 1;");
  EXPECT_EQ(store.size(), 3u);
  EXPECT_EQ(add(store, 3, 3, 4), " 3 3 4");
  EXPECT_EQ(add(store, 1, 2, 5), "");  // the dropped group starts anew
  EXPECT_EQ(store.size(), 2u);
  // Groups that never complete stay within the default bound.
  MultipacketStore by_default;
  for (std::uint32_t t = 0; t < 3 * feedwatch::kStoreCapacity; ++t) add(by_default, t, 255, 0);
  EXPECT_EQ(by_default.size(), feedwatch::kStoreCapacity);
}

}  // namespace
