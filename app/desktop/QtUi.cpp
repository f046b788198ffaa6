#include "app/desktop/QtUi.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QScreen>

#include "platform/Errors.h"
#include "platform/Host.h"

namespace zortan::desktop {

QString toQString(const std::string& text) {
    QString s = QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return s;
}

std::string fromQString(const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

std::string pathFromQString(const QString& path) {
    const QByteArray bytes = QFile::encodeName(path);
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

QStringList nameFilters(const FileDialogRequest& request) {
    QStringList filters;
    for (const FileFilter& f : request.filters)
        filters << toQString(f.name) + " (" + toQString(f.pattern) + ")";
    return filters;
}

DialogStart dialogStart(const FileDialogRequest& request, const std::string& firstFolder) {
    DialogStart start;
    start.folder = QDir::currentPath();
    for (const std::string& folder :
         {extractFileDir(request.path), request.startFolder, firstFolder})
        if (!folder.empty() && folderExists(folder)) {
            start.folder = toQString(folder);
            break;
        }
    const std::string name = extractFileName(request.path);
    if (name.find_first_of("*?") == std::string::npos) start.fileName = toQString(name);
    return start;
}

void QtDialogs::showMessage(const std::string& text) {
    QMessageBox::information(parent_, QStringLiteral("Zortan"), toQString(text));
}

void QtDialogs::showError(const std::string& text) {
    QMessageBox::critical(parent_, QStringLiteral("Zortan"), toQString(text));
}

bool QtDialogs::askYesNo(const std::string& text, const std::string& title) {
    return QMessageBox::question(parent_, toQString(title), toQString(text),
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

Answer QtDialogs::askYesNoCancel(const std::string& text, const std::string& title) {
    switch (QMessageBox::question(parent_, toQString(title), toQString(text),
                                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel)) {
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
            return Answer::No;
        default:
            return Answer::Cancel;
    }
}

std::optional<std::string> QtDialogs::fileDialog(const FileDialogRequest& request, bool save) {
    QFileDialog dialog(parent_, toQString(request.title));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // The program asks itself before it overwrites a file.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    const QStringList filters = nameFilters(request);
    dialog.setNameFilters(filters);
    if (request.filterIndex >= 1 && request.filterIndex <= filters.size())
        dialog.selectNameFilter(filters[request.filterIndex - 1]);
    const DialogStart start = dialogStart(request, firstFolder_);
    dialog.setDirectory(start.folder);
    if (!start.fileName.isEmpty()) dialog.selectFile(start.fileName);
    const std::string& ext = request.defaultExtension;
    if (ext.size() > 1 && ext.find_first_of("*?") == std::string::npos)
        dialog.setDefaultSuffix(toQString(ext.substr(1)));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return pathFromQString(dialog.selectedFiles().front());
}

std::optional<std::string> QtDialogs::chooseOpenFile(const FileDialogRequest& request) {
    return fileDialog(request, false);
}

std::optional<std::string> QtDialogs::chooseSaveFile(const FileDialogRequest& request) {
    return fileDialog(request, true);
}

void QtDialogs::beep() {
    QApplication::beep();
}

ScreenSize QtDialogs::screenSize() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return {};
    return {screen->size().width(), screen->size().height()};
}

QtUi::QtUi(Ui& user, PortWindow& window) : user_(user), window_(window) {
    wake_.setSingleShot(true);
}

namespace {
// Tells the window when a box or dialog opens and when it has closed,
// however it closes.
class DialogScope {
  public:
    explicit DialogScope(PortWindow& window) : window_(window) { window_.beforeDialog(); }
    ~DialogScope() { window_.afterDialog(); }
    DialogScope(const DialogScope&) = delete;
    DialogScope& operator=(const DialogScope&) = delete;

  private:
    PortWindow& window_;
};
}  // namespace

void QtUi::showMessage(const std::string& text) {
    const DialogScope scope(window_);
    user_.showMessage(text);
}

void QtUi::showError(const std::string& text) {
    const DialogScope scope(window_);
    user_.showError(text);
}

bool QtUi::askYesNo(const std::string& text, const std::string& title) {
    const DialogScope scope(window_);
    return user_.askYesNo(text, title);
}

Answer QtUi::askYesNoCancel(const std::string& text, const std::string& title) {
    const DialogScope scope(window_);
    return user_.askYesNoCancel(text, title);
}

std::optional<std::string> QtUi::chooseOpenFile(const FileDialogRequest& request) {
    const DialogScope scope(window_);
    return user_.chooseOpenFile(request);
}

std::optional<std::string> QtUi::chooseSaveFile(const FileDialogRequest& request) {
    const DialogScope scope(window_);
    return user_.chooseSaveFile(request);
}

void QtUi::statusCaptionChanged(const std::string& caption) {
    user_.statusCaptionChanged(caption);
    window_.statusCaptionChanged();
}

void QtUi::throwIfEnded() const {
    if (const std::optional<int> status = window_.endRequested()) throw ProgramEnd{*status};
}

void QtUi::processPendingEvents() {
    throwIfEnded();
    window_.beforePendingEvents();
    user_.processPendingEvents();
    // The run's wait loop calls again and again with nothing drawn in
    // between; only then is there nothing to do but wait for the user. Calls
    // while a picture grows, or the first call of a wait, do not sleep.
    const bool waiting = window_.onlyWaiting();
    const uint64_t draws = window_.drawCount();
    const bool sleep = waiting && lastCallWaiting_ && draws == drawsAtLastCall_;
    lastCallWaiting_ = waiting;
    drawsAtLastCall_ = draws;
    if (sleep) {
        ++sleeps_;
        // The timer bounds the sleep, should the wait end without an event.
        wake_.start(kWakeMs);
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        wake_.stop();
    } else {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    throwIfEnded();
}

}  // namespace zortan::desktop
