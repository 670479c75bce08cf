// A worker program's tie to the process that started it: the worker ends when that process does.
#pragma once

namespace norvex {

// The environment variable in which a forkyard manager gives every worker it
// starts the manager's process id (decimal).
inline constexpr const char* WORKER_PARENT_VARIABLE = "NORVEX_WORKER_PARENT";

// Call first thing in a worker program's main(). From then on the kernel
// kills this process (SIGKILL, which nothing can catch or block) when the
// thread that started it ends, however it ends: an exit, a crash, kill -9.
// A worker blocked on a FIFO or deep in an analysis then goes with its host
// instead of living on as an orphan.
//
// The starting parent is the process named by WORKER_PARENT_VARIABLE; when it
// is missing (a program run by hand, or by something other than a manager)
// it is the parent at the time of the call. If that parent has already gone,
// which a reaper taking over the orphan would hide from a plain getppid(),
// this process kills itself at once. A variable naming a process that is
// alive but not this one's parent was handed down from further up and is
// ignored. The variable is removed from this process's environment, so
// programs the worker starts itself do not take its parent for theirs.
//
// The signal setting survives execve() but not fork(): a worker's own
// children need their own call.
void end_with_parent() noexcept;

}  // namespace norvex
