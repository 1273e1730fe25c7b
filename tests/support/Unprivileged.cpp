#include "Unprivileged.h"
#include "FaultFixtures.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QFile>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vellumo::test {

namespace {

constexpr uid_t kFallbackNobody = 65534;

// Exit codes the parent turns back into a Status.
constexpr int kJobThrew = 3;
constexpr int kDropFailed = 4;

struct Ids {
    uid_t uid;
    gid_t gid;
};

Ids nobodyIds()
{
    if (const passwd *pw = ::getpwnam("nobody"))
        return {pw->pw_uid, pw->pw_gid};
    return {kFallbackNobody, gid_t(kFallbackNobody)};
}

void writeAll(int fd, const QByteArray &data)
{
    const char *p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        p += n;
        left -= n;
    }
}

QByteArray errnoText(const char *what)
{
    return QByteArray(what) + ": " + std::strerror(errno);
}

// Returns an empty string on success, else why not.
QByteArray dropTo(const Ids &ids)
{
    if (::setgroups(0, nullptr) != 0)
        return errnoText("setgroups");
    if (::setgid(ids.gid) != 0)
        return errnoText("setgid");
    if (::setuid(ids.uid) != 0)
        return errnoText("setuid");
    if (::geteuid() == 0 || ::getegid() == 0 || ::getgroups(0, nullptr) != 0)
        return "still root, or in root's groups, after setuid";
    if (::setuid(0) == 0)
        return "root could be regained";
    return {};
}

[[noreturn]] void runChild(int out, const std::function<QString()> &job, const Ids *dropIds)
{
    if (dropIds) {
        const QByteArray why = dropTo(*dropIds);
        if (!why.isEmpty()) {
            writeAll(out, why);
            ::_exit(kDropFailed);
        }
    }
    int code = 0;
    QByteArray report;
    try {
        report = job().toUtf8();
    } catch (const std::exception &e) {
        report = e.what();
        code = kJobThrew;
    } catch (...) {
        report = "unknown exception";
        code = kJobThrew;
    }
    writeAll(out, report);
    ::_exit(code);
}

ChildResult run(const std::function<QString()> &job, int timeoutMs, bool drop)
{
    ChildResult result;
    const Ids ids = nobodyIds();
    const bool dropping = drop && runningAsRoot();

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        result.report = QString::fromLocal8Bit(errnoText("pipe"));
        return result;
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        result.report = QString::fromLocal8Bit(errnoText("fork"));
        ::close(fds[0]);
        ::close(fds[1]);
        return result;
    }
    if (pid == 0) {
        ::close(fds[0]);
        runChild(fds[1], job, dropping ? &ids : nullptr);
    }
    ::close(fds[1]);

    QByteArray report;
    bool timedOut = false;
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        pollfd p{fds[0], POLLIN, 0};
        const int ready = ::poll(&p, 1, int(qMax<qint64>(0, deadline.remainingTime())));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0) {
            timedOut = true;
            ::kill(pid, SIGKILL);
            break;
        }
        char buffer[4096];
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        report.append(buffer, n);
    }
    ::close(fds[0]);

    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.report = QString::fromUtf8(report);
    if (timedOut) {
        result.status = ChildResult::Status::TimedOut;
    } else if (WIFSIGNALED(status)) {
        result.status = ChildResult::Status::Crashed;
        result.report += QStringLiteral(" [signal %1]").arg(WTERMSIG(status));
    } else if (WEXITSTATUS(status) == kDropFailed && dropping) {
        result.status = ChildResult::Status::CouldNotDropPrivileges;
    } else if (WEXITSTATUS(status) == kJobThrew) {
        result.status = ChildResult::Status::Threw;
    } else if (WEXITSTATUS(status) == 0) {
        result.status = ChildResult::Status::Finished;
    } else {
        result.status = ChildResult::Status::Crashed;
        result.report += QStringLiteral(" [exit code %1]").arg(WEXITSTATUS(status));
    }
    return result;
}

} // namespace

QString ChildResult::describe() const
{
    // In the order of Status.
    static const char *const kinds[] = {
        "finished",   "threw", "crashed", "timed out (blocked?)", "could not become nobody",
        "not started"};
    return QString::fromLatin1(kinds[int(status)]) + QStringLiteral(": ") + report;
}

ChildResult runInChild(const std::function<QString()> &job, int timeoutMs)
{
    return run(job, timeoutMs, false);
}

ChildResult runAsNobody(const std::function<QString()> &job, int timeoutMs)
{
    return run(job, timeoutMs, true);
}

bool limitFileSize(qint64 bytes)
{
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit;
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0)
        return false;
    // The soft limit only, so that the job may lift it again.
    limit.rlim_cur = rlim_t(bytes);
    return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

bool liftFileSizeLimit()
{
    rlimit limit;
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0)
        return false;
    limit.rlim_cur = limit.rlim_max;
    return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

bool limitAddressSpace(qint64 headroom)
{
    // VmSize is what RLIMIT_AS counts: every mapping, used or not.
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    qint64 used = -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmSize:"))
            used = line.mid(7).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    if (used <= 0)
        return false;
    rlimit limit;
    if (::getrlimit(RLIMIT_AS, &limit) != 0)
        return false;
    limit.rlim_cur = rlim_t(used + headroom);
    return ::setrlimit(RLIMIT_AS, &limit) == 0;
}

bool runningAsRoot()
{
    return ::geteuid() == 0;
}

uid_t unprivilegedUid()
{
    return runningAsRoot() ? nobodyIds().uid : ::geteuid();
}

gid_t unprivilegedGid()
{
    return runningAsRoot() ? nobodyIds().gid : ::getegid();
}

bool giveToUnprivileged(const QString &path)
{
    return !runningAsRoot() ||
           ::lchown(native(path).constData(), unprivilegedUid(), unprivilegedGid()) == 0;
}

} // namespace vellumo::test
