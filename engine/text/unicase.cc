#include "engine/text/unicase.h"

#include <string_view>

#include "engine/text/text.h"

namespace quibbo {

int CollateUnicase(void*, int left_size, const void* left, int right_size,
                   const void* right) {
  return CompareIgnoringCase(
      std::string_view(static_cast<const char*>(left), left_size),
      std::string_view(static_cast<const char*>(right), right_size));
}

}  // namespace quibbo
