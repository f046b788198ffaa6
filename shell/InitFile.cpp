#include "shell/InitFile.h"

#include <optional>

#include <cerrno>
#include <cstdio>
#include <limits>
#include <string>

#include "base/TextReader.h"
#include "platform/Errors.h"
#include "platform/Host.h"

namespace zortan {

namespace {

constexpr const char* kInitFileName = "Init.txt";
// Paths have no length limit in the options file.
constexpr size_t kWholeLine = std::numeric_limits<size_t>::max();

// True when a file can really be created in `folder`. Permission bits alone
// do not tell (an administrator may write anywhere, a read-only medium stops
// everyone), so a probe file is created and removed again.
bool canCreateFileIn(const std::string& folder) {
    if (!folderExists(folder)) return false;
    const std::string probe = joinPath(folder, std::string(kInitFileName) + ".probe");
    std::FILE* f = std::fopen(probe.c_str(), "wb");
    if (!f) return false;
    std::fclose(f);
    std::remove(probe.c_str());
    return true;
}

// True when the options file can be kept at `path`: an existing file must
// open for writing (append mode leaves its content as it is), a missing one
// must be creatable in its folder.
bool canKeepFileAt(const std::string& folder, const std::string& path) {
    if (fileExists(path)) {
        std::FILE* f = std::fopen(path.c_str(), "ab");
        if (!f) return false;
        std::fclose(f);
        return true;
    }
    return canCreateFileIn(folder);
}

// Beside the program when the file can be kept there; otherwise (a program
// in a protected folder) in the user's configuration folder, so that saving
// the options never fails for that reason. An installed program (PREFIX/bin
// beside PREFIX/share/zortan) always uses the user's folder: each user has
// options of their own, and an administrator's run leaves nothing in bin/.
std::string initFilePathFor(const std::string& programFolder) {
    const std::string besideProgram = joinPath(programFolder, kInitFileName);
    const std::string config = userConfigFolder();
    if (!installedDataFolder(programFolder).empty()) {
        makeFolders(config);  // where it cannot be made, the save fails and says so
        return joinPath(config, kInitFileName);
    }
    if (canKeepFileAt(programFolder, besideProgram)) return besideProgram;
    if (!makeFolders(config)) return besideProgram;
    return joinPath(config, kInitFileName);
}

std::string corruptedFileMessage(const std::string& path) {
    return "Be carefull!\r\nFile of last used options, i.e.\r\n" + std::string("\"") + path + "\"" +
           "\r\nis corrupted" +
           "\r\nIt will be restored with actual options, next time this error should not appear.";
}

// Lines 2 to 18 in file order; lines 7 and 8 are chosen by the flags.
void readPaths(TextReader& in, InitFileOptions& o) {
    o.waveFileDir = in.readLine(kWholeLine);
    o.treeTrainingFileDir = in.readLine(kWholeLine);
    o.treeFileDir = in.readLine(kWholeLine);
    o.waveFileDir1 = in.readLine(kWholeLine);
    o.waveFileDir2 = in.readLine(kWholeLine);
    (o.data1IsFvs ? o.fvsEventsFileDir1 : o.txtEventsFileDir1) = in.readLine(kWholeLine);
    (o.data2IsFvs ? o.fvsEventsFileDir2 : o.txtEventsFileDir2) = in.readLine(kWholeLine);
    o.errorFileName = in.readLine(kWholeLine);
    o.codeFileName = in.readLine(kWholeLine);
    o.teachFileName = in.readLine(kWholeLine);
    o.teachCath1FileName = in.readLine(kWholeLine);
    o.teachCath2FileName = in.readLine(kWholeLine);
    o.teachCath3FileName = in.readLine(kWholeLine);
    o.recogFileName = in.readLine(kWholeLine);
    o.recogCath1FileName = in.readLine(kWholeLine);
    o.recogCath2FileName = in.readLine(kWholeLine);
    o.recogCath3FileName = in.readLine(kWholeLine);
}

std::string fileContent(const InitFileOptions& o) {
    std::string text;
    auto line = [&text](const std::string& s) { text += s + "\r\n"; };
    line(std::to_string(unsigned{o.reservedFlag}) + " " + std::to_string(unsigned{o.data1IsFvs}) +
         " " + std::to_string(unsigned{o.data2IsFvs}));
    line(o.waveFileDir);
    line(o.treeTrainingFileDir);
    line(o.treeFileDir);
    line(o.waveFileDir1);
    line(o.waveFileDir2);
    line(o.data1IsFvs ? o.fvsEventsFileDir1 : o.txtEventsFileDir1);
    line(o.data2IsFvs ? o.fvsEventsFileDir2 : o.txtEventsFileDir2);
    line(o.errorFileName);
    line(o.codeFileName);
    line(o.teachFileName);
    line(o.teachCath1FileName);
    line(o.teachCath2FileName);
    line(o.teachCath3FileName);
    line(o.recogFileName);
    line(o.recogCath1FileName);
    line(o.recogCath2FileName);
    line(o.recogCath3FileName);
    return text;
}

}  // namespace

std::optional<std::string> ReadInitFile(InitFileOptions& options,
                                        const std::string& programFolder) {
    options.initFilePath = initFilePathFor(programFolder);
    if (!fileExists(options.initFilePath)) return std::nullopt;

    try {
        TextReader in(options.initFilePath);
        if (in.eof()) return std::nullopt;  // an empty file is ignored

        const int32_t reserved = in.readInt32();
        const int32_t data1 = in.readInt32();
        const int32_t data2 = in.readInt32();
        options.reservedFlag = lowBits<uint8_t>(reserved);
        options.data1IsFvs = lowBits<uint8_t>(data1);
        options.data2IsFvs = lowBits<uint8_t>(data2);
        in.readLn();

        readPaths(in, options);
    } catch (const InOutError&) {
        // Whatever was replaced so far stays; the file is rewritten at the
        // next settled file choice.
        return corruptedFileMessage(options.initFilePath);
    }
    return std::nullopt;
}

void WriteInitFile(const InitFileOptions& options) {
    const std::string text = fileContent(options);
    std::FILE* f = std::fopen(options.initFilePath.c_str(), "wb");
    if (!f) throw ioErrorFromErrno(errno);
    errno = 0;
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    const bool flushed = written && std::fflush(f) == 0;
    const int err = errno;
    const bool closed = std::fclose(f) == 0;
    if (!written || !flushed) throw ioErrorFromErrno(err ? err : EIO);
    if (!closed) throw ioErrorFromErrno(errno ? errno : EIO);
}

}  // namespace zortan
