# Makes one built file what customers install, in place:
#   cmake [-DOBJCOPY=<objcopy> -DSTRIP=<strip>] -DOSSLSIGNCODE=<osslsigncode> -DDESCRIPTION=<text>
#         (-DCHAIN_DIR=<throwaway chain> | -DPFX=<pfx> -DPASSWORD_FILE=<file> -DTIMESTAMP_URL=<url>)
#         -P ship-file.cmake -- <file>
# With OBJCOPY and STRIP (a linked binary) the debug information moves to <file>.debug, which the stripped
# binary names in its .gnu_debuglink section; then the file is signed with Authenticode, SHA-256, time-stamped.
# Everything is written to a temporary file first; on any failure the file itself is removed, so that the next
# build makes it again instead of shipping it half done.

set(file "")
math(EXPR last "${CMAKE_ARGC} - 1")
foreach(index RANGE ${last})
  if(CMAKE_ARGV${index} STREQUAL "--" AND index LESS last)
    math(EXPR next "${index} + 1")
    set(file "${CMAKE_ARGV${next}}")
  endif()
endforeach()
if(NOT file OR NOT EXISTS "${file}")
  message(FATAL_ERROR "ship-file.cmake: no file to ship ('${file}')")
endif()

set(work "${file}.shipping")

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    file(REMOVE "${work}" "${work}.stripped" "${file}")
    list(GET ARGN 0 program)
    get_filename_component(program "${program}" NAME)
    message(FATAL_ERROR "${program} failed for ${file} (${result}):\n${output}")
  endif()
endfunction()

file(REMOVE "${work}")
set(unsigned "${file}")
if(OBJCOPY AND STRIP)
  set(debug "${file}.debug")
  run("${OBJCOPY}" --only-keep-debug "${file}" "${debug}")
  run("${STRIP}" --strip-all -o "${work}.stripped" "${file}")
  # The link holds the debug file's name and checksum; a debugger finds it beside the binary.
  run("${OBJCOPY}" "--add-gnu-debuglink=${debug}" "${work}.stripped")
  set(unsigned "${work}.stripped")
endif()

if(CHAIN_DIR)
  set(certificate -certs "${CHAIN_DIR}/code-signing.crt" -key "${CHAIN_DIR}/code-signing.key")
  # osslsigncode answers as its own time-stamping authority: no network, and the tests trust its root.
  set(time_stamp -TSA-certs "${CHAIN_DIR}/time-stamping.crt" -TSA-key "${CHAIN_DIR}/time-stamping.key")
elseif(PFX AND PASSWORD_FILE AND TIMESTAMP_URL)
  set(certificate -pkcs12 "${PFX}" -readpass "${PASSWORD_FILE}")
  set(time_stamp -ts "${TIMESTAMP_URL}")
else()
  file(REMOVE "${file}")
  message(FATAL_ERROR "ship-file.cmake: neither a throwaway chain nor a release certificate to sign with")
endif()
run("${OSSLSIGNCODE}" sign ${certificate} -h sha256 -n "${DESCRIPTION}" ${time_stamp} -in "${unsigned}"
    -out "${work}")
file(REMOVE "${work}.stripped")
file(RENAME "${work}" "${file}")
