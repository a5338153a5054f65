#include <ltide/sort/sort.hpp>

#include <ltide/sort/quicksort.hpp>

namespace ltide::sort {

void s_quick_sort_s(vector_view<float> arr, bool reverse) { detail::quick_sort<float>(arr, reverse); }
void s_quick_sort_d(vector_view<double> arr, bool reverse) { detail::quick_sort<double>(arr, reverse); }
void s_quick_sort_i(vector_view<int32_t> arr, bool reverse) { detail::quick_sort<int32_t>(arr, reverse); }

std::vector<int32_t> s_index_sort_s(vector_view<const float> arr) { return detail::index_sort<float>(arr); }
std::vector<int32_t> s_index_sort_d(vector_view<const double> arr) { return detail::index_sort<double>(arr); }
std::vector<int32_t> s_index_sort_i(vector_view<const int32_t> arr) { return detail::index_sort<int32_t>(arr); }

}  // namespace ltide::sort
