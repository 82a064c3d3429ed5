# Makes one built file what customers install, in place:
#   cmake [-DOBJCOPY=<objcopy> -DSTRIP=<strip>] -DOSSLSIGNCODE=<osslsigncode> -DDESCRIPTION=<text>
#         (-DCHAIN_DIR=<throwaway chain> -DPYTHON=<python3> | -DPFX=<pfx> -DPASSWORD_FILE=<file>
#          -DTIMESTAMP_URL=<url>)
#         [-DUNSIGNED_DIR=<folder>] [-DSOURCE_DATE_EPOCH=<seconds>] -P ship-file.cmake -- <file>
# With OBJCOPY and STRIP (a linked binary) the debug information moves to <file>.debug, which the stripped
# binary names in its .gnu_debuglink section; then the file is signed with Authenticode, SHA-256, time-stamped.
# With UNSIGNED_DIR, the file as it is just before signing is kept there under its own name: the bytes that
# removing the signature from the shipped file gives back.
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
    file(REMOVE "${work}" "${work}.stripped" "${work}.once" "${work}.unsigned" "${file}")
    list(GET ARGN 0 program)
    get_filename_component(program "${program}" NAME)
    message(FATAL_ERROR "${program} failed for ${file} (${result}):\n${output}")
  endif()
endfunction()

file(REMOVE "${work}")
set(unsigned "${file}")
if(CHAIN_DIR)
  set(certificate -certs "${CHAIN_DIR}/code-signing.crt" -key "${CHAIN_DIR}/code-signing.key")
  # The chain's own time-stamping authority answers on the loopback while the file is signed: no network, and
  # the tests trust its root.
  set(time_stamp -ts "{url}")
  set(through_authority "${PYTHON}" "${CMAKE_CURRENT_LIST_DIR}/../tools/signing/time_stamping_authority.py"
                        "${CHAIN_DIR}/time-stamping.crt" "${CHAIN_DIR}/time-stamping.key" --)
elseif(PFX AND PASSWORD_FILE AND TIMESTAMP_URL)
  set(certificate -pkcs12 "${PFX}" -readpass "${PASSWORD_FILE}")
  set(time_stamp -ts "${TIMESTAMP_URL}")
else()
  file(REMOVE "${file}")
  message(FATAL_ERROR "ship-file.cmake: neither a throwaway chain nor a release certificate to sign with")
endif()

if(OBJCOPY AND STRIP)
  # objcopy and strip stamp the PE header of what they write with SOURCE_DATE_EPOCH, else with the time.
  if(SOURCE_DATE_EPOCH)
    set(ENV{SOURCE_DATE_EPOCH} "${SOURCE_DATE_EPOCH}")
  endif()
  set(debug "${file}.debug")
  run("${OBJCOPY}" --only-keep-debug "${file}" "${debug}")
  run("${STRIP}" --strip-all -o "${work}.stripped" "${file}")
  # The link holds the debug file's name and checksum; a debugger finds it beside the binary.
  run("${OBJCOPY}" "--add-gnu-debuglink=${debug}" "${work}.stripped")
  set(unsigned "${work}.stripped")
endif()

# Signing lays a file out anew: a program's signature starts at an 8-byte boundary, so the file is padded and
# its PE checksum set over the padded bytes; a package's compound file is written again. Removing the signature
# keeps that layout. Signed once (no time stamp: it is thrown away) and the signature removed, the file is
# already laid out so, and the shipped file is exactly these bytes and a signature.
run("${OSSLSIGNCODE}" sign ${certificate} -h sha256 -in "${unsigned}" -out "${work}.once")
run("${OSSLSIGNCODE}" remove-signature -in "${work}.once" -out "${work}.unsigned")
file(REMOVE "${work}.stripped" "${work}.once")
set(unsigned "${work}.unsigned")

if(UNSIGNED_DIR)
  get_filename_component(name "${file}" NAME)
  file(MAKE_DIRECTORY "${UNSIGNED_DIR}")
  file(COPY_FILE "${unsigned}" "${UNSIGNED_DIR}/${name}")
endif()
run(${through_authority} "${OSSLSIGNCODE}" sign ${certificate} -h sha256 -n "${DESCRIPTION}" ${time_stamp}
    -in "${unsigned}" -out "${work}")
file(REMOVE "${work}.unsigned")
file(RENAME "${work}" "${file}")
