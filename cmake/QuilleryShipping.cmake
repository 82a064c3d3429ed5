# What customers install is a release build as the vendor ships it: optimised, stripped of its debug
# information (kept beside the build, linked from the binary, for reading crash dumps) and signed with
# Authenticode (SHA-256, time-stamped). Windows flavours only; toolchain-neutral (x64 and x86 alike).
#
#   quillery_ship(<target>)                 after linking: strip, link the debug file, sign
#   quillery_sign_command(<var> <file>)     <var> becomes the COMMAND that signs <file> in place (packages)
#
# Every signed file is kept as it was before signing in <build>/unsigned/, the bytes a rebuild of the commit
# must give (scripts/reproduce.sh). A shipped program or library also leaves the linker's map beside it as
# <file>.map, from which the bill of materials learns what the toolchain linked in.
#
# Signing certificate: a release build names a PFX file and a file holding its password in the environment
# variables QUILLERY_SIGN_PFX and QUILLERY_SIGN_PASSWORD_FILE when it is configured, and the RFC 3161
# time-stamping service in QUILLERY_SIGN_TIMESTAMP_URL. Without them every build makes a throwaway chain of
# its own in <build>/signing (a root, a code-signing and a time-stamping certificate) and signs with that, so
# that every build and every test run signs, time-stamped offline by the chain's own authority
# (tools/signing/time_stamping_authority.py).

find_program(QUILLERY_OSSLSIGNCODE osslsigncode)
find_program(QUILLERY_OPENSSL openssl)
if(NOT QUILLERY_OSSLSIGNCODE OR NOT QUILLERY_OPENSSL)
  message(FATAL_ERROR "osslsigncode and openssl sign what the build ships (Debian: osslsigncode, openssl)")
endif()
if(NOT CMAKE_OBJCOPY OR NOT CMAKE_STRIP)
  message(FATAL_ERROR "The toolchain's objcopy and strip were not found: the shipped files cannot be stripped")
endif()

# The folder of the throwaway chain. Both Windows builds of a checkout name the same one (scripts/test.sh does),
# so that the 64-bit and the 32-bit files carry one signer, as a release's do.
set(QUILLERY_SIGNING_DIR ${CMAKE_BINARY_DIR}/signing CACHE PATH "Folder of the build's throwaway signing chain")
set(QUILLERY_UNSIGNED_DIR ${CMAKE_BINARY_DIR}/unsigned)
# The throwaway chain's root, which the tests trust (PEM for osslsigncode, DER for Windows).
set(QUILLERY_TEST_ROOT ${QUILLERY_SIGNING_DIR}/test-root.crt)
set(QUILLERY_TEST_ROOT_DER ${QUILLERY_SIGNING_DIR}/test-root.cer)
# What the signature says the file is (Windows shows it when it asks whether to run a signed package).
set(QUILLERY_SIGN_DESCRIPTION "Quillery for Microsoft Office")
# Whom the throwaway chain's code-signing certificate names.
set(QUILLERY_TEST_SIGNER "Corvane Quillery Test Signing")

set(QUILLERY_SIGN_PFX "$ENV{QUILLERY_SIGN_PFX}")
set(QUILLERY_SIGN_PASSWORD_FILE "$ENV{QUILLERY_SIGN_PASSWORD_FILE}")
set(QUILLERY_SIGN_TIMESTAMP_URL "$ENV{QUILLERY_SIGN_TIMESTAMP_URL}")
if(QUILLERY_SIGN_PFX)
  set(QUILLERY_RELEASE_SIGNING ON)
  # A release signature without a time stamp dies with its certificate; our own authority is trusted nowhere.
  foreach(setting QUILLERY_SIGN_PASSWORD_FILE QUILLERY_SIGN_TIMESTAMP_URL)
    if(NOT ${setting})
      message(FATAL_ERROR "QUILLERY_SIGN_PFX is set: set ${setting} as well (see README, release builds)")
    endif()
  endforeach()
  foreach(file ${QUILLERY_SIGN_PFX} ${QUILLERY_SIGN_PASSWORD_FILE})
    if(NOT EXISTS ${file})
      message(FATAL_ERROR "Signing: ${file} does not exist")
    endif()
  endforeach()
  set(QUILLERY_SIGN_SETTINGS -DPFX=${QUILLERY_SIGN_PFX} -DPASSWORD_FILE=${QUILLERY_SIGN_PASSWORD_FILE}
                             -DTIMESTAMP_URL=${QUILLERY_SIGN_TIMESTAMP_URL})
  message(STATUS "Signing with ${QUILLERY_SIGN_PFX}, time stamps from ${QUILLERY_SIGN_TIMESTAMP_URL}")
