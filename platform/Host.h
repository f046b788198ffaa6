// What the host system provides: the program's folder, the user's
// configuration folder, file and folder tests, path helpers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

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

bool fileExists(const std::string& path);    // an existing regular file
bool folderExists(const std::string& path);  // an existing directory
bool folderWritable(const std::string& path);
// Creates the folder and its parents; true when it exists afterwards.
bool makeFolders(const std::string& path);

// Cuts an open file back to its first `size` bytes; false when the system
// cannot (a device, for one).
bool cutFileTo(std::FILE* file, uint64_t size);

// Path pieces; both '\' and '/' separate.
std::string extractFileDir(const std::string& path);  // without trailing separator
std::string extractFileName(const std::string& path);
std::string extractFileExt(const std::string& path);  // from the last '.' of the name, or ""
std::string joinPath(const std::string& folder, const std::string& name);

}  // namespace zortan
