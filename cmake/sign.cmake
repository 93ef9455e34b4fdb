# Signs one file in place with Authenticode (SHA-256) through osslsigncode;
# without a certificate (PFX empty) it leaves the file as it is.
#   -DTOOL=<osslsigncode> -DPFX=<certificate.pfx> -DFILE=<file>
# Given CLASP_SIGN_TIMESTAMP_URL in the environment, the signature gets an
# RFC 3161 time stamp from that server: it then stays valid after the
# certificate expires, for it proves it was made while the certificate was.
# The password comes from CLASP_SIGN_PASSWORD in the environment, and reaches
# osslsigncode through a file only its owner can read, removed at once: never
# on a command line, never in the build tree's files.
if(NOT PFX)
  return()
endif()

set(password_file ${FILE}.pass)
file(TOUCH ${password_file})
file(CHMOD ${password_file} PERMISSIONS OWNER_READ OWNER_WRITE)
file(WRITE ${password_file} "$ENV{CLASP_SIGN_PASSWORD}")
set(timestamp)
if(NOT "$ENV{CLASP_SIGN_TIMESTAMP_URL}" STREQUAL "")
  set(timestamp -ts "$ENV{CLASP_SIGN_TIMESTAMP_URL}")
endif()
execute_process(
  COMMAND ${TOOL} sign -pkcs12 ${PFX} -readpass ${password_file} -h sha256
          -n "Clasp Holdfast" ${timestamp} -in ${FILE} -out ${FILE}.signed
  RESULT_VARIABLE status
  OUTPUT_VARIABLE output
  ERROR_VARIABLE output)
file(REMOVE ${password_file})
if(NOT status EQUAL 0)
  file(REMOVE ${FILE}.signed)
  message(FATAL_ERROR "signing ${FILE} failed:\n${output}")
endif()
file(RENAME ${FILE}.signed ${FILE})
