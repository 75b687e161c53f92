#include "front/HistoryFile.h"

#include <cstdlib>
#include <string>

#include "front/LineEditor.h"

#ifdef PMC10_HAVE_LIBEDIT
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#endif

std::string LineEditor::historyPath() {
    const char* const state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && *state == '/') {
        return std::string(state) + "/pmc10/history";
    }
    const char* const home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') {
        return std::string(home) + "/.local/state/pmc10/history";
    }
    return {};
}

#ifdef PMC10_HAVE_LIBEDIT
namespace history_file {
namespace {

void makeDirectories(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        ::mkdir(path.substr(0, slash).c_str(), 0700);
    }
}

/// Opens the history file with `flags`, never through a symbolic link, and only when it
/// and its folder belong to the user running and it is a plain file with no other name:
/// a home folder that someone else prepared (a root run under `sudo -E`) can point it at
/// nothing else. -1 when there is to be no history.
int openHistory(const std::string& path, int flags) {
    const std::size_t slash = path.rfind('/');
    const int folder =
        ::open(path.substr(0, slash).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0) {
        return -1;
    }
    struct stat info {};
    int fd = -1;
    if (fstat(folder, &info) == 0 && info.st_uid == geteuid()) {
        fd = openat(folder, path.c_str() + slash + 1,
                    flags | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
    }
    ::close(folder);
    if (fd >= 0 && (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != geteuid() ||
                    info.st_nlink != 1)) {
        ::close(fd);
        fd = -1;
    }
    return fd;
}

}  // namespace

void load(History* kept, const std::string& path) {
    const int saved = path.empty() ? -1 : openHistory(path, O_RDONLY);
    if (saved >= 0) {
        HistEvent event;
        // Loaded through the descriptor checked, not through the name again.
        history(kept, &event, H_LOAD, ("/proc/self/fd/" + std::to_string(saved)).c_str());
        ::close(saved);
    }
}

void save(History* kept, const std::string& path) {
    if (path.empty()) {
        return;
    }
    makeDirectories(path);
    const int fd = openHistory(path, O_WRONLY | O_CREAT);
    FILE* const file = fd < 0 || ftruncate(fd, 0) != 0 ? nullptr : fdopen(fd, "w");
    if (file == nullptr) {
        if (fd >= 0) {
            ::close(fd);
        }
        return;
    }
    HistEvent event;
    history(kept, &event, H_SAVE_FP, file);
    std::fclose(file);
}

}  // namespace history_file
#endif
