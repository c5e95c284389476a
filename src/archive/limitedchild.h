#pragma once

#include <QByteArrayView>
#include <functional>

// Runs a piece of work in a child process of its own, forked at the moment it is needed, and
// hands back what the child writes to its pipe as it arrives. The child has limits on its
// processor time and on the memory it may add; a crash, a limit reached, the deadline passed
// or a cancel ends it, and it is always waited for: nothing of it is left running.
class LimitedChild {
public:
    struct Limits {
        int cpuSeconds = 2;             // processor time of the child (RLIMIT_CPU)
        qint64 memoryBytes = 512 << 20; // address space it may add to what it had at the fork
        int wallMs = 10000;             // from the fork to the end of its output
    };
    enum class End {
        Finished,  // the child wrote all it had and exited with 0
        Stopped,   // the reader of the output asked for no more
        Cancelled, // the tick asked to stop
        Broken,    // crashed, killed, over a limit or past the deadline, or exited with an error
        NotStarted // no pipe or no fork: errorNumber() tells why
    };

    // Runs in the child after the fork, with the pipe's writing end; returns the exit code.
    // It must touch nothing the parent's other threads may have held at the fork: no Qt.
    using Work = std::function<int(int fd)>;
    // Each piece of the output as it arrives; false ends the child.
    using Sink = std::function<bool(QByteArrayView)>;
    // Called after each piece and at least every tickMs while waiting; false cancels.
    using Tick = std::function<bool()>;

    explicit LimitedChild(Limits limits) : m_limits(limits) {}
    End run(const Work &work, const Sink &sink, const Tick &tick);
    int errorNumber() const { return m_errno; }

    static constexpr int tickMs = 50;

private:
    Limits m_limits;
    int m_errno = 0;
};
