# What ships from a flavour whose toolchain file names another toolchain for it (QUILLERY_LIBRARY_TOOLCHAIN): the
# add-in library and the doctor are configured and built in a build of their own under <build>/library with that
# toolchain and the same sources, then copied beside this build's programs and shipped (stripped, debug
# information beside them, signed) like everything else this build ships. The targets Quillery and
# quillery-doctor stand for them here, so that whatever needs them (tests, the simulator, the package) waits for
# them as for files of this build; QUILLERY_LIBRARY_FILE and QUILLERY_DOCTOR_FILE name the shipped files.
#
# That build also links the validating flavour of both (tools/guard-validator), which the tests run from
# <build>/bin/validating, and the benchmark's null add-in. It compiles the product's code a second time (the
# tests and tools of this build link the code compiled by this build's compilers), builds those targets and
# nothing else, and leaves the shipping to this build (QUILLERY_LIBRARY_ONLY).
include(ExternalProject)

set(library_dir ${CMAKE_BINARY_DIR}/library)
set(shipped_names Quillery.dll quillery-doctor.exe)
# The start-up benchmark's null add-in is built exactly as the add-in, so that the two differ in their code alone.
set(built_names ${shipped_names} QuilleryNull.dll)
set(library_arguments -DCMAKE_TOOLCHAIN_FILE=${QUILLERY_LIBRARY_TOOLCHAIN} -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
                      -DQUILLERY_WARNINGS_AS_ERRORS=${QUILLERY_WARNINGS_AS_ERRORS} -DBUILD_TESTING=OFF
                      -DQUILLERY_LIBRARY_ONLY=ON)
foreach(language C CXX)
  if(CMAKE_${language}_COMPILER_LAUNCHER)
    list(APPEND library_arguments "-DCMAKE_${language}_COMPILER_LAUNCHER=${CMAKE_${language}_COMPILER_LAUNCHER}")
  endif()
endforeach()
set(library_byproducts)
foreach(name ${built_names})
  list(APPEND library_byproducts ${library_dir}/bin/${name} ${library_dir}/bin/${name}.map)
endforeach()
foreach(name ${shipped_names})
  list(APPEND library_byproducts ${library_dir}/bin/validating/${name})
endforeach()
ExternalProject_Add(quillery_library_build
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${library_dir}
  CMAKE_ARGS ${library_arguments}
  BUILD_COMMAND ${CMAKE_COMMAND} --build ${library_dir}
                --target Quillery quillery-doctor QuilleryNull QuilleryValidating quillery-doctor-validating
  # Its own build knows whether anything changed; asking it costs a fraction of a second.
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${library_byproducts}
  INSTALL_COMMAND ""
  # Its output goes to files under <build>/library, and is shown here only when a step fails.
  LOG_CONFIGURE ON
  LOG_BUILD ON
  LOG_OUTPUT_ON_FAILURE ON)

# Each file is shipped as this build ships its own: copied with its map (which the hardening and bill-of-materials
# checks read beside it), stripped and signed.
foreach(name ${built_names})
  set(built ${library_dir}/bin/${name})
  set(shipped ${CMAKE_BINARY_DIR}/bin/${name})
  quillery_sign_command(ship ${shipped})
  list(INSERT ship 1 -DOBJCOPY=${CMAKE_OBJCOPY} -DSTRIP=${CMAKE_STRIP})
  add_custom_command(
    OUTPUT ${shipped} ${shipped}.debug ${shipped}.map
    COMMAND ${CMAKE_COMMAND} -E copy ${built} ${shipped}
    COMMAND ${CMAKE_COMMAND} -E copy ${built}.map ${shipped}.map
    COMMAND ${ship}
    DEPENDS ${built} quillery_library_build
    COMMENT "Shipping ${name} built by ${QUILLERY_LIBRARY_TOOLCHAIN}"
    VERBATIM)
  string(REGEX REPLACE "\\.(dll|exe)$" "" target ${name})
  add_custom_target(${target} ALL DEPENDS ${shipped})
  if(TARGET quillery_test_chain)
    add_dependencies(${target} quillery_test_chain)
  endif()
endforeach()
set(QUILLERY_LIBRARY_FILE ${CMAKE_BINARY_DIR}/bin/Quillery.dll)
set(QUILLERY_DOCTOR_FILE ${CMAKE_BINARY_DIR}/bin/quillery-doctor.exe)

# The validating flavour of both (tools/guard-validator), for the tests alone: copied as built, never shipped.
set(validating_files)
foreach(name ${shipped_names})
  set(validating ${CMAKE_BINARY_DIR}/bin/validating/${name})
  add_custom_command(OUTPUT ${validating}
                     COMMAND ${CMAKE_COMMAND} -E copy ${library_dir}/bin/validating/${name} ${validating}
                     DEPENDS ${library_dir}/bin/validating/${name} quillery_library_build VERBATIM)
  list(APPEND validating_files ${validating})
endforeach()
add_custom_target(quillery_validating ALL DEPENDS ${validating_files})
set(QUILLERY_VALIDATING_DIR ${CMAKE_BINARY_DIR}/bin/validating)
