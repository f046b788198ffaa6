// Writes quantization tree files: the text layout the tree reader takes
// (tree/TreeReader.h), with CR LF line ends and reals that read back exactly.
#pragma once

#include <cstdint>
#include <string>

#include "tree/QuantizationTree.h"

namespace zortan {

// Everything a tree file carries: the tree itself and the texts and numbers
// of the file that the tree does not keep.
struct TreeFileContents {
    // Line 1 is tree.treeHeading and line 8 ends with tree.featuresSetText.
    // A text that follows the last number of its line (lines 4 and 8) is
    // written as it stands when it begins with a blank, which is how the
    // reader hands it back, and after one blank otherwise.
    QuantizationTree tree;

    int32_t line2Number = 0;
    // Line 2 after its number and one blank.
    std::string line2Text = "teaching sample C:\\wkd\\ondrix\\Results\\train.fvs";
    std::string waveFileDir = " C:\\wkd\\Plimo\\Results\\train.wav";  // end of line 4
    std::string cathLabel1 = "Speaker", cathLabel2 = "Vowel", cathLabel3 = "Gender";
    std::string line46 = "nodes of the tree";
    // Items the reader skips: line 9 first and fifth, line 16 (two), 17, 21.
    int32_t line9First = 0, line9Fifth = 0;
    int32_t line16First = 0, line16Second = 0, line17 = 0, line21 = 0;
    // Line 5 holds the FFT window width unless this is false (older TRB files).
    bool writeFftWindowWidth = true;
    char listSeparator = ' ';
};

// The file's text. Node blocks are written for nodes 0..HeapTop, with
// consideredComponentsNb centroid lines each (0 beyond the 129 stored
// components); lists need cathNbr+1 entries and nodeHeap HeapTop+1 nodes
// (a range error otherwise); missing groupTable entries are written as 0.
std::string treeFileText(const TreeFileContents& contents);

// Writes treeFileText to `path`, whole or not at all: the text goes to a
// file beside it first, which then takes the name, replacing a file of that
// name. Failures are input/output errors and leave `path` as it was. A
// device (a terminal, a pipe) is written as it is.
void writeTreeFile(const std::string& path, const TreeFileContents& contents);

}  // namespace zortan
