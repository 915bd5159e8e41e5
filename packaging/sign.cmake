# Signs with osslsigncode when a code-signing certificate is given: WIRELET_SIGN_PKCS12 names its
# PKCS#12 file, WIRELET_SIGN_PASSWORD holds its password, and WIRELET_SIGN_TIMESTAMP, if set, is
# the URL of an RFC 3161 timestamp server. Without one, nothing is signed. CPack runs this before
# packaging, after its strip (which would remove a signature), on the staged Wirelet.exe;
# msi.cmake runs it on the MSI, setting wirelet_sign_file.
if(NOT DEFINED wirelet_sign_file)
    set(wirelet_sign_file "${CPACK_TEMPORARY_DIRECTORY}/Wirelet.exe")
endif()
if(NOT "$ENV{WIRELET_SIGN_PKCS12}" STREQUAL "")
    # In a file only its owner reads: on the command line, any user would see it.
    set(pass "${CPACK_TOPLEVEL_DIRECTORY}/sign.pass")
    file(TOUCH "${pass}")
    file(CHMOD "${pass}" PERMISSIONS OWNER_READ OWNER_WRITE)
    file(WRITE "${pass}" "$ENV{WIRELET_SIGN_PASSWORD}")
    set(timestamp)
    if(NOT "$ENV{WIRELET_SIGN_TIMESTAMP}" STREQUAL "")
        set(timestamp -ts "$ENV{WIRELET_SIGN_TIMESTAMP}")
    endif()
    execute_process(COMMAND osslsigncode sign -pkcs12 "$ENV{WIRELET_SIGN_PKCS12}"
                            -readpass "${pass}" -h sha256 -n Wirelet ${timestamp}
                            -in "${wirelet_sign_file}" -out "${wirelet_sign_file}.signed"
                    RESULT_VARIABLE failed)
    file(REMOVE "${pass}")
    if(failed)
        message(FATAL_ERROR "osslsigncode could not sign ${wirelet_sign_file}")
    endif()
    file(RENAME "${wirelet_sign_file}.signed" "${wirelet_sign_file}")
endif()
unset(wirelet_sign_file)
