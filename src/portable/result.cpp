#include "portable/result.h"

namespace portable {

Failure failed(std::string_view what, int error) {
  return {std::string(what) + " failed! Error: " + std::to_string(error)};
}

}  // namespace portable
