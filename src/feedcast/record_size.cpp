#include "feedcast/record_size.h"

#include <string>

namespace feedcast {
namespace {

// "84, 104 or 108": the sizes the kind writes.
std::string sizes_text(const packet::Kind& kind) {
  std::string text = std::to_string(kind.record_size);
  const auto& choices = kind.record_size_choices;
  for (std::size_t i = 0; i < choices.size(); ++i) {
    text += (i + 1 == choices.size() ? " or " : ", ") + std::to_string(choices[i].size);
  }
  return text;
}

// The layout of records of `size` bytes, or nullptr.
const packet::RecordLayout* layout_of(const packet::Kind& kind, std::int32_t size) {
  return size > 0 && size <= UINT16_MAX ? kind.written_layout(static_cast<std::uint16_t>(size))
                                        : nullptr;
}

}  // namespace

packet::Kind kind_of_keys(const packet::Kind& kind, std::int32_t size) {
  packet::Kind sized = kind;
  if (const packet::RecordLayout* layout = layout_of(kind, size);
      size != kind.record_size && layout) {
    sized.record_size = static_cast<std::uint16_t>(size);
    sized.layout = layout;
  }
  return sized;
}

portable::Result<packet::Kind> kind_with_record_size(const packet::Kind& kind,
                                                     const SenderConfig& config,
                                                     std::int32_t size) {
  if (size == 0 || size == kind.record_size) return kind;
  const std::string named = "RecordSize " + std::to_string(size);
  if (layout_of(kind, size) == nullptr) return portable::Failure{named + ": " + sizes_text(kind)};
  const auto release = static_cast<std::uint8_t>(config.release_number);
  const auto minor = static_cast<std::uint8_t>(config.minor_version);
  const std::uint16_t read = kind.display_layout(release, minor).size;
  if (read != size) {
    return portable::Failure{named + " does not match release " + std::to_string(release) + "." +
                             std::to_string(minor) + "; use " + std::to_string(read)};
  }
  return kind_of_keys(kind, size);
}

}  // namespace feedcast
