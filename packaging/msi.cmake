# CPack's External generator runs this on the staged files: wixl compiles
# platform/windows/wirelet.wxs over them into <package file name>.msi for x64 or x86, with the
# version and the installed size (KB, for Apps & features) given to it; then it is signed.
file(GLOB_RECURSE files "${CPACK_TEMPORARY_DIRECTORY}/*")
set(size 0)
foreach(file IN LISTS files)
    file(SIZE "${file}" bytes)
    math(EXPR size "${size} + ${bytes}")
endforeach()
math(EXPR size "(${size} + 1023) / 1024")

# The upgrade entry ends below the next build number, taking in this version's rebuilds.
string(REGEX MATCH "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$" matched "${CPACK_PACKAGE_VERSION}")
if(NOT matched)
    message(FATAL_ERROR "An MSI's version is three numbers, not ${CPACK_PACKAGE_VERSION}")
endif()
math(EXPR build "${CMAKE_MATCH_3} + 1")
set(next "${CMAKE_MATCH_1}.${CMAKE_MATCH_2}.${build}")

# 32-bit programs go to Program Files (x86) on 64-bit Windows, which may have both installed.
if(CPACK_WIRELET_ARCH STREQUAL x64)
    set(arch -D Name=Wirelet -D Win64=yes -D ProgramFiles=ProgramFiles64Folder)
else()
    set(arch -D "Name=Wirelet (32-bit)" -D Win64=no -D ProgramFiles=ProgramFilesFolder)
endif()
set(msi "${CPACK_TOPLEVEL_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.msi")
# wixl looks for the files beside the .wxs and in the working directory.
execute_process(COMMAND wixl -a ${CPACK_WIRELET_ARCH} ${arch}
                        -D UpgradeCode=${CPACK_WIRELET_UPGRADE_CODE}
                        -D Libgcc=${CPACK_WIRELET_LIBGCC} -D Version=${CPACK_PACKAGE_VERSION}
                        -D Next=${next} -D Size=${size} -o "${msi}" "${CPACK_WIRELET_WXS}"
                WORKING_DIRECTORY "${CPACK_TEMPORARY_DIRECTORY}" COMMAND_ERROR_IS_FATAL ANY)
set(wirelet_sign_file "${msi}")
include(${CMAKE_CURRENT_LIST_DIR}/sign.cmake)
set(CPACK_EXTERNAL_BUILT_PACKAGES "${msi}")
