# The man pages are made while building: help2man runs each program's --help and --version and adds the
# hand-written sections of man/<program>.h2m. Neither program reaches a display for those two options;
# the offscreen platform is set all the same so that no page depends on one. Without help2man (the
# Makefile installs it) the build goes on without man pages and says so.
#
#     include(${CMAKE_SOURCE_DIR}/cmake/Man.cmake)
#     loftwick_man_page(loftwick)

find_program(LOFTWICK_HELP2MAN help2man)
if(NOT LOFTWICK_HELP2MAN)
    message(STATUS "help2man not found: the man pages are not made")
endif()
if(NOT TARGET man)
    add_custom_target(man ALL)
endif()

function(loftwick_man_page target)
    if(NOT LOFTWICK_HELP2MAN)
        return()
    endif()
    set(include "${CMAKE_SOURCE_DIR}/man/${target}.h2m")
    set(page "${CMAKE_BINARY_DIR}/man/${target}.1")
    # A sanitizer build's leak report at exit would fail the run and with it the build.
    add_custom_command(OUTPUT "${page}"
        COMMAND ${CMAKE_COMMAND} -E make_directory "${CMAKE_BINARY_DIR}/man"
        COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0
                "${LOFTWICK_HELP2MAN}" --no-info --include "${include}" --output "${page}"
                "$<TARGET_FILE:${target}>"
        DEPENDS ${target} "${include}"
        COMMENT "Making the man page ${target}.1"
        VERBATIM)
    add_custom_target(man_${target} DEPENDS "${page}")
    add_dependencies(man man_${target})
    install(FILES "${page}" DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
