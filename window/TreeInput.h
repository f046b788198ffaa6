// A quantization tree file as the program takes it in: the file chosen and
// validated, its items parsed (tree/TreeReader.h), then published into the
// one tree, the coder's arrays, the options and the display texts.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "base/TextReader.h"
#include "tree/TreeReader.h"

namespace zortan {

class Ui;
struct Program;
struct InitFileOptions;
struct ShellState;

// What reading a tree works with: the user, the options (the tree's path and
// the sources it names), the shell's texts and clusters settings, the one
// tree with the coder's arrays, the events count and the category names.
struct TreeReaderDesk {
    Ui& ui;
    InitFileOptions& options;
    ShellState& shell;
    QuantizationTree& tree;
    CoderState& coder;
    int64_t& eventNbr;
    std::array<std::string*, 3> labels;  // cathLabel1..3
};

// The tree reader's desk as the program stands.
TreeReaderDesk treeReaderDesk(Program& program);

// Chooses the tree file (with the options' last path) and opens it.
TextReader OpenTreeFile(TreeReaderDesk& desk);

// Chooses, validates and reads a tree file: the tree, its training settings,
// the working arrays and the display texts. A file the reader refuses raises
// CommandAborted after its message; unreadable items raise the platform's
// errors.
void ReadTree(TreeReaderDesk& desk);

// Reads the tree from an open reader positioned after line 1; `path` names
// the file in messages. What a file that fails part way gave before the
// failure is taken in; the rest keeps what it held. ReadTree calls it; tools
// may too.
void ReadTreeBody(TreeReaderDesk& desk, TextReader& reader, const std::string& path);

// The "Read tree" procedure: status texts, the clusters edit taken as K,
// ReadTree, then treeRead and the focus.
void ReadTreeProcedure(TreeReaderDesk& desk);

}  // namespace zortan
