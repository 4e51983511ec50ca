// Running outside programs: fork and exec of an argument vector, never a
// shell, so no argument is ever re-interpreted.
#include "Vantor_util/Vantor_util.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace {

// Owns one descriptor; closes it on scope exit.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd(Fd&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
    Fd& operator=(Fd&& o) noexcept
    {
        if (this != &o) {
            reset();
            fd_ = std::exchange(o.fd_, -1);
        }
        return *this;
    }
    ~Fd() { reset(); }
    int get() const { return fd_; }
    void reset()
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

// A close-on-exec copy of fd numbered 3 or above, so that it can never be
// one of the standard descriptors the child is given (a caller started with
// 0 or 1 closed would otherwise get the pipe under those numbers).
Fd aboveStandard(int fd)
{
    Fd original(fd);
    return Fd(::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1));
}

// Child side: only async-signal-safe calls between fork and exec. The pipe
// ends are close-on-exec; dup2 gives standard output a copy without it.
[[noreturn]] void runChild(char* const argv[], char* const envp[], int outFd)
{
    if (outFd >= 0 && ::dup2(outFd, STDOUT_FILENO) < 0) {
        ::_exit(127);
    }
    ::execve(argv[0], argv, envp != nullptr ? envp : environ);
    ::_exit(127);
}

// Copies what is readable now (at most limit bytes) into the stream; false
// at end of file or on a read error, true when the pipe is merely empty for
// the moment or the limit is reached.
bool copyAvailable(int fd, FILE* stream, size_t limit = static_cast<size_t>(-1))
{
    char chunk[4096];
    for (size_t copied = 0; copied < limit;) {
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return true;
        }
        if (n <= 0) {
            return false;
        }
        std::fwrite(chunk, 1, static_cast<size_t>(n), stream);
        copied += static_cast<size_t>(n);
    }
    return true;
}

// True once the child has ended; it is left to be reaped by waitpid. A
// child we cannot wait for (SIGCHLD ignored reaps it at once) counts as
// ended.
bool childEnded(pid_t pid)
{
    siginfo_t info {};
    if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
        return errno == ECHILD;
    }
    return info.si_pid == pid;
}

// Copies the child's output until the pipe ends or the child itself has
// ended. A background process the child started (a daemon from a service
// script) may hold the pipe open for ever; what the child wrote is in the
// pipe by the time it ends, and only that is taken. A pidfd tells us at once
// when the child ends; without one (older kernels) we look every 50 ms.
void copyWhileChildRuns(int fd, pid_t pid, FILE* stream)
{
    // More than a pipe holds: all the child can have left in it.
    constexpr size_t kPipeRemainder = 1 << 20;
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) {
        ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    }
    Fd childFd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    for (;;) {
        pollfd watch[2] = {{fd, POLLIN, 0}, {childFd.get(), POLLIN, 0}};
        const int ready = ::poll(watch, childFd.get() >= 0 ? 2 : 1, childFd.get() >= 0 ? -1 : 50);
        if (ready < 0 && errno != EINTR) {
            break;
        }
        if ((watch[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0 && !copyAvailable(fd, stream)) {
            break;
        }
        if (childEnded(pid)) {
            // What the child left in the pipe; a daemon writing on does not
            // keep us here.
            copyAvailable(fd, stream, kPipeRemainder);
            break;
        }
    }
    std::fflush(stream);
}

int waitFor(pid_t pid)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return status;
}

} // namespace

namespace Vantor_util {

int call_executable(char* const argv[], char* const envp[], bool wait, pid_t* pidOut,
                    FILE* stream, int* statusOut)
{
    if (argv == nullptr || argv[0] == nullptr) {
        errno = EINVAL;
        return -1;
    }
    // A stream with a descriptor gets the child's output directly: nothing
    // of ours stays between the child and the stream, so a background
    // process it leaves behind keeps nobody waiting. Only a stream without
    // one (a memory stream) needs a pipe copied by us.
    Fd readEnd;
    Fd writeEnd;
    if (stream != nullptr) {
        std::fflush(stream);
        const int streamFd = ::fileno(stream);
        if (streamFd >= 0) {
            writeEnd = Fd(::fcntl(streamFd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1));
            if (writeEnd.get() < 0) {
                return -1;
            }
        } else {
            int fds[2];
            if (::pipe2(fds, O_CLOEXEC) < 0) {
                return -1;
            }
            readEnd = aboveStandard(fds[0]);
            writeEnd = aboveStandard(fds[1]);
            if (readEnd.get() < 0 || writeEnd.get() < 0) {
                return -1;
            }
        }
    }
    std::fflush(stdout);
    pid_t pid = ::fork();
    if (pid < 0) {
        return -1;
    }
    if (pid == 0) {
        runChild(argv, envp, writeEnd.get());
    }
    writeEnd.reset();
    if (pidOut != nullptr) {
        *pidOut = pid;
    }
    if (readEnd.get() >= 0) {
        // Drained while the child runs, so a chatty child never blocks on a
        // full pipe.
        copyWhileChildRuns(readEnd.get(), pid, stream);
    }
    if (!wait) {
        return 0;
    }
    int status = waitFor(pid);
    if (statusOut != nullptr) {
        *statusOut = status;
    }
    return status;
}

} // namespace Vantor_util

int Vantor_util__call_executable_5(const char* program, const char* arg1, const char* arg2,
                                   const char* arg3, const char* arg4)
{
    const char* given[] = {program, arg1, arg2, arg3, arg4};
    char* argv[6] = {};
    for (size_t i = 0; i < 5 && given[i] != nullptr; ++i) {
        // execve does not write through argv; the cast only meets its C signature.
        argv[i] = const_cast<char*>(given[i]);
    }
    return Vantor_util::call_executable(argv, nullptr, true, nullptr, nullptr, nullptr);
}

const char* Vantor_util__access_list(const char* const* paths, int mode)
{
    if (paths == nullptr) {
        return nullptr;
    }
    for (; *paths != nullptr; ++paths) {
        if (::access(*paths, mode) == 0) {
            return *paths;
        }
    }
    return nullptr;
}
