// The console streams as the tool uses them: the same bytes on every platform, never a
// port descriptor among them, and waits on them that a signal can end.
#pragma once

#include <cerrno>
#include <cstddef>
#include <streambuf>

namespace console {

/// Opens the null device onto standard input, output or error where one is closed, so
/// that no descriptor the tool opens later (the port) can take their numbers and receive
/// text meant for the console. Call first thing in main().
void guardStandardDescriptors();

/// Sets up std::cin, std::cout and std::cerr: every line ends in "\n" alone, a reader
/// that never reads or a writer that never drains cannot keep a signal from ending the
/// run, and a failed write is dropped without ending it.
void prepare();

/// Writes all of `data` to standard error, or as much as can be written: waits for room
/// while the descriptor is full, handing any signal that arrives to signals::dispatch.
void writeError(const char* data, std::size_t size);

/// Writes `data` to standard error if there is room for it now, else drops it; never
/// waits. Async-signal-safe: for the last trace line on the way out of a signal.
void writeErrorNow(const char* data, std::size_t size) noexcept;

/// Opens `path` to read input from (a set-up file, the terminal) without waiting for a
/// pipe's writer and without making a terminal the controlling one: its descriptor, or -1
/// with errno set. A device that opening could disturb is never opened: see
/// refusedDevice().
int openInput(const char* path);

/// Why `path` is a device that input is never read from, or nullptr. Opening a device
/// node can act on it (a watchdog arms, a serial line raises DTR and resets a board), so
/// only the terminal and the harmless memory devices (null, zero, random, ...) are read.
const char* refusedDevice(const char* path);
void closeInput(int fd);

/// readInput()'s answer when a signal ended the wait before any input came.
constexpr long kInterrupted = -2;

/// Reads up to `size` bytes from `fd` as soon as there are any. Signals that arrive while
/// it waits go to signals::dispatch; one that the run takes as the end of the line (Ctrl-C
/// at the prompt) or as its end returns kInterrupted. With `interruptReturns`, Ctrl-C is
/// returned as kInterrupted without being dispatched. A read from the terminal refused to
/// a background job stops the process, as SIGTTIN would, and tries once more. Returns the
/// count, 0 at end of input, or -1 when the read failed (errno says why).
long readInput(int fd, char* data, std::size_t size, bool interruptReturns = false);

/// An input stream buffer on a descriptor, read with readInput(): a failed read ends the
/// input and is kept in error() instead of being thrown.
class InputBuffer : public std::streambuf {
  public:
    /// With `owned`, the descriptor is closed with the buffer.
    explicit InputBuffer(int fd, bool owned = false) : fd_(fd), owned_(owned) {}
    ~InputBuffer() override {
        if (owned_) {
            closeInput(fd_);
        }
    }
    InputBuffer(const InputBuffer&) = delete;
    InputBuffer& operator=(const InputBuffer&) = delete;

    /// The errno of the read that failed, or 0.
    int error() const { return error_; }

  protected:
    int_type underflow() override {
        if (gptr() < egptr()) {
            return traits_type::to_int_type(*gptr());
        }
        const long got = readInput(fd_, buffer_, sizeof buffer_);
        if (got > 0) {
            setg(buffer_, buffer_, buffer_ + got);
            return traits_type::to_int_type(buffer_[0]);
        }
        if (got == -1) {
            error_ = errno;
        }
        return traits_type::eof();
    }

  private:
    int fd_;
    bool owned_;
    int error_ = 0;
    char buffer_[4096] = {};
};

}  // namespace console
