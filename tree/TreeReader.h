// Reading the layout of a quantization tree file, item by item. The reader
// only parses: what the file holds lands in a TreeFileItems, and the run's
// tree input (window/TreeInput.h) takes it into the program.
#pragma once

#include <array>
#include <string>

#include "base/TextReader.h"
#include "tree/QuantizationTree.h"

namespace zortan {

// The items of a tree file after line 1, as read.
struct TreeFileItems {
    // The tree as the file gives it, read over the tree held before: items
    // the file does not reach (a file that ends early, centroid entries from
    // consideredComponentsNb on) keep what they held.
    QuantizationTree tree;
    std::string source;                 // line 2: the teaching sample and its event file
    std::string waveFileDir;            // line 4
    bool fftWindowWidthRead = false;    // line 5; older trees do not record it
    std::array<std::string, 3> labels;  // lines 43 to 45: categories 1, 2, 3
    std::string readingText;            // line 46
    // The lines whose items were all read; every line and node: kWholeFile.
    int linesRead = 1;
    static constexpr int kWholeFile = 47;
};

// The file ended before the item `where` names ("line 12", "node block 3 of 7").
struct TreeFileEnded {
    std::string where;
};

// The file was read whole but holds a tree the coder cannot walk; `what`
// says why.
struct BadTreeFile {
    std::string what;
};

// Reads the tree file's lines 2 onward from `reader` (past line 1) into
// `items`, section by section. Throws TreeFileEnded, BadTreeFile or the
// platform's errors; `items` then holds what was read so far.
void ParseTreeFile(TextReader& reader, TreeFileItems& items);

// Sizes the coder's per-tree-size working arrays for `tree`, keeping the
// entries that exist and adding new ones as zero.
void SizeCoderArrays(const QuantizationTree& tree, CoderState& coder);

}  // namespace zortan
