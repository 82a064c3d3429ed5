# Two builds of one commit, in any two folders at any two times, give the same bytes before signing
# (scripts/reproduce.sh proves it for what ships). Nothing the build writes may name where or when it ran:
#  - whatever is dated carries the commit's date: SOURCE_DATE_EPOCH, from the environment when a release
#    manager sets it, else from git. CMake's string(TIMESTAMP) reads it while configuring (the copyright years
#    of the version resource and of the installed string files); the packaging commands get it as
#    QUILLERY_SOURCE_DATE_EPOCH;
#  - paths in debug information and in file-name macros are written relative to the source tree ("."), and to
#    the build tree ("build"), wherever the two lie;
#  - the PE header's time stamp is left zero rather than the time of the link.
# Windows flavours only: the native build ships nothing. Debian's Python runs the few steps that rewrite a date
# a tool wrote on its own (resources/typelib-date.py, installer/date-package.py with python3-olefile).
find_program(QUILLERY_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH REQUIRED)

if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(QUILLERY_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
else()
  find_package(Git QUIET)
  if(GIT_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                    OUTPUT_VARIABLE QUILLERY_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    # A new commit or checkout moves HEAD, which this file records; configuring again takes its date.
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --path-format=absolute --git-path logs/HEAD
                    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} OUTPUT_VARIABLE head_log
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(head_log AND EXISTS "${head_log}")
      set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${head_log}")
    endif()
  endif()
  if(NOT QUILLERY_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
    string(TIMESTAMP QUILLERY_SOURCE_DATE_EPOCH "%s" UTC)
    message(WARNING "Neither SOURCE_DATE_EPOCH nor a git commit gives this build a date: it takes today's, and "
                    "a rebuild will not give the same bytes")
  endif()
  set(ENV{SOURCE_DATE_EPOCH} "${QUILLERY_SOURCE_DATE_EPOCH}")
endif()
if(NOT QUILLERY_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
  message(FATAL_ERROR "SOURCE_DATE_EPOCH must be whole seconds since 1970, not '${QUILLERY_SOURCE_DATE_EPOCH}'")
endif()
string(TIMESTAMP QUILLERY_SOURCE_YEAR "%Y" UTC)
message(STATUS "Dated ${QUILLERY_SOURCE_DATE_EPOCH} (SOURCE_DATE_EPOCH)")

# The build tree's mapping comes last so that it wins when the build tree lies inside the source tree.
add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}=.>"
                    "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_BINARY_DIR}=build>")
add_link_options(-Wl,--no-insert-timestamp)
