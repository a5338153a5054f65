#include <ltide/sparse/core.hpp>

#include <string>

#include <ltide/common/fatal.hpp>

namespace ltide::sparse {

void size_mismatch(std::string_view operation, std::string_view left, std::string_view right) {
  std::string tag = "sparse_core::s_";
  tag.append(operation).append("_").append(left).append("_").append(right);
  fatal("operand sizes differ", tag);
}

}  // namespace ltide::sparse
