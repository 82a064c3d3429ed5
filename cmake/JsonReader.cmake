# nlohmann's JSON library from Debian (nlohmann-json3-dev), for the tests and the fuzzers alone: whatever the
# doctor writes as JSON must parse. The target quillery_json_reader puts only the library's own folder on the
# include path, so that a cross-compiler never sees the rest of the build machine's /usr/include.
find_path(QUILLERY_NLOHMANN_INCLUDE nlohmann/json.hpp PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT QUILLERY_NLOHMANN_INCLUDE)
  message(FATAL_ERROR "nlohmann/json.hpp was not found (Debian: nlohmann-json3-dev)")
endif()
set(json_include ${CMAKE_BINARY_DIR}/json-reader)
file(MAKE_DIRECTORY ${json_include})
file(CREATE_LINK ${QUILLERY_NLOHMANN_INCLUDE}/nlohmann ${json_include}/nlohmann SYMBOLIC)
add_library(quillery_json_reader INTERFACE)
target_include_directories(quillery_json_reader SYSTEM INTERFACE ${json_include})
