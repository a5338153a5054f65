#include "matrix/lapack_wrapper.hpp"

#include <cstddef>

// Fortran passes the length of every character argument as a hidden trailing value.
extern "C" {
double dlamch_(const char* cmach, std::size_t cmach_len);
float slamch_(const char* cmach, std::size_t cmach_len);
}

namespace ltide::matrix {

double dlamch_wrap(double /*x*/, char cmach) { return dlamch_(&cmach, 1); }
float slamch_wrap(float /*x*/, char cmach) { return slamch_(&cmach, 1); }

}  // namespace ltide::matrix
