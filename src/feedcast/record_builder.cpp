#include "feedcast/record_builder.h"

#include <charconv>
#include <cstring>
#include <string_view>

namespace feedcast {
namespace {

// The configuration key of a field in record `index`: the field's name
// followed by the index in decimal.
class RecordKey {
 public:
  std::string_view make(std::string_view stem, unsigned index) {
    std::memcpy(text_, stem.data(), stem.size());
    char* end = std::to_chars(text_ + stem.size(), text_ + sizeof text_, index).ptr;
    return {text_, static_cast<std::size_t>(end - text_)};
  }

 private:
  char text_[64];  // the longest name (31) and five digits
};

}  // namespace

void build_records(const packet::Kind& kind, const platform::ProfileFile& ini,
                   std::uint8_t* record_area, std::uint16_t num_record) {
  const packet::RecordLayout& layout = *kind.layout;
  std::memset(record_area, 0, std::size_t{num_record} * kind.record_size);
  RecordKey key;
  for (unsigned i = 0; i < num_record; ++i) {
    std::uint8_t* record = record_area + std::size_t{i} * kind.record_size;
    for (const packet::Field& field : layout.fields) {
      if (!field.keyed) continue;
      const auto value = static_cast<std::uint32_t>(ini.read_int(kind.section, key.make(field.name, i), 0));
      packet::store_field(record, field, value);
    }
  }
}

}  // namespace feedcast
