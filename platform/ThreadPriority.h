#pragma once

namespace platform {

// Raises the calling thread's priority by `steps` above normal, each step a
// lower nice value. Only a privileged or rlimit-allowed
// process may raise it, so callers treat a refusal (false) as fine.
// Thread: the thread to raise.
bool RaiseThreadPriority(int steps);

} // namespace platform
