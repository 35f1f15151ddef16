# What the Windows cross build takes from the Linux machine instead of finding it installed
# for the target: CLI11 (header-only, Debian's /usr/include/CLI) and GoogleTest (built here
# from Debian's /usr/src/googletest). zlib comes from libz-mingw-w64-dev through the
# toolchain file's find root. Included by the top-level CMakeLists.txt when cross-building.

# --- CLI11: an interface target whose include folder holds only CLI/ -----------------------
set(_cli11_src /usr/include/CLI)
if(NOT EXISTS ${_cli11_src}/CLI.hpp)
  message(FATAL_ERROR "CLI11 headers not found in ${_cli11_src} (Debian package libcli11-dev)")
endif()
set(_cli11_inc ${CMAKE_BINARY_DIR}/_deps/cli11/include)
file(MAKE_DIRECTORY ${_cli11_inc})
if(NOT EXISTS ${_cli11_inc}/CLI)
  file(CREATE_LINK ${_cli11_src} ${_cli11_inc}/CLI SYMBOLIC)
endif()
if(NOT TARGET CLI11::CLI11)
  add_library(CLI11::CLI11 INTERFACE IMPORTED GLOBAL)
  set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${_cli11_inc}
                                                 INTERFACE_SYSTEM_INCLUDE_DIRECTORIES ${_cli11_inc})
endif()
# find_package(CLI11 CONFIG) in the subfolders then finds this stub, which finds the target.
file(WRITE ${CMAKE_BINARY_DIR}/_deps/cli11/CLI11Config.cmake
     "if(NOT TARGET CLI11::CLI11)\n  message(FATAL_ERROR \"CLI11::CLI11 is made by cmake/cross-deps.cmake\")\nendif()\n")
set(CLI11_DIR ${CMAKE_BINARY_DIR}/_deps/cli11 CACHE PATH "CLI11 for the cross build" FORCE)

# --- zlib, linked statically like the C++ runtime ------------------------------------------
set(ZLIB_USE_STATIC_LIBS ON)

# --- GoogleTest from source ----------------------------------------------------------------
if(UPGRADE_BUILD_TESTS)
  set(_gtest_src /usr/src/googletest)
  if(NOT EXISTS ${_gtest_src}/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest sources not found in ${_gtest_src} (Debian package googletest)")
  endif()
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  # GoogleTest is not ours: build it without our warning flags (-Werror among them).
  get_directory_property(_opts COMPILE_OPTIONS)
  set_directory_properties(PROPERTIES COMPILE_OPTIONS "")
  add_subdirectory(${_gtest_src} ${CMAKE_BINARY_DIR}/_deps/googletest EXCLUDE_FROM_ALL)
  set_directory_properties(PROPERTIES COMPILE_OPTIONS "${_opts}")
  if(NOT TARGET GTest::gtest)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
  file(WRITE ${CMAKE_BINARY_DIR}/_deps/gtest/GTestConfig.cmake
       "if(NOT TARGET GTest::gtest)\n  message(FATAL_ERROR \"GTest::gtest is made by cmake/cross-deps.cmake\")\nendif()\n")
  set(GTest_DIR ${CMAKE_BINARY_DIR}/_deps/gtest CACHE PATH "GoogleTest for the cross build" FORCE)
endif()
