#include "ChildRun.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <type_traits>

namespace loftwick::bench {

static_assert(std::is_trivially_copyable_v<CaseFigures>, "sent through a pipe as bytes");

std::optional<CaseFigures> RunInChild(const std::function<CaseFigures()>& work) {
    int fds[2];
    if (::pipe(fds) != 0) return std::nullopt;
    std::fflush(nullptr);  // or the child would print the parent's buffered output again
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return std::nullopt;
    }
    if (pid == 0) {
        ::close(fds[0]);
        int status = 1;
        try {
            const CaseFigures figures = work();
            if (::write(fds[1], &figures, sizeof figures) == static_cast<ssize_t>(sizeof figures)) status = 0;
        } catch (...) {
        }
        ::close(fds[1]);
        std::fflush(nullptr);
        ::_exit(status);
    }
    ::close(fds[1]);
    CaseFigures figures;
    size_t got = 0;
    while (got < sizeof figures) {
        const ssize_t n = ::read(fds[0], reinterpret_cast<char*>(&figures) + got, sizeof figures - got);
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (got != sizeof figures || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    return figures;
}

}  // namespace loftwick::bench
