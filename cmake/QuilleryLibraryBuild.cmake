# The add-in library of a flavour whose toolchain file names another toolchain for it (QUILLERY_LIBRARY_TOOLCHAIN):
# the library is configured and built in a build of its own under <build>/library with that toolchain and the same
# sources, then copied beside this build's programs and shipped (stripped, debug information beside it, signed)
# like everything else this build ships. The target Quillery stands for it here, so that whatever needs the
# library (tests, the simulator, the package) waits for it as for a library of this build.
#
# The library's own build compiles the product's code a second time (the tests and tools of this build link the
# code compiled by this build's compilers); it builds the target Quillery and nothing else, and leaves the
# shipping to this build (QUILLERY_LIBRARY_ONLY).
include(ExternalProject)

set(library_dir ${CMAKE_BINARY_DIR}/library)
set(library_built ${library_dir}/bin/Quillery.dll)
set(library_arguments -DCMAKE_TOOLCHAIN_FILE=${QUILLERY_LIBRARY_TOOLCHAIN} -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
                      -DQUILLERY_WARNINGS_AS_ERRORS=${QUILLERY_WARNINGS_AS_ERRORS} -DBUILD_TESTING=OFF
                      -DQUILLERY_LIBRARY_ONLY=ON)
foreach(language C CXX)
  if(CMAKE_${language}_COMPILER_LAUNCHER)
    list(APPEND library_arguments "-DCMAKE_${language}_COMPILER_LAUNCHER=${CMAKE_${language}_COMPILER_LAUNCHER}")
  endif()
endforeach()
ExternalProject_Add(quillery_library_build
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${library_dir}
  CMAKE_ARGS ${library_arguments}
  BUILD_COMMAND ${CMAKE_COMMAND} --build ${library_dir} --target Quillery
  # Its own build knows whether anything changed; asking it costs a fraction of a second.
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${library_built} ${library_built}.map
  INSTALL_COMMAND ""
  # Its output goes to files under <build>/library, and is shown here only when a step fails.
  LOG_CONFIGURE ON
  LOG_BUILD ON
  LOG_OUTPUT_ON_FAILURE ON)

set(library_shipped ${CMAKE_BINARY_DIR}/bin/Quillery.dll)
quillery_sign_command(library_ship ${library_shipped})
list(INSERT library_ship 1 -DOBJCOPY=${CMAKE_OBJCOPY} -DSTRIP=${CMAKE_STRIP})
# The file that ships, for whatever names it (the hardening and bill-of-materials checks read its map beside it).
set(QUILLERY_LIBRARY_FILE ${library_shipped})
add_custom_command(
  OUTPUT ${library_shipped} ${library_shipped}.debug ${library_shipped}.map
  COMMAND ${CMAKE_COMMAND} -E copy ${library_built} ${library_shipped}
  COMMAND ${CMAKE_COMMAND} -E copy ${library_built}.map ${library_shipped}.map
  COMMAND ${library_ship}
  DEPENDS ${library_built} quillery_library_build
  COMMENT "Shipping the library built by ${QUILLERY_LIBRARY_TOOLCHAIN}"
  VERBATIM)
add_custom_target(Quillery ALL DEPENDS ${library_shipped})
if(TARGET quillery_test_chain)
  add_dependencies(Quillery quillery_test_chain)
endif()
