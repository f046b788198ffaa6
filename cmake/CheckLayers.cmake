cmake_minimum_required(VERSION 3.20)
# Refuses an #include that runs upward through the layers (see
# docs/architecture.md). Run by the build (target zortan-layers) as
#   cmake -DSOURCE_DIR=<top of the sources> -P cmake/CheckLayers.cmake
# Each folder may include the folders listed for it and nothing else; the
# program state and the window model (shell/Program.h, shell/MainWindow.h)
# sit at the top, above every subsystem.

set(settings "shell/InitFile.h;shell/ShellState.h;shell/WindowControls.h;shell/ChooseFile.h")
set(allowed_platform "platform/")
set(allowed_base "base/;platform/")
set(allowed_shell "shell/;base/;platform/")
set(allowed_tree "tree/;events/EventRecord.h;base/;platform/")
set(allowed_plots "plots/;events/;tree/;base/;platform/;${settings}")
set(allowed_events "events/;tree/;base/;platform/")
set(allowed_output "output/;events/;tree/;base/;platform/;${settings}")
# engine/: the coding engine, below every face; it knows no program state
# and no window.
set(allowed_engine "engine/;output/;events/;tree/;base/;platform/;${settings}")
# run/ holds the procedures over the whole program state: above the program
# state, below the window model.
set(allowed_run "run/;engine/;output/;events/;plots/;tree/;base/;platform/;${settings};shell/Program.h")
# The top of the shell: the whole program's state and the window model.
set(top_of_shell "shell/Program.h;shell/MainWindow.h;shell/MainWindow.cpp")
set(failures "")
foreach(folder platform base shell tree plots events output engine run)
  file(GLOB_RECURSE files RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/${folder}/*.h"
       "${SOURCE_DIR}/${folder}/*.cpp")
  foreach(file IN LISTS files)
    if(file IN_LIST top_of_shell)
      # The program state holds what the subsystems keep; the procedures over
      # it (run/) and the window model stand above it.
      if(file STREQUAL "shell/Program.h")
        file(STRINGS "${SOURCE_DIR}/${file}" includes REGEX "^#include \"(run/|shell/MainWindow)")
        foreach(line IN LISTS includes)
          string(APPEND failures "  ${file}: ${line}\n")
        endforeach()
      endif()
      continue()
    endif()
    set(allowed "${allowed_${folder}}")
    file(STRINGS "${SOURCE_DIR}/${file}" includes REGEX "^#include \"")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^#include \"([^\"]*)\".*" "\\1" included "${line}")
      set(ok FALSE)
      foreach(prefix IN LISTS allowed)
        string(FIND "${included}" "${prefix}" at)
        if(at EQUAL 0 AND (prefix MATCHES "/$" OR included STREQUAL prefix))
          set(ok TRUE)
        endif()
      endforeach()
      # Inside the shell only its top may name the top.
      if(folder STREQUAL "shell" AND included IN_LIST top_of_shell)
        set(ok FALSE)
      endif()
      if(NOT ok)
        string(APPEND failures "  ${file} includes ${included}\n")
      endif()
    endforeach()
  endforeach()
endforeach()

if(failures)
  message(FATAL_ERROR "Includes that run upward through the layers:\n${failures}")
endif()
