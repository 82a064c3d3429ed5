# Makes the throwaway signing chain of one build in CHAIN_DIR: a root, a code-signing certificate and a
# time-stamping certificate issued by it, with their keys. It signs test builds only; nothing outside the
# build directory trusts it, and it is made again when any of its files is missing.
#   cmake -DOPENSSL=<openssl> -DCHAIN_DIR=<dir> -DSIGNER=<code-signing subject> -P make-test-chain.cmake

file(MAKE_DIRECTORY "${CHAIN_DIR}")
set(days 3650)

# Both Windows builds of a checkout name one folder, and each build's Ninja runs this once of its own accord
# (its log has no record of the other's run): a complete chain is kept, or the second build would sign with a
# new signer while the first build's files carry the old one.
set(complete TRUE)
foreach(file test-root.key test-root.crt test-root.cer code-signing.crt code-signing.key time-stamping.crt
             time-stamping.key)
  if(NOT EXISTS "${CHAIN_DIR}/${file}")
    set(complete FALSE)
  endif()
endforeach()
if(complete)
  return()
endif()

function(run)
  execute_process(COMMAND "${OPENSSL}" ${ARGN} WORKING_DIRECTORY "${CHAIN_DIR}" RESULT_VARIABLE result
                  OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "openssl ${ARGV0} failed (${result}):\n${output}")
  endif()
endfunction()

run(req -x509 -newkey rsa:2048 -nodes -keyout test-root.key -out test-root.crt -days ${days}
    -subj "/O=Corvane/CN=Quillery Build Test Root" -addext "basicConstraints=critical,CA:TRUE"
    -addext "keyUsage=critical,keyCertSign,cRLSign")
run(x509 -in test-root.crt -outform DER -out test-root.cer)

# name, subject, extended key usage
foreach(leaf "code-signing;${SIGNER};codeSigning"
             "time-stamping;Quillery Build Test Time Stamping;critical,timeStamping")
  list(GET leaf 0 name)
  list(GET leaf 1 subject)
  list(GET leaf 2 usage)
  file(WRITE "${CHAIN_DIR}/${name}.ext"
       "basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=${usage}\n")
  run(req -newkey rsa:2048 -nodes -keyout ${name}.key -out ${name}.csr -subj "/O=Corvane/CN=${subject}")
  run(x509 -req -in ${name}.csr -CA test-root.crt -CAkey test-root.key -CAcreateserial -out ${name}.crt
      -days ${days} -extfile ${name}.ext)
  file(REMOVE "${CHAIN_DIR}/${name}.csr" "${CHAIN_DIR}/${name}.ext")
endforeach()