else()
  set(QUILLERY_RELEASE_SIGNING OFF)
  set(QUILLERY_SIGN_SETTINGS -DCHAIN_DIR=${QUILLERY_SIGNING_DIR})
  set(chain_files ${QUILLERY_TEST_ROOT} ${QUILLERY_TEST_ROOT_DER} ${QUILLERY_SIGNING_DIR}/code-signing.crt
                  ${QUILLERY_SIGNING_DIR}/code-signing.key ${QUILLERY_SIGNING_DIR}/time-stamping.crt
                  ${QUILLERY_SIGNING_DIR}/time-stamping.key)
  add_custom_command(
    OUTPUT ${chain_files}
    COMMAND ${CMAKE_COMMAND} -DOPENSSL=${QUILLERY_OPENSSL} -DCHAIN_DIR=${QUILLERY_SIGNING_DIR}
            "-DSIGNER=${QUILLERY_TEST_SIGNER}" -P ${CMAKE_CURRENT_LIST_DIR}/make-test-chain.cmake
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/make-test-chain.cmake
    COMMENT "A throwaway signing chain for this build (no release certificate named)"
    VERBATIM)
  add_custom_target(quillery_test_chain DEPENDS ${chain_files})
endif()

set(QUILLERY_SIGN_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/ship-file.cmake)

# Every file the build signs, for the test that verifies them all.
set_property(GLOBAL PROPERTY QUILLERY_SIGNED_FILES)

function(quillery_sign_command var file)
  set_property(GLOBAL APPEND PROPERTY QUILLERY_SIGNED_FILES ${file})
  set(${var}
      ${CMAKE_COMMAND} -DOSSLSIGNCODE=${QUILLERY_OSSLSIGNCODE} "-DDESCRIPTION=${QUILLERY_SIGN_DESCRIPTION}"
      ${QUILLERY_SIGN_SETTINGS} -DPYTHON=${QUILLERY_PYTHON} -DUNSIGNED_DIR=${QUILLERY_UNSIGNED_DIR}
      -DSOURCE_DATE_EPOCH=${QUILLERY_SOURCE_DATE_EPOCH} -P ${QUILLERY_SIGN_SCRIPT} -- ${file}
      PARENT_SCOPE)
endfunction()

# The C runtime's TLS support (tlssup.o of MinGW-w64's libmingw32.a) hands Windows two TLS callbacks, which the
# loader calls through a pointer: both must be in the guard's table, and the runtime's objects carry no guard
# information. One of them is a static function, which nothing outside its object can name; the toolchain of
# what ships links a copy of the object in which it is global, so that the load configuration's table supplement
# (win/image/LoadConfiguration*.c) lists it. Nothing else in the copy changes, and the archive's own member is
# then never taken.
if(QUILLERY_LOAD_CONFIGURATION)
  set(runtime_dir ${CMAKE_BINARY_DIR}/runtime)
  file(MAKE_DIRECTORY ${runtime_dir})
  set(mingw_runtime /usr/${QUILLERY_TRIPLE}/lib/libmingw32.a)
  execute_process(COMMAND ${CMAKE_AR} t ${mingw_runtime} OUTPUT_VARIABLE members COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX MATCH "[^\n]*-tlssup\.o" tls_member "${members}")
  execute_process(COMMAND ${CMAKE_AR} x ${mingw_runtime} ${tls_member} WORKING_DIRECTORY ${runtime_dir}
                  COMMAND_ERROR_IS_FATAL ANY)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(tls_destructor __dyn_tls_dtor)
  else()
    set(tls_destructor ___dyn_tls_dtor@12)
  endif()
  set(QUILLERY_TLS_SUPPORT ${runtime_dir}/tlssup.o)
  execute_process(COMMAND ${CMAKE_OBJCOPY} --globalize-symbol=${tls_destructor} ${runtime_dir}/${tls_member}
                          ${QUILLERY_TLS_SUPPORT} COMMAND_ERROR_IS_FATAL ANY)
endif()

# Links a target as what ships is linked: what only shipped files may declare of themselves (the toolchain file
# names it), and the linker's map beside the file. A library built to be shipped by another build is linked so too.
# The toolchain of what ships (cmake/ShippedToolchain.cmake) adds the image's own parts: its load configuration
# and the stack protector's canary with its seed.
function(quillery_link_as_shipped target)
  if(QUILLERY_LOAD_CONFIGURATION)
    target_sources(${target} PRIVATE ${QUILLERY_LOAD_CONFIGURATION} ${CMAKE_SOURCE_DIR}/win/image/StackGuard.c)
    target_link_options(${target} PRIVATE ${QUILLERY_TLS_SUPPORT})
  endif()
  target_link_options(${target} PRIVATE ${QUILLERY_SHIPPED_LINK_OPTIONS} "LINKER:-Map=$<TARGET_FILE:${target}>.map")
endfunction()

function(quillery_ship target)
  quillery_link_as_shipped(${target})
  quillery_sign_command(sign $<TARGET_FILE:${target}>)
  # The debug information goes to <file>.debug beside the binary, where debuggers look for the linked file.
  list(INSERT sign 1 -DOBJCOPY=${CMAKE_OBJCOPY} -DSTRIP=${CMAKE_STRIP})
  add_custom_command(TARGET ${target} POST_BUILD COMMAND ${sign} VERBATIM)
  if(TARGET quillery_test_chain)
    add_dependencies(${target} quillery_test_chain)
  endif()
endfunction()
