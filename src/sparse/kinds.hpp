#pragma once
// The banded matrix kinds. A matrix of order n is an array of n per-row records; the
// entry coupling rows i and i+1 is always stored in element i, and the off-diagonal
// components of element n lie outside the matrix (they exist in storage and take part
// in element-wise arithmetic, but never in products, solves or eigen-solutions).
// The component order fixes the memory layout.

namespace ltide::sparse {

struct D {  // diagonal
  double diag = 0.0;
};

struct LB {  // lower bidiagonal: lower = A(i+1, i)
  double diag = 0.0;
  double lower = 0.0;
};

struct RB {  // upper bidiagonal: upper = A(i, i+1)
  double diag = 0.0;
  double upper = 0.0;
};

struct ST {  // symmetric tridiagonal: off = A(i, i+1) = A(i+1, i)
  double diag = 0.0;
  double off = 0.0;
};

struct T {  // general tridiagonal
  double diag = 0.0;
  double lower = 0.0;
  double upper = 0.0;
};

}  // namespace ltide::sparse
