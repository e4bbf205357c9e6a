# SPDX-License-Identifier: GPL-3.0-or-later
# Run by cpack on its staging copy of the package, before making it: strips the
# programs as Debian's dh_strip does, which also drops the .comment and .note sections
# that a plain strip (CPACK_STRIP_FILES) keeps.
file(GLOB programas "${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/bin/*")
if(NOT programas)
    message(FATAL_ERROR "no program to strip in ${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/bin")
endif()
foreach(programa IN LISTS programas)
    execute_process(
        COMMAND ${CPACK_TELQUIN_STRIP} --remove-section=.comment --remove-section=.note --strip-unneeded ${programa}
        RESULT_VARIABLE estado)
    if(NOT estado EQUAL 0)
        message(FATAL_ERROR "strip failed on ${programa}")
    endif()
endforeach()
