# Included by the top level, before the modules, when LTIDE_FUZZ is on. Every module is
# compiled with coverage instrumentation for libFuzzer and with AddressSanitizer and
# UndefinedBehaviorSanitizer, so that a memory error or undefined behaviour anywhere on
# the fuzzed paths is a crash the fuzzer reports. Sets LTIDE_FUZZ_READY when clang and
# its libFuzzer runtime are there; otherwise the fuzz targets are left out.
set(LTIDE_FUZZ_READY OFF)
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(WARNING "LTIDE_FUZZ needs clang (configure with CXX=clang++): no fuzz targets")
  return()
endif()

include(CheckCXXSourceCompiles)
set(CMAKE_REQUIRED_FLAGS "-fsanitize=fuzzer")
check_cxx_source_compiles([[
#include <cstddef>
#include <cstdint>
extern "C" int LLVMFuzzerTestOneInput(const uint8_t*, std::size_t) { return 0; }
]] LTIDE_HAVE_LIBFUZZER)
unset(CMAKE_REQUIRED_FLAGS)
if(NOT LTIDE_HAVE_LIBFUZZER)
  message(WARNING "clang's libFuzzer runtime is missing (Debian: libclang-rt-dev): no fuzz targets")
  return()
endif()

set(LTIDE_FUZZ_SANITIZERS -fsanitize=address,undefined,float-cast-overflow -fno-sanitize-recover=all)
add_compile_options(-fsanitize=fuzzer-no-link ${LTIDE_FUZZ_SANITIZERS} -fno-omit-frame-pointer -g)
add_link_options(${LTIDE_FUZZ_SANITIZERS})
set(LTIDE_FUZZ_READY ON)
