// Loading a quantization tree file into a codebook: the file parsed
// (tree/TreeReader.h), its failures as the messages the window shows, and
// what a read tree publishes (training file and wave names, display texts,
// category names) as values. The window's file choice and attempts sit on
// top of it (window/TreeInput.h); the batch command and Python load with it
// directly, and Python loads the trees it makes from their text.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/TextReader.h"
#include "shell/ShellState.h"
#include "tree/TreeReader.h"

namespace zortan {

// A tree file that cannot be coded against; what() is the window's message.
class TreeLoadError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The window's messages about a tree file.
std::string notATreeFileMessage(const std::string& path);
std::string treeFileEndedMessage(const std::string& path, const std::string& where);
std::string badTreeFileMessage(const std::string& path, const std::string& what);
std::string fftWidthMissingMessage();

// Whether line 1 of a file is a tree file's first line.
bool isTreeHeading(const std::string& firstLine);

// Parses lines 2 onward of a tree file into `items` (whose tree holds the
// tree read before, kept where the file does not reach). The failure of a
// file that is not a whole tree comes back as its message; platform errors
// pass through.
std::optional<std::string> ReadTreeItems(TextReader& reader, const std::string& path,
                                         TreeFileItems& items);

// Where the items of a read tree are published: the tree with the coder's
// arrays, the sources it names, the window's texts, the category names and
// the events count.
struct TreePublication {
    QuantizationTree& tree;
    CoderState& coder;
    std::string& trainingFile;  // the training event file, from its drive on
    std::string& waveFile;
    TreeDataTexts& texts;
    std::string& statusBarText;
    std::array<std::string*, 3> labels;  // cathLabel1..3
    int64_t& eventNbr;
    // The number of clusters the tree gives (its full size), once line 4 was read.
    std::optional<int>& clusters;
    // The messages due while reading, in the order of the lines they are about.
    std::vector<std::string>& remarks;
};

// Takes what the file gave in, line by line as far as it was read whole, so
// that a file that fails part way leaves the texts and names of its earlier
// lines and those of the tree before for the rest.
void PublishTree(TreePublication& to, TreeFileItems& items);

// A tree read whole, with its coder's arrays sized, and what it publishes.
struct Codebook {
    std::string path;
    QuantizationTree tree;
    CoderState coder;
    std::string trainingFile, waveFile;
    TreeDataTexts texts;
    std::string statusBarText;
    std::array<std::string, 3> labels{"Y1", "Y2", "Y3"};
    std::string source, readingText;  // lines 2 and 46 as the file gives them
    bool fftWindowWidthRead = false;
    std::vector<std::string> remarks;  // shown while reading; not failures

    // The number of clusters of the whole tree.
    uint16_t fullSize() const;
};

// Reads the tree file at `path`. A file that cannot be opened, is not a tree
// file or is no whole tree throws TreeLoadError with the window's message;
// a value that does not fit its field throws the platform's range error.
Codebook LoadTreeFile(const std::string& path);

// Reads a tree file's text held in memory (a tree made by the program
// itself) as LoadTreeFile reads the file, with the same failures; `name`
// stands for the file's path in the messages and in Codebook::path.
Codebook LoadTreeText(std::string text, const std::string& name);

}  // namespace zortan
