// Writes the trees the Python package's tests code against, into the folder
// given: closecall.vq, whose centroids are all at nearly the same distance
// from the integer vector in centre.txt, so that events there meet close
// calls at every split; and codebook.vq and codebook256.vq, grown-looking
// codebooks of 64 and 256 leaves (the latter for bench/python); and
// beyond.vq, a codebook of 8 leaves whose last node names a son beyond the
// tree, so that a walk that reaches it stops the run.
#include <cstdio>
#include <exception>
#include <fstream>
#include <string>

#include "bench/BenchData.h"
#include "tools/fixtures/TreeFileWriter.h"

int main(int argc, char** argv) {
    using namespace zortan;
    if (argc != 2) {
        std::fprintf(stderr, "usage: zortan-python-testdata FOLDER\n");
        return 2;
    }
    try {
        const std::string dir = argv[1];
        ComponentVector centre{};
        std::ofstream centreFile(dir + "/centre.txt");
        for (size_t i = 0; i < centre.size(); ++i) {
            centre[i] = static_cast<double>(1000 + 37 * static_cast<int>(i) % 512);
            centreFile << centre[i] << (i + 1 < centre.size() ? " " : "\n");
        }
        fixtures::writeTreeFile(dir + "/closecall.vq", bench::closeCallTree(16, centre, 7));
        fixtures::writeTreeFile(dir + "/codebook.vq", bench::codebookTree(64, 11));
        fixtures::writeTreeFile(dir + "/codebook256.vq", bench::codebookTree(256, 13));
        fixtures::TreeFileContents beyond = bench::codebookTree(8, 17);
        beyond.tree.nodeHeap.at(static_cast<size_t>(beyond.tree.HeapTop)).son = 32767;
        fixtures::writeTreeFile(dir + "/beyond.vq", beyond);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zortan-python-testdata: %s\n", e.what());
        return 1;
    }
    return 0;
}
