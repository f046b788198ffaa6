// What the host system provides: the program's folder, the user's
// configuration folder, file and folder tests, path helpers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

namespace zortan {

// The host's path separator.
#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

// Folder of the running program file, without a trailing separator.
std::string runningProgramFolder();

// The per-user configuration folder for this program (XDG on Linux,
// AppData on Windows); not created here.
std::string userConfigFolder();

// PREFIX/share/zortan when `programFolder` is PREFIX/bin of an installed
// Zortan (that folder exists), else "": an installed program keeps nothing
// beside itself and finds its samples there.
std::string installedDataFolder(const std::string& programFolder);

// Whether `path` names something that is neither a regular file nor a
// folder (a pipe, a device).
bool otherFileExists(const std::string& path);
bool fileExists(const std::string& path);    // an existing regular file
bool folderExists(const std::string& path);  // an existing directory
bool folderWritable(const std::string& path);
// Creates the folder and its parents; true when it exists afterwards.
bool makeFolders(const std::string& path);

// Cuts an open file back to its first `size` bytes; false when the system
// cannot (a device, for one).
bool cutFileTo(std::FILE* file, uint64_t size);

// A name for a file beside `path`, in the same folder, that no other file
// has: where an output is written before it takes its own name.
std::string siblingTempName(const std::string& path);
// Gives the file `from` the name `to`, replacing a file of that name, in
// one step where the system can; throws InOutError.
void replaceFile(const std::string& from, const std::string& to);

// Whether an open file is a regular file, whose reads always come to an end.
bool isRegularFile(std::FILE* file);

// Runs `work` on a thread of its own that takes no signals: they stay with
// the program's own threads and never interrupt the work's system calls.
std::thread startQuietThread(std::function<void()> work);

// Path pieces; both '\' and '/' separate.
std::string extractFileDir(const std::string& path);  // without trailing separator
std::string extractFileName(const std::string& path);
std::string extractFileExt(const std::string& path);  // from the last '.' of the name, or ""
std::string joinPath(const std::string& folder, const std::string& name);

}  // namespace zortan
