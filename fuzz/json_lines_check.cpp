#include "json_lines_check.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <string>

namespace fuzz {
namespace {

// Follows a JSON text as it is parsed, without building it: is it an
// object with the key "type"?
class TypedObject : public nlohmann::json_sax<nlohmann::json> {
 public:
  bool typed() const { return object_ && typed_; }

  bool null() override { return true; }
  bool boolean(bool) override { return true; }
  bool number_integer(number_integer_t) override { return true; }
  bool number_unsigned(number_unsigned_t) override { return true; }
  bool number_float(number_float_t, const string_t&) override { return true; }
  bool string(string_t&) override { return true; }
  bool binary(binary_t&) override { return true; }
  bool start_object(std::size_t) override {
    object_ = object_ || depth_ == 0;
    ++depth_;
    return true;
  }
  bool key(string_t& name) override {
    typed_ = typed_ || (depth_ == 1 && name == "type");
    return true;
  }
  bool end_object() override { return --depth_, true; }
  bool start_array(std::size_t) override { return ++depth_, true; }
  bool end_array() override { return --depth_, true; }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
    return false;
  }

 private:
  int depth_ = 0;
  bool object_ = false;
  bool typed_ = false;
};

}  // namespace

bool json_objects_with_type(std::string_view text) {
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    if (end == std::string_view::npos) return false;
    TypedObject line;
    if (!nlohmann::json::sax_parse(text.substr(0, end), &line) || !line.typed()) return false;
    text.remove_prefix(end + 1);
  }
  return true;
}

}  // namespace fuzz
