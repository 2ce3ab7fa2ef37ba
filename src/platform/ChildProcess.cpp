#include "ChildProcess.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

// The resident size of `pid` from /proc, or -1 when it cannot be read (it has ended).
qint64 residentBytes(pid_t pid)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/statm", int(pid));
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    char text[128];
    const ssize_t got = read(fd, text, sizeof text - 1);
    close(fd);
    if (got <= 0)
        return -1;
    text[got] = '\0';
    long long total = 0, resident = 0;
    if (std::sscanf(text, "%lld %lld", &total, &resident) != 2)
        return -1;
    return qint64(resident) * sysconf(_SC_PAGESIZE);
}

} // namespace

std::vector<std::string> environmentWithTemporaryFolder(const QString &folder)
{
    std::vector<std::string> environment;
    for (char **variable = environ; *variable; ++variable) {
        const std::string entry = *variable;
        if (entry.rfind("TMPDIR=", 0) != 0 && entry.rfind("TEMP=", 0) != 0 && entry.rfind("TMP=", 0) != 0)
            environment.push_back(entry);
    }
    const std::string path = folder.toStdString();
    environment.push_back("TMPDIR=" + path);
    environment.push_back("TEMP=" + path);
    environment.push_back("TMP=" + path);
    return environment;
}

ChildOutcome runChild(const std::vector<std::string> &arguments, const std::vector<std::string> &environment,
                      const QString &workingFolder, const ChildLimits &limits)
{
    ChildOutcome outcome;
    const bool keepErrors = limits.maxErrorBytes > 0;
    int outFds[2] = {-1, -1}, errFds[2] = {-1, -1};
    if (pipe2(outFds, O_CLOEXEC) != 0 || (keepErrors && pipe2(errFds, O_CLOEXEC) != 0)) {
        outcome.startError = QStringLiteral("cannot make a pipe (%1)").arg(QString::fromUtf8(std::strerror(errno)));
        for (int fd : {outFds[0], outFds[1]})
            if (fd >= 0)
                close(fd);
        return outcome;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outFds[1], 1);
    if (keepErrors)
        posix_spawn_file_actions_adddup2(&actions, errFds[1], 2);
    else
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const QByteArray folder = QFile::encodeName(workingFolder);
    if (!workingFolder.isEmpty())
        posix_spawn_file_actions_addchdir_np(&actions, folder.constData());
    std::vector<char *> argv;
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<char *> envp;
    for (const std::string &variable : environment)
        envp.push_back(const_cast<char *>(variable.c_str()));
    envp.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(outFds[1]);
    if (keepErrors)
        close(errFds[1]);
    if (spawned != 0) {
        close(outFds[0]);
        if (keepErrors)
            close(errFds[0]);
        outcome.startError = QStringLiteral("cannot start %1 (%2)").arg(QString::fromStdString(arguments[0]), QString::fromUtf8(std::strerror(spawned)));
        return outcome;
    }
    outcome.end = ChildOutcome::End::Exited;

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limits.seconds);
    // Often enough that a runaway allocation (megabytes per millisecond at most) is
    // caught near its bound.
    const int watchMs = limits.maxResidentBytes > 0 ? 25 : 1000;
    pollfd fds[2] = {{outFds[0], POLLIN, 0}, {keepErrors ? errFds[0] : -1, POLLIN, 0}};
    int openPipes = keepErrors ? 2 : 1;
    auto nextWatch = std::chrono::steady_clock::now();
    bool killed = false, reaped = false;
    int status = 0;
    char chunk[65536];
    // Until it has ended: a child that closes its output need not be done.
    while (!killed && !reaped) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            outcome.end = ChildOutcome::End::TimedOut;
            killed = true;
            break;
        }
        if (limits.maxResidentBytes > 0 && std::chrono::steady_clock::now() >= nextWatch) {
            nextWatch = std::chrono::steady_clock::now() + std::chrono::milliseconds(watchMs);
            const qint64 resident = residentBytes(pid);
            outcome.peakResidentBytes = std::max(outcome.peakResidentBytes, resident);
            if (resident > limits.maxResidentBytes) {
                outcome.end = ChildOutcome::End::TooMuchMemory;
                killed = true;
                break;
            }
        }
        if (openPipes == 0) {
            const pid_t done = waitpid(pid, &status, WNOHANG);
            if (done == pid || (done < 0 && errno != EINTR)) {
                reaped = true;
                break;
            }
        }
        // Once both pipes are closed it is about to end: look again soon.
        const int ready = poll(fds, 2, int(std::min<long long>(left, openPipes == 0 ? 2 : watchMs)));
        if (ready <= 0)
            continue; // a timeout, or EINTR
        for (int i = 0; i < 2 && !killed; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const ssize_t got = read(fds[i].fd, chunk, sizeof chunk);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --openPipes;
                continue;
            }
            if (i == 1) {
                const qint64 room = limits.maxErrorBytes - outcome.errors.size();
                outcome.errors.append(chunk, qsizetype(std::min<qint64>(room, got)));
                continue;
            }
            outcome.output.append(chunk, got);
            if (outcome.output.size() > limits.maxOutput) {
                outcome.end = ChildOutcome::End::TooMuchOutput;
                killed = true;
            }
        }
    }
    for (const pollfd &fd : fds)
        if (fd.fd >= 0)
            close(fd.fd);
    if (killed)
        kill(pid, SIGKILL);
    if (!reaped)
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    if (!killed) {
        if (WIFEXITED(status)) {
            outcome.exitCode = WEXITSTATUS(status);
        } else {
            outcome.end = ChildOutcome::End::Signalled;
            outcome.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        }
    }
    if (!outcome.succeeded())
        outcome.output.clear();
    return outcome;
}
