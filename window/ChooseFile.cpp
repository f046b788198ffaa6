#include "window/ChooseFile.h"

#include "platform/Host.h"
#include "shell/InitFile.h"

namespace zortan {

const std::vector<FileFilter>& openDialogFilters() {
    static const std::vector<FileFilter> filters = {
        {"all files", "*.*"},
        {"text files", "*.txt"},
        {"wave files", "*.wav"},
        {"sectrum analysis results", "*.*fvs*"},
        {"quantization tree", "*.vq*"},
        {"phon words Hash list", "*phonWordsList*.txt"},
        {"wave input phon annotation", "*.phon"},
    };
    return filters;
}

void ChooseExistingFile(Ui& ui, const InitFileOptions& options, const std::string& title,
                        int filterIndex, const std::string& hintDirectory, std::string& path,
                        std::string& pathCaption) {
    for (;;) {
        ui.processPendingEvents();
        FileDialogRequest request;
        request.title = title;
        request.filterIndex = filterIndex;
        request.path = path;
        request.filters = openDialogFilters();
        // Until the user accepts a file, only the extension of the old path
        // is left; it is also the dialog's default extension.
        path = extractFileExt(path);
        request.defaultExtension = path;
        if (std::optional<std::string> chosen = ui.chooseOpenFile(request)) path = *chosen;
        if (fileExists(path)) break;
        if (otherFileExists(path)) {
            // Inputs are read ahead and looked at again: a pipe or a device
            // cannot be.
            ui.showMessage("\"" + path +
                           "\" is not a regular file: only regular files can be read.\r\nChoose "
                           "a file from the list.");
            continue;
        }
        ui.showMessage("Error in file name, (" + path +
                       ") correct it or choose from list (you shold rather look for it in the \"" +
                       hintDirectory +
                       "\"\r\n(these data will be read only, they will be not modified, so you "
                       "can point anything)");
    }
    pathCaption = "\"" + path + "\"";
    WriteInitFile(options);
}

}  // namespace zortan
