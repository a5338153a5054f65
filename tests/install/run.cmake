# Installs BUILD_DIR into WORK_DIR/prefix and uses the installed tree from outside (cmake -D... -P run.cmake).
function(run what pattern)  # the command in ARGN must succeed and print a match of the pattern
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0 OR NOT out MATCHES "${pattern}")
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}\n${err}")
  endif()
  set(last_out "${out}" PARENT_SCOPE)
endfunction()
set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
# The install names the package's directory; a prefix the interpreter does not search
# gets the PYTHONPATH line.
run("install" "Python package ltide: ([^\n;]*); to import it, add: export PYTHONPATH=" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
string(REGEX MATCH "Python package ltide: ([^\n;]*);" site "${last_out}")
set(site ${CMAKE_MATCH_1})
# What no use below needs: the program, headers, libraries and ltide.pc are used.
run("installed files" "" ${CMAKE_COMMAND} -E chdir ${prefix} ls share/man/man1/ltide.1 share/ltide/ltide-slurm.sh
    bin/ltide-chunks bin/ltide-plot bin/ltide-join bin/ltide-smallest-n ${site}/ltide/uf2.py ${site}/ltide/py.typed)
file(READ ${prefix}/bin/ltide-join shebang LIMIT 64)
if(NOT shebang MATCHES "^#!${PYTHON}\n")
  message(FATAL_ERROR "bin/ltide-join does not start ${PYTHON}: ${shebang}")
endif()
run("installed ltide, eigenvalues only" "^  0.000000E\\+00   0.600000E\\+01 " ${prefix}/bin/ltide ${WORK_DIR}/x 2 0 1.0 0 0 1 2 8 T)

# Only the folder ltide lands in include: no generic header name on a consumer's path.
file(GLOB included RELATIVE ${prefix}/include ${prefix}/include/*)
if(NOT included STREQUAL "ltide")
  message(FATAL_ERROR "include/ holds more than ltide/: ${included}")
endif()

# The consumer, built through find_package(ltide) and through pkg-config.
set(expected "^lambda 6\\.000000 20\\.000000 42\\.000000\nfile 3 values, last 42\\.0 at degree 6\ncaught \\[ufio::u_read_ud1\\]\n$")
run("configure consumer" "" ${CMAKE_COMMAND} -S ${SOURCE_DIR}/consumer -B ${WORK_DIR}/consumer -G ${GENERATOR}
    -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=Release)
# The exported targets carry the floating-point flags into the consumer's compile lines.
run("build consumer" "-ffp-contract=off" ${CMAKE_COMMAND} --build ${WORK_DIR}/consumer --verbose)
run("consumer" "${expected}" ${WORK_DIR}/consumer/consumer ${WORK_DIR})
file(GLOB_RECURSE pc ${prefix}/*/ltide.pc)
if(PKG_CONFIG)
  execute_process(COMMAND ${PKG_CONFIG} --static --cflags --libs ${pc} OUTPUT_VARIABLE flags)  # the installed file itself
  if(NOT flags MATCHES "-ffp-contract=off" OR NOT flags MATCHES "-fno-fast-math" OR NOT flags MATCHES "-llapack")
    message(FATAL_ERROR "pkg-config flags lack the floating-point flags or LAPACK: ${flags}")
  endif()
  separate_arguments(flags UNIX_COMMAND "${flags}")
  run("build consumer with pkg-config" "" ${CXX} ${SOURCE_DIR}/consumer/main.cpp -o ${WORK_DIR}/consumer_pc ${flags})
  run("pkg-config consumer" "${expected}" ${WORK_DIR}/consumer_pc ${WORK_DIR})
endif()
# The installed commands and the package, from the place the install named.
execute_process(COMMAND ${PYTHON} -c "import numpy, matplotlib" RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
if(rc EQUAL 0)
  run("installed ltide-plot" "^usage: ltide-plot" ${CMAKE_COMMAND} -E env PYTHONPATH=${site} ${prefix}/bin/ltide-plot --help)
  run("installed ltide-join" "^usage: ltide-join" ${CMAKE_COMMAND} -E env PYTHONPATH=${site} ${prefix}/bin/ltide-join --help)
  execute_process(COMMAND ${prefix}/bin/ltide-join --help RESULT_VARIABLE rc ERROR_VARIABLE err OUTPUT_QUIET)
  if(rc EQUAL 0 OR NOT err MATCHES "export PYTHONPATH=${site}")
    message(FATAL_ERROR "ltide-join without the package on the path: ${rc} ${err}")
  endif()
  file(GLOB extension ${site}/ltide/_ltide*.so)
  if(extension)  # the program prints this eigenvalue as 0.600000E+01
    run("installed module" "^(6\\.0|5\\.99999)" ${CMAKE_COMMAND} -E env PYTHONPATH=${site} ${PYTHON} -c
        "print(__import__('ltide').eigenvalue(2, 0, 0.0, 8))")
  endif()
endif()
