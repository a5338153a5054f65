#pragma once
// In-place quicksort and index sort for 32-bit real, 64-bit real and 32-bit integer keys.
// Both run the same non-recursive quicksort (median of three, explicit stack, straight
// insertion below eight elements); the order among equal keys is the one this procedure
// produces, not a stable order.
#include <cstdint>
#include <vector>

#include <ltide/common/view.hpp>

namespace ltide::sort {

// Sorts arr in place into ascending order, then reverses it when `reverse` is true.
void s_quick_sort_s(vector_view<float> arr, bool reverse = false);
void s_quick_sort_d(vector_view<double> arr, bool reverse = false);
void s_quick_sort_i(vector_view<int32_t> arr, bool reverse = false);

// The permutation (1-based) that orders arr ascending: arr(index(1)) <= arr(index(2)) <= ...
std::vector<int32_t> s_index_sort_s(vector_view<const float> arr);
std::vector<int32_t> s_index_sort_d(vector_view<const double> arr);
std::vector<int32_t> s_index_sort_i(vector_view<const int32_t> arr);

}  // namespace ltide::sort
