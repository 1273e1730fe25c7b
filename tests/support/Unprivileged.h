#pragma once

#include <QString>
#include <functional>
#include <sys/types.h>

namespace vellumo::test {

// How a job run in a child process ended.
struct ChildResult {
    enum class Status { Finished, Threw, Crashed, TimedOut, CouldNotDropPrivileges, NotStarted };

    Status status = Status::NotStarted;
    // What the job returned, or what went wrong.
    QString report;

    bool finished() const { return status == Status::Finished; }
    // For test failure messages.
    QString describe() const;
};

// Runs job in a forked child and returns its report. The child runs nothing but the job and
// then _exit()s, so the job must not need the event loop. A child still running after
// timeoutMs is killed and reported as TimedOut, so a job that blocks fails instead of hanging.
ChildResult runInChild(const std::function<QString()> &job, int timeoutMs = 60000);

// Like runInChild, but the child first becomes user nobody, so permission bits apply even
// when the tests run as root. If that is not possible the result says so; it never runs the
// job with root's rights.
ChildResult runAsNobody(const std::function<QString()> &job, int timeoutMs = 60000);

// For a job in a child only, as it changes the whole process: writes past `bytes` fail with
// "File too large", as on a full disk, instead of killing the process. Returns false if the
// limit could not be set; liftFileSizeLimit() takes it away again.
bool limitFileSize(qint64 bytes);
bool liftFileSizeLimit();
// For a job in a child only: allocations that would take the address space more than headroom
// bytes past what it is now fail, as when memory runs out. Returns false if the limit could not
// be set.
bool limitAddressSpace(qint64 headroom);

bool runningAsRoot();

// The ids runAsNobody switches to when running as root; otherwise the current ones.
uid_t unprivilegedUid();
gid_t unprivilegedGid();
// Makes path (not what a link names) the unprivileged user's, so that a job run as that user
// owns it. Returns false if it could not.
bool giveToUnprivileged(const QString &path);

} // namespace vellumo::test
