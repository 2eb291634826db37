# The language files (numbered texts and help pages) live beside each executable, in "Language/", which is
# where the program looks for them first. Include this file once and call the function for every program
# that shows localised texts or help:
#
#     include(${CMAKE_SOURCE_DIR}/cmake/Language.cmake)
#     loftwick_install_language(loftwick)
#
# The copy runs after each link of the target, so an edited language file reaches the build folder with the
# next link; `cmake --build ... --target loftwick_language_<target>` copies it at any time.

set(LOFTWICK_LANGUAGE_SOURCE_DIR "${CMAKE_CURRENT_LIST_DIR}/../Language")
cmake_path(NORMAL_PATH LOFTWICK_LANGUAGE_SOURCE_DIR)

function(loftwick_install_language target)
    set(copy_command ${CMAKE_COMMAND} -E copy_directory "${LOFTWICK_LANGUAGE_SOURCE_DIR}"
                     "$<TARGET_FILE_DIR:${target}>/Language")
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${copy_command}
        COMMENT "Copying the language files beside ${target}"
        VERBATIM)
    add_custom_target(loftwick_language_${target}
        COMMAND ${copy_command}
        COMMENT "Copying the language files beside ${target}"
        VERBATIM)
endfunction()

# The installed layout: <prefix>/bin/<program> finds its texts in <prefix>/share/loftwick/Language/.
# Call once from the top-level CMakeLists.txt when the project installs its programs.
function(loftwick_install_language_files)
    install(DIRECTORY "${LOFTWICK_LANGUAGE_SOURCE_DIR}/" DESTINATION share/loftwick/Language)
endfunction()
