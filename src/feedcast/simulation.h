// Values that move: with Simulate 1 in section "MCast", a record value may be
// a range LOW..HIGH that walks inside its bounds, or a counter START+MAX that
// grows, one step per pass.  The walkers draw from a generator of their own,
// seeded from SimulateSeed, so that a run can be repeated value for value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "feedcast/random_source.h"
#include "feedcast/record_keys.h"
#include "packet/catalogue.h"
#include "platform/profile.h"

namespace feedcast {

// A moving value as the file writes it.
struct ValueForm {
  enum class Type : std::uint8_t { kRange, kCounter };
  Type type;
  std::int64_t first;   // LOW (the smaller bound), or START
  std::int64_t second;  // HIGH (the larger bound), or MAX
};

// Reads a value as a range "LOW..HIGH" or a counter "START+MAX": decimal
// numbers of at most 10 digits, blanks around them allowed; LOW, HIGH and
// START may carry a sign and lie from -2^31 to 2^32 - 1, MAX has no sign and
// lies from 0 to 2^32 - 1.  A LOW above HIGH is swapped with it.  Nothing
// when the text is neither form; it then reads as a constant, like every
// value without simulation, and the integer rule reads either form as its
// first number.
std::optional<ValueForm> parse_value_form(std::string_view text);

// The moving values of one kind's table and the table they move in.  Each
// simulated field has a walker keyed by its record and field, which keeps
// the field's text as the file gives it: while that text stays the same the
// walker keeps its position across passes and edits of other keys; a new
// text starts it again.
class Simulation {
 public:
  // Starts the walkers' generator from `seed`, or from the clock when it is 0.
  explicit Simulation(std::uint32_t seed);

  // The seed in use: the one given, or the one taken from the clock, which
  // given as SimulateSeed repeats the run.
  std::uint32_t seed() const { return seed_; }

  // True when the last table has values that move.
  bool moving() const { return !walkers_.empty(); }

  // The number of values that move in the last table.
  std::size_t moving_values() const { return walkers_.size(); }

  // Writes the table of `num_record` records into `record_area` for one
  // pass.  Every walker of the last table first moves one step; when the
  // file has been read again since that table, the table is built afresh
  // from the kind's section, each value in one of the two forms placed by
  // its walker and every other one stored as a constant; else only the
  // moving values are written again.
  void fill(const packet::Kind& kind, const platform::ProfileFile& ini, std::uint8_t* record_area,
            std::uint16_t num_record);

 private:
  struct Walker {
    std::string text;           // the value as the file gives it
    std::size_t slot;           // record index x fields + field
    std::size_t record_offset;  // of the field's record from the start of the table
    const packet::Field* field;
    ValueForm form;
    std::uint64_t choices;  // of a step: 2s + 1 for a range, MAX + 1 for a counter
    std::int64_t position;  // a range's current value; a counter's, 0 to 2^32 - 1
  };

  void step();
  void rebuild(const packet::Kind& kind, const platform::ProfileFile& ini,
               std::uint16_t num_record);
  bool place(const RecordKey& key);

  std::uint32_t seed_;
  RandomSource random_;
  const packet::Kind* kind_ = nullptr;
  std::vector<std::uint8_t> table_;       // the plain table, moving values at their positions,
                                          // with room for the kind's largest
  std::vector<Walker> walkers_;           // by slot
  std::vector<std::uint32_t> walker_at_;  // slot -> walker index + 1, 0 for none
  std::vector<Walker> placed_;            // the walkers of the table being built
  std::uint64_t version_ = 0;             // of the file contents the table was built from
};

}  // namespace feedcast
