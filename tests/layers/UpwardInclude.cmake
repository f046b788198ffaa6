cmake_minimum_required(VERSION 3.20)
# Copies of the sources, each with one include that runs upward from one
# folder: the layer check must refuse every one, naming the file. The test
# expects this script to fail when all were refused.
set(plants
    "platform/Host.cpp|base/Format.h"
    "base/Format.cpp|shell/ShellState.h"
    "shell/ShellState.cpp|window/Program.h"
    "core/EventRecord.h|tree/QuantizationTree.h"
    "tree/TreeCoding.cpp|window/Program.h"
    "tree/TreeReader.cpp|events/FvsReader.h"
    "events/FvsReader.cpp|output/OutFile.h"
    "events/TextEventReader.cpp|tree/QuantizationTree.h"
    "plots/EventPictures.cpp|engine/EventLoop.h"
    "output/OutFile.cpp|engine/CodingEngine.h"
    "engine/EventLoop.cpp|window/MainWindow.h"
    "engine/CodingEngine.cpp|plots/EventPictures.h"
    "engine/EventLoop.cpp|train/Training.h"
    "events/FvsWriter.cpp|analysis/FrameAnalysis.h"
    "analysis/FrameAnalysis.cpp|engine/EventSources.h"
    "train/Training.cpp|window/Program.h"
    "app/train/main.cpp|app/batch/Corpus.h"
    "window/MainWindow.cpp|app/console/ConsoleUi.h"
    "app/batch/Corpus.cpp|window/MainWindow.h"
    "app/dump/Dump.cpp|window/Program.h"
    "app/python/_zortan.cpp|tools/fixtures/TreeFileWriter.h"
    "tools/fixtures/TreeFileWriter.cpp|engine/CodingEngine.h"
    "tools/treeinfo.cpp|app/batch/Corpus.h"
    "bench/BenchMain.cpp|app/console/ConsoleUi.h")
set(let_through "")
set(n 0)
foreach(plant IN LISTS plants)
  string(REPLACE "|" ";" parts "${plant}")
  list(GET parts 0 file)
  list(GET parts 1 include)
  math(EXPR n "${n} + 1")
  set(copy "${WORK_DIR}/layers-copy-${n}")
  file(REMOVE_RECURSE "${copy}")
  foreach(folder platform base core shell tree events analysis plots output engine train window app tools bench)
    file(COPY "${SOURCE_DIR}/${folder}" DESTINATION "${copy}")
  endforeach()
  file(READ "${copy}/${file}" text)
  file(WRITE "${copy}/${file}" "#include \"${include}\"\n${text}")
  execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${copy}
                          -P ${SOURCE_DIR}/cmake/CheckLayers.cmake
                  RESULT_VARIABLE result ERROR_VARIABLE said)
  if(result EQUAL 0 OR NOT said MATCHES "${file} includes ${include}")
    string(APPEND let_through "  ${file} including ${include}\n")
  endif()
  file(REMOVE_RECURSE "${copy}")
endforeach()
if(let_through)
  message(STATUS "upward includes let through:\n${let_through}")
else()
  message(FATAL_ERROR "every upward include refused, as it should be")
endif()
