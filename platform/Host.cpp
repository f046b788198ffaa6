#include "platform/Host.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/Errors.h"

#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <pthread.h>
#include <signal.h>
#include <unistd.h>
#endif

namespace zortan {

namespace fs = std::filesystem;

namespace {

// A path of the program's texts as the file system takes it. On Windows the
// texts are in the system's code page, as fopen takes them, while the
// library reads a narrow path otherwise: it is widened here.
fs::path hostPath(const std::string& path) {
#ifdef _WIN32
    const int size = static_cast<int>(path.size());
    const int n = MultiByteToWideChar(CP_ACP, 0, path.data(), size, nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path.data(), size, wide.data(), n);
    return fs::path(wide);
#else
    return fs::path(path);
#endif
}

}  // namespace

bool isRegularFile(std::FILE* file) {
#ifdef _WIN32
    struct _stat64 st;
    return _fstat64(_fileno(file), &st) == 0 && (st.st_mode & _S_IFMT) == _S_IFREG;
#else
    struct stat st;
    return fstat(fileno(file), &st) == 0 && S_ISREG(st.st_mode);
#endif
}

std::thread startQuietThread(std::function<void()> work) {
#ifdef _WIN32
    return std::thread(std::move(work));
#else
    // The new thread inherits the mask of the one that creates it.
    sigset_t all, before;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &before);
    try {
        std::thread t(std::move(work));
        pthread_sigmask(SIG_SETMASK, &before, nullptr);
        return t;
    } catch (...) {
        pthread_sigmask(SIG_SETMASK, &before, nullptr);
        throw;
    }
#endif
}

bool cutFileTo(std::FILE* file, uint64_t size) {
#ifdef _WIN32
    return _chsize_s(_fileno(file), static_cast<long long>(size)) == 0;
#else
    return ftruncate(fileno(file), static_cast<off_t>(size)) == 0;
#endif
}

InOutError ioErrorFromErrno(int err) {
    switch (err) {
        case ENOENT:
            return InOutError(2, "File not found");
        case ENOTDIR:
            return InOutError(3, "Path not found");
        case EMFILE:
            return InOutError(4, "Too many open files");
        case EACCES:
        case EPERM:
        case EROFS:
            return InOutError(5, "File access denied");
        case ENOSPC:
            return InOutError(101, "Disk full");
        default:
            return InOutError(err, "I/O error " + std::to_string(err) + ": " + std::strerror(err));
    }
}

std::string runningProgramFolder() {
#ifdef _WIN32
    // In the system's code page, as every other path; the buffer grows
    // until the whole name fits.
    std::string exe(MAX_PATH, '\0');
    for (;;) {
        const DWORD n = GetModuleFileNameA(nullptr, exe.data(), static_cast<DWORD>(exe.size()));
        if (n < exe.size()) {
            exe.resize(n);
            break;
        }
        exe.resize(exe.size() * 2);
    }
    return extractFileDir(exe);
#else
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) exe = fs::current_path(ec) / "zortan";
    return exe.parent_path().string();
#endif
}

std::string userConfigFolder() {
#ifdef _WIN32
    const char* appData = std::getenv("APPDATA");
    return joinPath(appData && *appData ? appData : ".", "Zortan");
#else
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg) return joinPath(xdg, "zortan");
    const char* home = std::getenv("HOME");
    return joinPath(joinPath(home && *home ? home : ".", ".config"), "zortan");
#endif
}

std::string installedDataFolder(const std::string& programFolder) {
    if (extractFileName(programFolder) != "bin") return {};
    const std::string data = joinPath(joinPath(extractFileDir(programFolder), "share"), "zortan");
    return folderExists(data) ? data : std::string();
}

bool fileExists(const std::string& path) {
    if (path.empty()) return false;
    std::error_code ec;
    return fs::is_regular_file(hostPath(path), ec);
}

bool otherFileExists(const std::string& path) {
    if (path.empty()) return false;
    std::error_code ec;
    const fs::file_status st = fs::status(fs::path(path), ec);
    return !ec && fs::exists(st) && !fs::is_regular_file(st) && !fs::is_directory(st);
}

bool folderExists(const std::string& path) {
    if (path.empty()) return false;
    std::error_code ec;
    return fs::is_directory(hostPath(path), ec);
}

std::string siblingTempName(const std::string& path) {
    // The process, the thread and the moment make the name; a name taken
    // all the same (a clock too coarse) is passed over.
#ifdef _WIN32
    const uint64_t process = GetCurrentProcessId();
#else
    const uint64_t process = static_cast<uint64_t>(getpid());
#endif
    const uint64_t thread = std::hash<std::thread::id>{}(std::this_thread::get_id());
    const std::string folder = extractFileDir(path);
    for (uint64_t attempt = 0;; ++attempt) {
        const auto now =
            static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
        const uint64_t mixed = (now + attempt) * 0x9E3779B97F4A7C15ull ^ thread;
        char name[64];
        std::snprintf(name, sizeof name, ".zortan-%llx-%016llx.part",
                      static_cast<unsigned long long>(process),
                      static_cast<unsigned long long>(mixed));
        const std::string candidate = folder.empty() ? std::string(name) : joinPath(folder, name);
        std::error_code error;
        if (!std::filesystem::exists(std::filesystem::path(candidate), error)) return candidate;
    }
}

void replaceFile(const std::string& from, const std::string& to) {
    std::error_code error;
    std::filesystem::rename(std::filesystem::path(from), std::filesystem::path(to), error);
    if (error) throw ioErrorFromErrno(error.default_error_condition().value());
}

bool folderWritable(const std::string& path) {
#ifdef _WIN32
    return folderExists(path) && _access(path.c_str(), 2) == 0;
#else
    return folderExists(path) && access(path.c_str(), W_OK | X_OK) == 0;
#endif
}

bool makeFolders(const std::string& path) {
    std::error_code ec;
    fs::create_directories(hostPath(path), ec);
    return folderExists(path);
}

static size_t lastSeparator(const std::string& path) {
    return path.find_last_of("\\/");
}

std::string extractFileDir(const std::string& path) {
    size_t p = lastSeparator(path);
    if (p == std::string::npos) return {};
    if (p == 0) return path.substr(0, 1);  // the root folder itself
    return path.substr(0, p);
}

std::string extractFileName(const std::string& path) {
    size_t p = lastSeparator(path);
    return p == std::string::npos ? path : path.substr(p + 1);
}

std::string extractFileExt(const std::string& path) {
    size_t dot = path.find_last_of('.');
    size_t sep = lastSeparator(path);
    if (dot == std::string::npos || (sep != std::string::npos && dot < sep)) return {};
    return path.substr(dot);
}

std::string joinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    char last = folder.back();
    if (last == '/' || last == '\\') return folder + name;
    return folder + kPathSeparator + name;
}

}  // namespace zortan
