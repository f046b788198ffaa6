# What cmake --install puts under the prefix: the programs in bin/, a man
# page for each in share/man/man1/ and the bundled samples in
# share/zortan/samples/ (the Python package's rules are in app/python).
include(GNUInstallDirs)

# The programs, each with the line its man page names it by.
set(zortan_programs)
macro(zortan_install_program target summary)
  if(TARGET ${target})
    list(APPEND zortan_programs ${target})
    set(zortan_summary_${target} "${summary}")
  endif()
endmacro()
zortan_install_program(zortan "the Zortan desktop window: events coded against a quantization tree")
zortan_install_program(zortan-console "the Zortan main window driven from standard input")
zortan_install_program(zortan-batch "code corpora of event files against a quantization tree")
zortan_install_program(zortan-dump "print a tree, fvs or combined output file")
zortan_install_program(zortan-train "grow a quantization tree from events")
zortan_install_program(zortan-analyse "analyse recordings and their annotations into fvs files")

install(TARGETS ${zortan_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/samples/ DESTINATION ${CMAKE_INSTALL_DATADIR}/zortan/samples)

# The man pages are made from each program's --help and --version when it
# is built: by help2man where it is found, else by cmake/ManPage.cmake. A
# cross build cannot run its programs and has none.
if(NOT CMAKE_CROSSCOMPILING)
  find_program(ZORTAN_HELP2MAN help2man)
  set(pages)
  foreach(program IN LISTS zortan_programs)
    set(summary ${zortan_summary_${program}})
    set(page ${PROJECT_BINARY_DIR}/man/${program}.1)
    if(ZORTAN_HELP2MAN)
      set(make_page ${ZORTAN_HELP2MAN} --no-info "--name=${summary}"
                    --output=${page} $<TARGET_FILE:${program}>)
    else()
      set(make_page ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${program}> -DNAME=${program}
                    "-DSUMMARY=${summary}" -DPAGE=${page} -P ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake)
    endif()
    # The window answers --help before it opens a display; offscreen all the
    # same, so that no build ever needs one.
    add_custom_command(OUTPUT ${page}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
      COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ${make_page}
      DEPENDS ${program} ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
      COMMENT "Writing the man page of ${program}"
      VERBATIM)
    list(APPEND pages ${page})
  endforeach()
  add_custom_target(zortan-man-pages ALL DEPENDS ${pages})
  install(FILES ${pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
