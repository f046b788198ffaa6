// zortan-treeinfo: reads a quantization tree file the way the program does,
// prints what the window would show of it and codes every node's centroid
// for each number of clusters. With --write-sample it first writes a small
// generated tree to the given path.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>

#include "platform/Errors.h"
#include "platform/Host.h"
#include "tools/fixtures/TreeFileWriter.h"
#include "tree/TreeCoding.h"
#include "window/Program.h"
#include "window/ShellRules.h"
#include "window/TreeInput.h"

namespace {

using namespace zortan;

// The file named on the command line was refused; `message` is the
// window's last word on it.
struct FileRefused {
    std::string message;
};

// Answers the open dialog once, with the file named on the command line,
// and prints every message. The window asks again only when it refused
// that file: the same answer would be refused for ever, so the second
// question ends the program instead.
class CommandLineUi : public Ui {
  public:
    explicit CommandLineUi(std::string path) : path_(std::move(path)) {}
    void showMessage(const std::string& text) override {
        std::cout << "[message] " << text << "\n";
        lastMessage_ = text;
    }
    bool askYesNo(const std::string& text, const std::string&) override {
        std::cout << "[question] " << text << " -> yes\n";
        return true;
    }
    Answer askYesNoCancel(const std::string& text, const std::string&) override {
        std::cout << "[question] " << text << " -> cancel\n";
        return Answer::Cancel;
    }
    std::optional<std::string> chooseOpenFile(const FileDialogRequest&) override {
        if (answered_) throw FileRefused{lastMessage_};
        answered_ = true;
        return path_;
    }
    std::optional<std::string> chooseSaveFile(const FileDialogRequest&) override {
        return std::nullopt;
    }
    void processPendingEvents() override {}
    void beep() override {}
    ScreenSize screenSize() override { return {1680, 1050}; }

  private:
    std::string path_;
    std::string lastMessage_;
    bool answered_ = false;
};

constexpr const char* kUsage =
    "usage: zortan-treeinfo [--write-sample] TREEFILE\n"
    "Reads the tree file as the window does and prints what the window shows of it,\n"
    "then the codes of 12 events spread over its centroids' range for every number\n"
    "of clusters. --write-sample first writes a small generated tree to TREEFILE.\n"
    "Exit status: 0 when the tree was read, 1 when not, 2 for a wrong command line.\n";

int usage() {
    std::cerr << kUsage;
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    bool writeSample = false;
    std::string path;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (options && (arg == "--help" || arg == "-h")) {
            std::cout << kUsage;
            return 0;
        }
        if (options && arg == "--write-sample")
            writeSample = true;
        else if (options && arg == "--")
            options = false;
        else if (options && arg.size() > 1 && arg[0] == '-')
            return usage();
        else if (path.empty())
            path = arg;
        else
            return usage();
    }
    if (path.empty()) return usage();

    try {
        if (writeSample) {
            fixtures::TreeFileContents sample = fixtures::makeTree(6, 4);
            sample.tree.treeHeading = "date 2026-12-06 sample tree of six groups";
            fixtures::writeTreeFile(path, sample);
        }
        CommandLineUi ui(path);
        Program program(ui, runningProgramFolder());
        ReadInitFile(program.options, ui, program.programFolder);
        {
            TreeReaderDesk desk = treeReaderDesk(program);
            ReadTreeProcedure(desk);
        }

        const QuantizationTree& tree = program.tree;
        const TreeDataTexts& texts = program.shell.treeTexts;
        std::cout << "Tree file:  " << program.options.treeFileDir << "\n"
                  << "Heading:    " << texts.heading << "\n"
                  << "Training:   " << texts.trainingDescription << "\n"
                  << "Summary:    " << texts.summary << "\n"
                  << "Feature:    " << texts.featureCaption << "\n"
                  << "Categories: " << texts.categoryCaptions << "\n"
                  << "Clusters:   " << program.shell.clustersNb << "\n\n";

        // Code a few events spread over the range of the centroids, for
        // every tree size.
        ComponentVector low{}, high{};
        low.fill(1e300);
        high.fill(-1e300);
        const int n = std::clamp(tree.consideredComponentsNb, 0, kComponents);
        for (const TreeNode& node : tree.nodeHeap)
            for (int i = 0; i < n; ++i) {
                low[i] = std::min(low[i], node.centroid[i]);
                high[i] = std::max(high[i], node.centroid[i]);
            }
        std::cout << "Codes of 12 events spread over the centroids' range, K = 1.."
                  << tree.treeSizesNb() << "\n";
        std::cout << "event";
        for (int K = 1; K <= tree.treeSizesNb(); ++K) std::printf(" K=%-3d", K);
        std::cout << "\n";
        for (int e = 0; e < 12; ++e) {
            for (int i = 0; i < n; ++i) {
                const double phase = 0.5 + 0.5 * std::sin(1.7 * e + 2.3 * i);
                program.event.reals[i] = low[i] + phase * (high[i] - low[i]);
                program.event.components[i] = static_cast<int16_t>(program.event.reals[i]);
            }
            std::printf("%5d", e);
            for (int K = 1; K <= tree.treeSizesNb(); ++K) {
                EncodeResult r =
                    EncodeEvent(tree, program.coder, static_cast<uint16_t>(K), program.event,
                                program.coder.nodePath1, program.coder.errorRecords1);
                std::printf(" %-5u", r.code);
            }
            std::printf("\n");
        }
        return 0;
    } catch (const FileRefused& refused) {
        std::cerr << "zortan-treeinfo: " << path << ": not read: " << refused.message << "\n";
        return 1;
    } catch (const ProgramEnd& end) {
        return end.exitStatus;
    } catch (const CommandAborted&) {
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "error: " << e.what() << "\n";
        return 1;
    }
}
