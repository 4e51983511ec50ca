// vsaveout OUTPUT PROGRAM [ARGS...]
//
// Runs PROGRAM with ARGS, stores its standard output in OUTPUT and exits
// with the program's status. The configuration tools use it to capture a
// program's output into a work file without a shell, so no argument is ever
// interpreted by one. OUTPUT is created readable by its owner only (it may
// hold password hashes) and flushed to the disk before we exit.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

int usage(const char* program)
{
    std::fprintf(stderr, "usage: %s OUTPUT PROGRAM [ARGS...]\n", program);
    return 2;
}

int waitStatus(pid_t pid)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            std::perror("vsaveout: waitpid");
            return 127;
        }
    }
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        return usage(argv[0]);
    }
    const int fd = ::open(argv[1], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::fprintf(stderr, "vsaveout: cannot open \"%s\": %s\n", argv[1], std::strerror(errno));
        return 126;
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        std::perror("vsaveout: fork");
        ::close(fd);
        return 126;
    }
    if (pid == 0) {
        if (::dup2(fd, STDOUT_FILENO) < 0) {
            ::_exit(127);
        }
        ::execv(argv[2], argv + 2);
        std::fprintf(stderr, "vsaveout: cannot run \"%s\": %s\n", argv[2], std::strerror(errno));
        ::_exit(127);
    }
    const int status = waitStatus(pid);
    if (::fsync(fd) != 0 && errno != EINVAL) {
        std::perror("vsaveout: fsync");
        ::close(fd);
        return status != 0 ? status : 126;
    }
    if (::close(fd) != 0) {
        std::perror("vsaveout: close");
        return status != 0 ? status : 126;
    }
    return status;
}
