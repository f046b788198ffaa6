#include "app/desktop/Screenshot.h"

#include <QApplication>
#include <QCheckBox>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTemporaryDir>

#include "app/desktop/DesktopWindow.h"
#include "platform/Errors.h"
#include "platform/Host.h"
#include "shell/InitFile.h"

namespace zortan::desktop {

std::optional<std::string> SessionUi::chooseOpenFile(const FileDialogRequest&) {
    if (openAnswers.empty()) return std::nullopt;
    std::string path = openAnswers.front();
    openAnswers.pop_front();
    return path;
}

int writeScreenshot(const ScreenshotRequest& request, std::string& error) {
    const std::string tree = joinPath(request.samplesDir, "vowels-cep16-centroids32.vq");
    const std::string events = joinPath(request.samplesDir, "vowels.fvs");
    if (!fileExists(tree) || !fileExists(events)) {
        error = "the samples are not in \"" + request.samplesDir + "\"";
        return 1;
    }
    QTemporaryDir folder;
    if (!folder.isValid()) {
        error = "no temporary folder";
        return 1;
    }
    const std::string dir = pathFromQString(folder.path());
    // Outputs go into the temporary folder, so no save dialog is needed.
    InitFileOptions options;
    options.initFilePath = joinPath(dir, "Init.txt");
    options.data1IsFvs = 1;
    options.treeFileDir = tree;
    options.fvsEventsFileDir1 = events;
    for (std::string* path :
         {&options.errorFileName, &options.codeFileName, &options.teachFileName,
          &options.teachCath1FileName, &options.teachCath2FileName, &options.teachCath3FileName,
          &options.recogFileName, &options.recogCath1FileName, &options.recogCath2FileName,
          &options.recogCath3FileName})
        *path = joinPath(dir, extractFileName(*path));
    WriteInitFile(options);

    SessionUi ui;
    ui.openAnswers = {tree, events};
    DesktopWindow window(ui, dir);
    window.onEnd = [](int) {};
    window.availableScreen = [] { return QSize(1680, 1050); };
    window.program().hibernate = [](bool, bool) {};
    bool written = false;
    ui.user = [&] {
        const Program& p = window.program();
        if (!p.shell.waiting || !p.shell.controls.stopContinueEnabled || window.ended()) return;
        if (p.run.stepCounter < request.events) {
            window.button(Command::Next)->click();
            return;
        }
        window.refresh();
        QCoreApplication::processEvents();
        written = window.grab().save(QString::fromLocal8Bit(request.file.c_str()), "PNG");
        window.endProgram(0);
    };
    window.start();
    window.button(Command::ReadTree)->click();
    if (request.finished) {
        ui.user = nullptr;
        window.box(Toggle::StepwiseProceeding)->click();
        window.button(Command::ReadData1)->click();
        ErrorChartWindow* chart = window.chartWindow();
        if (chart != nullptr && !window.ended()) {
            // The run maximizes the window; the offscreen screen is small.
            window.showNormal();
            window.resize(kWindowStartWidth, kWindowStartHeight);
            window.refresh();
            QCoreApplication::processEvents();
            QImage image = window.grab().toImage();
            const QImage chartImage = chart->grab().toImage();
            QPainter painter(&image);
            painter.drawImage(QPoint(image.width() - chartImage.width() - 24,
                                     image.height() - chartImage.height() - 32),
                              chartImage);
            painter.end();
            written = image.save(QString::fromLocal8Bit(request.file.c_str()), "PNG");
        }
        window.endProgram(0);
    } else {
        window.button(Command::ReadData1)->click();
    }
    if (!written) {
        error = window.failures().empty()
                    ? "the window could not be saved as \"" + request.file + "\""
                    : window.failures().front();
        return 1;
    }
    return 0;
}

}  // namespace zortan::desktop
