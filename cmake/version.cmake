# Writes the version header at build time: cmake -DSOURCE_DIR=... -DOUTPUT=... -DVERSION=1.1.0
# -P version.cmake. The project's version comes from project(); the commit is read from git
# when the tree is a checkout (with "-dirty" when it has uncommitted changes), and left empty
# in a tree without git. configure_file rewrites the header only when its text changes, so a
# build whose commit did not change recompiles nothing.
set(UPGRADE_COMMIT "")
find_package(Git QUIET)
if(GIT_FOUND AND EXISTS "${SOURCE_DIR}/.git")
  execute_process(COMMAND "${GIT_EXECUTABLE}" -C "${SOURCE_DIR}" rev-parse --short=12 HEAD
                  OUTPUT_VARIABLE UPGRADE_COMMIT OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE _rev ERROR_QUIET)
  if(NOT _rev EQUAL 0)
    set(UPGRADE_COMMIT "")
  else()
    execute_process(COMMAND "${GIT_EXECUTABLE}" -C "${SOURCE_DIR}" diff-index --quiet HEAD --
                    RESULT_VARIABLE _dirty ERROR_QUIET)
    if(NOT _dirty EQUAL 0)
      string(APPEND UPGRADE_COMMIT "-dirty")
    endif()
  endif()
endif()
string(REPLACE "." ";" _parts "${VERSION}")
list(APPEND _parts 0 0 0 0)
list(GET _parts 0 UPGRADE_VERSION_MAJOR)
list(GET _parts 1 UPGRADE_VERSION_MINOR)
list(GET _parts 2 UPGRADE_VERSION_PATCH)
list(GET _parts 3 UPGRADE_VERSION_TWEAK)
set(UPGRADE_VERSION "${VERSION}")
if(UPGRADE_COMMIT STREQUAL "")
  set(UPGRADE_VERSION_TEXT "${VERSION}")
else()
  set(UPGRADE_VERSION_TEXT "${VERSION} (commit ${UPGRADE_COMMIT})")
endif()
configure_file("${SOURCE_DIR}/res/version.h.in" "${OUTPUT}" @ONLY)
