# SPDX-License-Identifier: GPL-3.0-or-later
# Run by cpack on its staging copy of the package, before making it: strips the
# program and its modules as Debian's dh_strip does, which also drops the .comment and
# .note sections that a plain strip (CPACK_STRIP_FILES) keeps.
set(raiz "${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
file(GLOB programas "${raiz}/bin/*")
file(GLOB_RECURSE modulos "${raiz}/lib/*.so")
if(NOT programas OR NOT modulos)
    message(FATAL_ERROR "no program or no module to strip in ${raiz}")
endif()
foreach(programa IN LISTS programas modulos)
    execute_process(
        COMMAND ${CPACK_TELQUIN_STRIP} --remove-section=.comment --remove-section=.note --strip-unneeded ${programa}
        RESULT_VARIABLE estado)
    if(NOT estado EQUAL 0)
        message(FATAL_ERROR "strip failed on ${programa}")
    endif()
endforeach()
