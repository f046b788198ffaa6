cmake_minimum_required(VERSION 3.20)
# Refuses an #include that runs upward through the layers (see
# docs/architecture.md). Run by the build (target zortan-layers) as
#   cmake -DSOURCE_DIR=<top of the sources> -P cmake/CheckLayers.cmake
# Each folder may include the folders listed for it and nothing else.

# The shell's settings (shell/) that every subsystem may read.
set(settings "shell/")
set(formats "events/;tree/;core/;base/;platform/")
set(allowed_platform "platform/")
set(allowed_base "base/;platform/")
# core/: the values the tree and the event files share, below both.
set(allowed_core "core/")
set(allowed_shell "shell/;base/;platform/")
# The tree and the event files know each other only through core/.
set(allowed_tree "tree/;core/;base/;platform/")
set(allowed_events "events/;core/;base/;platform/")
set(allowed_plots "plots/;${formats};${settings}")
# analysis/: recordings and annotations into events, over the formats.
set(allowed_analysis "analysis/;${formats}")
set(allowed_output "output/;${formats};${settings}")
# engine/: the coding engine, below every face; it knows no program state,
# no window and no pictures.
set(allowed_engine "engine/;output/;${formats};${settings}")
# window/: the window model, the program state and the run's messages and
# controls, over the engine.
set(allowed_window "window/;engine/;output/;plots/;${formats};${settings}")
# train/: growing trees from events read through the engine's sources.
set(allowed_train "train/;engine/;output/;${formats};${settings}")
# The faces: the window's front ends drive window/; the batch command, the
# dump tool and the Python package call the engine and the formats.
set(below_faces "engine/;output/;${formats};${settings}")
set(allowed_app/console "app/console/;window/;plots/;${below_faces}")
set(allowed_app/desktop "app/desktop/;window/;plots/;${below_faces}")
set(allowed_app/batch "app/batch/;${below_faces}")
set(allowed_app/dump "app/dump/;${below_faces}")
set(allowed_app/python "app/python/;app/batch/;train/;analysis/;${below_faces}")
set(allowed_app/train "app/train/;train/;${below_faces}")
set(allowed_app/analyse "app/analyse/;analysis/;${below_faces}")
# Tools and benchmarks: above everything but the front ends; the writers
# of test inputs only on the formats.
set(allowed_tools/fixtures "tools/fixtures/;${formats}")
set(allowed_tools "tools/;window/;plots/;train/;analysis/;${below_faces}")
set(allowed_bench "bench/;tools/;app/desktop/;window/;plots/;train/;analysis/;${below_faces}")

set(layers platform base core shell tree events analysis plots output engine train window
    app/console app/desktop app/batch app/dump app/python app/train app/analyse tools/fixtures tools
    bench)
set(failures "")
set(checked "")
foreach(folder IN LISTS layers)
  file(GLOB_RECURSE files RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/${folder}/*.h"
       "${SOURCE_DIR}/${folder}/*.cpp")
  foreach(file IN LISTS files)
    # A file belongs to the deepest folder listed for it.
    if(file IN_LIST checked)
      continue()
    endif()
    set(deeper FALSE)
    foreach(other IN LISTS layers)
      string(LENGTH "${other}" other_length)
      string(LENGTH "${folder}" folder_length)
      if(other_length GREATER folder_length)
        string(FIND "${file}" "${other}/" at)
        if(at EQUAL 0)
          set(deeper TRUE)
        endif()
      endif()
    endforeach()
    if(deeper)
      continue()
    endif()
    list(APPEND checked "${file}")
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
      # Includes beside the file (the Python module's generated headers,
      # system headers in quotes) are not the layers' business.
      if(NOT included MATCHES "/")
        set(ok TRUE)
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
