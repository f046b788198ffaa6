// Reading a quantization tree file into the program's one tree.
#pragma once

#include "base/TextReader.h"
#include "tree/QuantizationTree.h"

namespace zortan {

struct Program;

// Sizes the coder's per-tree-size working arrays for `tree`, keeping the
// entries that exist and adding new ones as zero.
void SizeCoderArrays(const QuantizationTree& tree, CoderState& coder);

// Chooses the tree file (with the options' last path) and opens it.
TextReader OpenTreeFile(Program& program);

// Chooses, validates and reads a tree file: the tree, its training settings,
// the working arrays and the display texts. A file the reader refuses raises
// CommandAborted after its message; unreadable items raise the platform's
// errors.
void ReadTree(Program& program);

// Reads the tree from an open reader positioned after line 1; `path` names
// the file in messages. ReadTree calls it; tests and tools may too.
void ReadTreeBody(Program& program, TextReader& reader, const std::string& path);

// The "Read tree" procedure: status texts, the clusters edit taken as K,
// ReadTree, then treeRead and the focus.
void ReadTreeProcedure(Program& program);

}  // namespace zortan
