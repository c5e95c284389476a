#include "archive/limitedchild.h"

#include <QElapsedTimer>

#include <memory>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The address space the process has now. The child's memory limit is counted from it: a
// program built with the sanitizers has reserved terabytes before main() runs.
qint64 addressSpace() {
    const int fd = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    char text[64] = {};
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n <= 0)
        return 0;
    return qint64(std::strtoll(text, nullptr, 10)) * ::sysconf(_SC_PAGESIZE);
}

void limit(int resource, rlim_t soft, rlim_t hard) {
    const rlimit r{soft, hard};
    ::setrlimit(resource, &r);
}

[[noreturn]] void runChild(int fd, pid_t parent, const LimitedChild::Work &work,
                           const LimitedChild::Limits &limits, qint64 space) {
    // Ends with the program, should the program end first.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent)
        ::_exit(126);
    // What the library prints about a damaged file is not the program's to show, and the
    // parent's handlers (a crash handler, a test harness) are not the child's.
    const int null = ::open("/dev/null", O_RDWR);
    for (int std = 0; std <= 2; ++std)
        ::dup2(null, std);
    for (int sig = 1; sig < NSIG; ++sig)
        if (sig != SIGKILL && sig != SIGSTOP)
            ::signal(sig, SIG_DFL);
    sigset_t all;
    sigemptyset(&all);
    ::sigprocmask(SIG_SETMASK, &all, nullptr);
    limit(RLIMIT_CORE, 0, 0);
    limit(RLIMIT_CPU, rlim_t(limits.cpuSeconds), rlim_t(limits.cpuSeconds + 1));
    if (space > 0)
        limit(RLIMIT_AS, rlim_t(space + limits.memoryBytes), rlim_t(space + limits.memoryBytes));
    ::_exit(work(fd));
}

// Waits for the child; when it is still there at the deadline, it is killed first.
int reap(pid_t pid, const QElapsedTimer &clock, qint64 deadlineMs) {
    int status = 0;
    for (;;) {
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid || (r < 0 && errno != EINTR))
            return status;
        if (r == 0 && clock.elapsed() >= deadlineMs) {
            ::kill(pid, SIGKILL);
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            return -1;
        }
        ::usleep(1000);
    }
}

} // namespace

LimitedChild::End LimitedChild::run(const Work &work, const Sink &sink, const Tick &tick) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        m_errno = errno;
        return End::NotStarted;
    }
    const qint64 space = addressSpace();
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        m_errno = errno;
        ::close(fds[0]);
        ::close(fds[1]);
        return End::NotStarted;
    }
    if (pid == 0) {
        ::close(fds[0]);
        runChild(fds[1], parent, work, m_limits, space);
    }
    ::close(fds[1]);

    QElapsedTimer clock;
    clock.start();
    End end = End::Finished;
    static constexpr int chunk = 1 << 16;
    std::unique_ptr<char[]> buffer(new char[chunk]);
    for (bool open = true; open;) {
        const qint64 left = m_limits.wallMs - clock.elapsed();
        if (left <= 0) {
            end = End::Broken;
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        const int ready = ::poll(&p, 1, int(std::min<qint64>(left, tickMs)));
        if (ready < 0 && errno != EINTR) {
            end = End::Broken;
            break;
        }
        if (ready > 0) {
            const ssize_t n = ::read(fds[0], buffer.get(), chunk);
            if (n < 0 && errno != EINTR && errno != EAGAIN) {
                end = End::Broken;
                break;
            }
            if (n == 0)
                open = false;
            else if (n > 0 && !sink(QByteArrayView(buffer.get(), n))) {
                end = End::Stopped;
                break;
            }
        }
        if (open && !tick()) {
            end = End::Cancelled;
            break;
        }
    }
    ::close(fds[0]);
    if (end != End::Finished)
        ::kill(pid, SIGKILL);
    const int status = reap(pid, clock, m_limits.wallMs);
    if (end == End::Finished && !(status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0))
        end = End::Broken;
    return end;
}
