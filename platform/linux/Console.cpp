#include "platform/Console.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <iostream>
#include <streambuf>

#include "platform/Signals.h"

namespace console {
namespace {

// At most this much per write(2) once poll(2) says there is room: a pipe that has room
// for one page takes it without blocking, so a signal never waits behind a full pipe.
constexpr std::size_t kChunk = 4096;

/// Writes `data` to `fd`, waiting for room between chunks; gives up on a write error
/// (a closed reader, a full disk): output is a courtesy, never the end of a run.
void writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        if (signals::ending() != 0) {
            // On the way out of a signal nothing waits for room: what does not fit now is
            // dropped.
            pollfd fds{fd, POLLOUT, 0};
            if (::poll(&fds, 1, 0) != 1 || (fds.revents & POLLOUT) == 0) {
                return;
            }
        } else if (const signals::Event event = signals::waitForDescriptor(fd, true)) {
            signals::dispatch(event);
            continue;
        }
        const ssize_t written = ::write(fd, data, size < kChunk ? size : kChunk);
        if (written < 0) {
            if (errno == EINTR || errno == EAGAIN) {
                continue;
            }
            return;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

/// An output stream buffer on a descriptor; it writes whatever it holds on each flush.
class OutputBuffer : public std::streambuf {
  public:
    explicit OutputBuffer(int fd) : fd_(fd) { setp(buffer_, buffer_ + sizeof buffer_); }

  protected:
    int_type overflow(int_type c) override {
        sync();
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(c);
            pbump(1);
        }
        return traits_type::not_eof(c);
    }
    int sync() override {
        writeAll(fd_, pbase(), static_cast<std::size_t>(pptr() - pbase()));
        setp(buffer_, buffer_ + sizeof buffer_);
        return 0;
    }

  private:
    int fd_;
    char buffer_[kChunk];
};

/// True when `fd` is a terminal whose foreground is another process group: a read from
/// it fails (SIGTTIN is blocked here) where the default would stop the process.
bool readsInBackground(int fd) {
    return isatty(fd) == 1 && tcgetpgrp(fd) != getpgrp();
}

}  // namespace

void guardStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
            // open() returns the lowest free number, which is this one.
            int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
            if (opened < 0) {
                // No null device (a bare chroot): a directory holds the number as well,
                // and every write to it fails.
                opened = open("/", O_RDONLY | O_DIRECTORY);
            }
            if (opened != fd && opened >= 0) {
                close(opened);
            }
        }
    }
}

void prepare() {
    // Never destroyed: the standard streams flush into them after main() returns.
    std::cout.rdbuf(new OutputBuffer(STDOUT_FILENO));
    std::cerr.rdbuf(new OutputBuffer(STDERR_FILENO));
    std::cin.rdbuf(new InputBuffer(STDIN_FILENO));
}

const char* refusedDevice(const char* path) {
    struct stat node {};
    if (stat(path, &node) != 0 || !(S_ISCHR(node.st_mode) || S_ISBLK(node.st_mode))) {
        return nullptr;
    }
    if (S_ISCHR(node.st_mode)) {
        const unsigned kind = major(node.st_rdev);
        const unsigned unit = minor(node.st_rdev);
        const bool memory = kind == 1 && (unit == 3 || unit == 5 || unit == 7 || unit == 8 ||
                                          unit == 9 || unit == 11);  // null zero full random
                                                                     // urandom kmsg
        const bool terminal = (kind == 5 && unit == 0) ||            // /dev/tty
                              (kind == 4 && unit < 64) ||            // virtual consoles
                              (kind >= 136 && kind <= 143);          // pseudo-terminals
        if (memory || terminal) {
            return nullptr;
        }
    }
    return "a device, not a file (only a terminal or a file is read)";
}

int openInput(const char* path) {
    if (refusedDevice(path) != nullptr) {
        errno = EPERM;
        return -1;
    }
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0) {
        // Waits are poll(2)'s; the reads themselves may block once data is there.
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    }
    return fd;
}

void closeInput(int fd) {
    close(fd);
}

long readInput(int fd, char* data, std::size_t size, bool interruptReturns) {
    bool stopped = false;
    for (;;) {
        if (const signals::Event event = signals::waitForDescriptor(fd, false)) {
            if (interruptReturns && event.number == SIGINT) {
                return kInterrupted;
            }
            signals::dispatch(event);
            if (event.kind == signals::Kind::Terminate) {
                return kInterrupted;  // taken as the end of the line
            }
            continue;
        }
        const ssize_t got = ::read(fd, data, size);
        if (got >= 0) {
            return static_cast<long>(got);
        }
        if (errno == EINTR || errno == EAGAIN) {
            continue;
        }
        const int error = errno;
        if (error == EIO && !stopped && readsInBackground(fd)) {
            stopped = true;
            signals::stopBy(SIGTTIN);  // until `fg` or `bg`
            continue;
        }
        errno = error;
        return -1;
    }
}

void writeError(const char* data, std::size_t size) {
    std::cerr.flush();
    writeAll(STDERR_FILENO, data, size);
}

}  // namespace console

namespace console {

void writeErrorNow(const char* data, std::size_t size) noexcept {
    pollfd fds{STDERR_FILENO, POLLOUT, 0};
    if (::poll(&fds, 1, 0) == 1 && (fds.revents & POLLOUT) != 0) {
        const ssize_t ignored = ::write(STDERR_FILENO, data, size);
        (void)ignored;
    }
}

}  // namespace console
