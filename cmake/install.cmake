# Installation: the program, its man page, the module libraries with
# their headers, a CMake package (find_package(ltide) -> ltide::<module> targets) and a
# pkg-config file. Included from the top level after every module has been added.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(LTIDE_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/ltide)
set(LTIDE_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/ltide)

# Every library target of the module folders, exported as ltide::<name without ltide_>;
# the headers of each folder go to include/ltide/<folder>/, where the library's own
# includes (<ltide/common/view.hpp>) find them from include.
set(LTIDE_EXPORTED "")
foreach(module IN LISTS LTIDE_MODULES)
  set(dir ${PROJECT_SOURCE_DIR}/src/${module})
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(type MATCHES "^(STATIC|SHARED)_LIBRARY$" AND target MATCHES "^ltide_")
      list(APPEND LTIDE_EXPORTED ${target})
      string(REGEX REPLACE "^ltide_" "" name ${target})
      set_target_properties(${target} PROPERTIES EXPORT_NAME ${name})
      target_include_directories(${target} PUBLIC $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
    endif()
  endforeach()
  install(DIRECTORY ${dir}/ DESTINATION ${LTIDE_INSTALL_INCLUDEDIR}/${module} COMPONENT development
          FILES_MATCHING PATTERN "*.hpp")
endforeach()
# The headers use concepts and std::span: a consumer compiles them as C++20. The
# templates in them give this library's bits only without contraction into fused
# multiply-adds and without fast-math, so every consumer compiles with those flags too.
target_compile_features(ltide_common PUBLIC cxx_std_20)
target_compile_options(ltide_common INTERFACE -ffp-contract=off -fno-fast-math)
# Every library, for a compile-only build (LTIDE_LIBRARIES_ONLY).
add_custom_target(ltide_libraries)
add_dependencies(ltide_libraries ${LTIDE_EXPORTED})

install(TARGETS ${LTIDE_EXPORTED} EXPORT ltideTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(EXPORT ltideTargets NAMESPACE ltide:: DESTINATION ${LTIDE_INSTALL_CMAKEDIR} COMPONENT development)

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/ltideConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/ltideConfig.cmake INSTALL_DESTINATION ${LTIDE_INSTALL_CMAKEDIR})
# 0.x releases make no promise across minor versions.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ltideConfigVersion.cmake COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/ltideConfig.cmake ${PROJECT_BINARY_DIR}/ltideConfigVersion.cmake
        DESTINATION ${LTIDE_INSTALL_CMAKEDIR} COMPONENT development)

# pkg-config: one package with every library, dependents before their dependencies
# (static archives are searched once, left to right). LAPACK comes through its own
# pkg-config package when there is one (Debian's lapack.pc), else as the libraries CMake
# found; either way it is private, so a consumer of the static archives links with
# `pkg-config --static --libs ltide`.
function(ltide_visit target)
  get_property(seen GLOBAL PROPERTY LTIDE_LINK_SEEN)
  if(target IN_LIST seen)
    return()
  endif()
  set_property(GLOBAL APPEND PROPERTY LTIDE_LINK_SEEN ${target})
  get_target_property(deps ${target} LINK_LIBRARIES)
  foreach(dep IN LISTS deps)
    if(dep IN_LIST LTIDE_EXPORTED)
      ltide_visit(${dep})
    endif()
  endforeach()
  set_property(GLOBAL APPEND PROPERTY LTIDE_LINK_ORDER ${target})
endfunction()
foreach(target IN LISTS LTIDE_EXPORTED)
  ltide_visit(${target})
endforeach()
get_property(order GLOBAL PROPERTY LTIDE_LINK_ORDER)
list(REVERSE order)
set(LTIDE_PC_LIBS "")
foreach(target IN LISTS order)
  string(APPEND LTIDE_PC_LIBS " -l${target}")
endforeach()
set(LTIDE_PC_REQUIRES_PRIVATE "")
set(LTIDE_PC_LIBS_PRIVATE "")
find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
  pkg_check_modules(LTIDE_LAPACK_PC QUIET lapack)
endif()
if(LTIDE_LAPACK_PC_FOUND)
  set(LTIDE_PC_REQUIRES_PRIVATE "Requires.private: lapack")
else()
  set(LTIDE_PC_LIBS_PRIVATE "Libs.private:")
  foreach(lib IN LISTS LAPACK_LIBRARIES LAPACK_LINKER_FLAGS)
    string(APPEND LTIDE_PC_LIBS_PRIVATE " ${lib}")
  endforeach()
endif()
# The prefix is found from the file's own place, so the installed tree can be moved
# (and cmake --install --prefix works): libdir/pkgconfig -> up to the prefix.
if(IS_ABSOLUTE ${CMAKE_INSTALL_LIBDIR})
  set(LTIDE_PC_PREFIX ${CMAKE_INSTALL_PREFIX})
  set(LTIDE_PC_LIBDIR ${CMAKE_INSTALL_LIBDIR})
else()
  string(REGEX MATCHALL "[^/]+" parts "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
  set(LTIDE_PC_PREFIX "\${pcfiledir}")
  foreach(part IN LISTS parts)
    string(APPEND LTIDE_PC_PREFIX "/..")
  endforeach()
  set(LTIDE_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
endif()
if(IS_ABSOLUTE ${CMAKE_INSTALL_INCLUDEDIR})
  set(LTIDE_PC_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR})
else()
  set(LTIDE_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/ltide.pc.in ${PROJECT_BINARY_DIR}/ltide.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/ltide.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)

# The program, its manual page and the Slurm script (the Python package and its
# commands are installed by python/CMakeLists.txt).
if(TARGET ltide)
  install(TARGETS ltide RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(FILES ${PROJECT_SOURCE_DIR}/docs/ltide.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(PROGRAMS ${PROJECT_SOURCE_DIR}/tools/ltide-slurm.sh DESTINATION ${CMAKE_INSTALL_DATADIR}/ltide)
install(FILES ${PROJECT_SOURCE_DIR}/docs/scaling.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
