#pragma once

namespace platform {

// Raises the calling thread's priority by `steps` (Windows' steps above
// normal map onto lower nice values). Only a privileged or rlimit-allowed
// process may raise it, so callers treat a refusal (false) as fine.
// Thread: the thread to raise.
bool RaiseThreadPriority(int steps);

}  // namespace platform
