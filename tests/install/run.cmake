# cmake -DBUILD_DIR= -DSOURCE_DIR= -DWORK_DIR= -DCXX= -DGENERATOR= [-DPKG_CONFIG=] [-DPYTHON=] -P run.cmake
# installs BUILD_DIR into WORK_DIR/prefix and checks the installed tree from outside.
function(run what pattern)  # the command in ARGN must succeed and print a match of the pattern
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0 OR NOT out MATCHES "${pattern}")
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}\n${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
run("install" "" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
file(GLOB_RECURSE pc ${prefix}/*/ltide.pc)
foreach(file bin/ltide share/man/man1/ltide.1 include/ltide/common/view.hpp include/ltide/coriolis/coriolis.hpp
             bin/ltide-plot bin/ltide-join bin/ltide-chunks share/ltide/python/uf2.py share/ltide/ltide-slurm.sh)
  if(NOT EXISTS ${prefix}/${file} OR NOT pc)
    message(FATAL_ERROR "not installed: ${file} or ltide.pc")
  endif()
endforeach()
# The installed program runs (eigenvalues only: no file).
run("installed ltide" "^  0.000000E\\+00   0.600000E\\+01 " ${prefix}/bin/ltide ${WORK_DIR}/x 2 0 1.0 0 0 1 2 8 T)

# The consumer, built through find_package(ltide) and through pkg-config.
set(expected "^lambda 6\\.000000 20\\.000000 42\\.000000\nfile 3 values, last 42\\.0 at degree 6\n$")
run("configure consumer" "" ${CMAKE_COMMAND} -S ${SOURCE_DIR}/consumer -B ${WORK_DIR}/consumer -G ${GENERATOR}
    -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=Release)
run("build consumer" "" ${CMAKE_COMMAND} --build ${WORK_DIR}/consumer)
run("consumer" "${expected}" ${WORK_DIR}/consumer/consumer ${WORK_DIR})
if(PKG_CONFIG)
  get_filename_component(pcdir ${pc} DIRECTORY)
  set(ENV{PKG_CONFIG_PATH} ${pcdir})
  run("pkg-config" "" ${PKG_CONFIG} --cflags --libs ltide)
  separate_arguments(flags UNIX_COMMAND "${out}")
  run("build consumer with pkg-config" "" ${CXX} ${SOURCE_DIR}/consumer/main.cpp -o ${WORK_DIR}/consumer_pc ${flags})
  run("pkg-config consumer" "${expected}" ${WORK_DIR}/consumer_pc ${WORK_DIR})
endif()
# The installed Python tools find their modules beside bin/ (given an interpreter with numpy and matplotlib).
execute_process(COMMAND ${PYTHON} -c "import numpy, matplotlib" RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
foreach(tool ltide-plot ltide-join)
  if(rc EQUAL 0)
    run("installed ${tool}" "^usage: ${tool}" ${PYTHON} ${prefix}/bin/${tool} --help)
  endif()
endforeach()
