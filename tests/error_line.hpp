#pragma once
// The line a failing call would have the program print: what() of the ltide::error it
// throws. A call that returns, or throws anything else, gives a line no message has, so
// EXPECT_EQ(error_line(call), "** text [tag]") shows what happened instead.
#include <exception>
#include <string>

#include <ltide/common/fatal.hpp>

template <class F>
std::string error_line(F&& call) {
  try {
    call();
  } catch (const ltide::error& e) {
    return e.what();
  } catch (const std::exception& e) {
    return std::string("(other exception: ") + e.what() + ")";
  }
  return "(returned normally)";
}
