#include "window/TreeInput.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/Format.h"
#include "engine/TreeLoading.h"
#include "platform/Errors.h"
#include "platform/Host.h"
#include "shell/InitFile.h"
#include "shell/ShellState.h"
#include "tree/TreeCoding.h"
#include "window/ChooseFile.h"
#include "window/Program.h"
#include "window/ShellRules.h"

namespace zortan {

TreeReaderDesk treeReaderDesk(Program& p) {
    return TreeReaderDesk{p.ui,
                          p.options,
                          p.shell,
                          p.tree,
                          p.coder,
                          p.eventNbr,
                          {&p.cathLabel1, &p.cathLabel2, &p.cathLabel3}};
}

TextReader OpenTreeFile(TreeReaderDesk& d) {
    d.shell.treeTexts.treePathCaption = "Tree data directory ";
    ChooseExistingFile(d.ui, d.options, "Quantisation tree opening", 5, "...\\TRB\\Results",
                       d.options.treeFileDir, d.shell.treeTexts.treePathCaption);
    return TextReader(d.options.treeFileDir);
}

void ReadTree(TreeReaderDesk& d) {
    d.coder.distanceFunction = &EuclidDist;
    Ui& ui = d.ui;
    int attempts = 0;
    for (;;) {
        ++attempts;
        if (attempts > 2 &&
            ui.askYesNo("You have tried " + std::to_string(attempts - 1) +
                            " times more to point proper tree file, but you failed.\r\nHang up "
                            "with it?",
                        ""))
            throw ProgramEnd{1};
        TextReader reader = OpenTreeFile(d);
        d.tree.treeHeading = reader.readLine(255);
        d.shell.treeTexts.heading = d.tree.treeHeading;
        if (isTreeHeading(d.tree.treeHeading)) {
            ReadTreeBody(d, reader, d.options.treeFileDir);
            return;
        }
        ui.showMessage(notATreeFileMessage(d.options.treeFileDir));
    }
}

void ReadTreeBody(TreeReaderDesk& d, TextReader& reader, const std::string& path) {
    TreeFileItems items;
    items.tree = std::move(d.tree);
    std::exception_ptr failure;
    std::optional<std::string> refusal;
    try {
        refusal = ReadTreeItems(reader, path, items);
    } catch (...) {
        failure = std::current_exception();
    }
    std::optional<int> clusters;
    std::vector<std::string> remarks;
    TreePublication to{d.tree,
                       d.coder,
                       d.options.treeTrainingFileDir,
                       d.options.waveFileDir,
                       d.shell.treeTexts,
                       d.shell.statusBarText,
                       d.labels,
                       d.eventNbr,
                       clusters,
                       remarks};
    PublishTree(to, items);
    if (clusters) {
        d.shell.clustersNb = fitOrRangeError<uint16_t>(*clusters);
        changeClustersText(d.shell, d.ui, std::to_string(*clusters), d.tree.treeSizesNb());
    }
    for (const std::string& remark : remarks) d.ui.showMessage(remark);
    if (failure) std::rethrow_exception(failure);
    if (!refusal) return;
    d.ui.showMessage(*refusal);
    throw CommandAborted{};
}

void ReadTreeProcedure(TreeReaderDesk& d) {
    ShellState& shell = d.shell;
    shell.controls.settingsPagesVisible = true;
    shell.controls.turnToPage(SettingsPage::Train);
    setStatusCaption(shell, d.ui, "Program started reading tree");
    if (!shell.clustersEditText.empty()) {
        const ParsedInteger parsed = parseEditInteger(shell.clustersEditText);
        if (parsed.wholeText)
            shell.clustersNb = fitOrRangeError<uint16_t>(parsed.value);
        else
            d.ui.showMessage("It is no numeric format!");
    }
    // A tree left half read by a failure must not be coded against.
    try {
        ReadTree(d);
    } catch (...) {
        shell.treeRead = false;
        throw;
    }
    shell.treeRead = true;
    shell.focus = Focus::ReadData1;
    setStatusCaption(shell, d.ui,
                     "Program ended reading tree.\r\nNow you can change number of clusters (i.e. "
                     "number of codes as a consequence)!!");
}

}  // namespace zortan
