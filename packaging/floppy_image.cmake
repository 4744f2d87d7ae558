# Run by CPack once the ZIP is made: puts what the ZIP holds on a 1,474,560-byte
# FAT12 floppy image with a volume label, beside the ZIP, with mtools (which
# writes the image as a file: no root, no loop mount). The image is made under
# another name and renamed at the end, so a failed run leaves no half image.
if(NOT CPACK_RQ47_MFORMAT OR NOT CPACK_RQ47_MCOPY)
  message(FATAL_ERROR "The floppy image needs mtools (mformat, mcopy), which is not installed: "
                      "install the Debian package mtools (tools/install-deps.sh does), "
                      "then configure the win32 preset again")
endif()

set(zip "")
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(package MATCHES "\\.zip$")
    set(zip "${package}")
  endif()
endforeach()
if(NOT zip)
  message(FATAL_ERROR "CPack made no ZIP (packages made: ${CPACK_PACKAGE_FILES}), so there is "
                      "nothing to put on the floppy image")
endif()

set(image "${CPACK_PACKAGE_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.img")
set(partial "${image}.partial")
set(contents "${CPACK_PACKAGE_DIRECTORY}/_CPack_Packages/floppy")
file(REMOVE_RECURSE "${contents}")
file(REMOVE "${partial}")
file(MAKE_DIRECTORY "${contents}")

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output
                  ERROR_VARIABLE output WORKING_DIRECTORY "${contents}")
  if(NOT result EQUAL 0)
    file(REMOVE "${partial}")
    message(FATAL_ERROR "The floppy image ${image} was not made: ${what} failed (${result}):\n"
                        "${output}")
  endif()
endfunction()

run("unpacking ${zip}" "${CMAKE_COMMAND}" -E tar xf "${zip}")
file(GLOB files RELATIVE "${contents}" "${contents}/*")
list(SORT files)
# mtools reads no user's settings and checks nothing of a drive that is a file.
set(mtools "${CMAKE_COMMAND}" -E env MTOOLSRC=/dev/null MTOOLS_SKIP_CHECK=1)
# 1440 KB, 80 tracks of 18 sectors on two sides: a 3.5-inch high-density
# floppy. A fixed serial number and the files' own times make the same image
# from the same files.
run("formatting the image" ${mtools} "${CPACK_RQ47_MFORMAT}" -i "${partial}" -C -f 1440
    -v "${CPACK_RQ47_FLOPPY_LABEL}" -N 34730302 ::)
run("copying ${files} onto the image" ${mtools} "${CPACK_RQ47_MCOPY}" -i "${partial}" -m -p
    ${files} ::/)
file(RENAME "${partial}" "${image}")
file(REMOVE_RECURSE "${contents}")
message(STATUS "CPack: - floppy image: ${image}")
