# SPDX-License-Identifier: GPL-2.0-or-later
# The manual pages of orvexa and orvexa-batch, made at build time from each built program's
# --help text (cmake/help_to_man.cmake), so that an option added to the help is in its page.
find_program(AWK_PROGRAM NAMES mawk gawk awk REQUIRED)
find_program(GZIP_PROGRAM gzip REQUIRED)

function(orvexa_manual_page target summary see_also)
  set(page ${CMAKE_BINARY_DIR}/man/${target}.1.gz)
  add_custom_command(OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${target}> -DNAME=${target} "-DSUMMARY=${summary}"
            "-DSOURCE=Orvexa ${PROJECT_VERSION}" "-DSEE_ALSO=${see_also}" -DAWK=${AWK_PROGRAM}
            -DGZIP=${GZIP_PROGRAM} -DCONVERTER=${CMAKE_SOURCE_DIR}/cmake/help_to_man.awk -DOUTPUT=${page}
            -P ${CMAKE_SOURCE_DIR}/cmake/help_to_man.cmake
    DEPENDS ${target} ${CMAKE_SOURCE_DIR}/cmake/help_to_man.awk ${CMAKE_SOURCE_DIR}/cmake/help_to_man.cmake
    COMMENT "Writing the manual page of ${target} from its --help"
    VERBATIM)
  add_custom_target(${target}_manual_page ALL DEPENDS ${page})
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()

orvexa_manual_page(orvexa "sort the frames of a video and keep the best ones" "orvexa-batch(1)")
orvexa_manual_page(orvexa-batch "rank and extract the frames of videos from scripts, without a display"
                   "orvexa(1)")
