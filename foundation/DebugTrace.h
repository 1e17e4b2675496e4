#pragma once

// Developer trace. The lines carry passwords and keys, so nothing is
// written unless TAVDJ_DEBUG_TRACE is set: "stderr" sends them there, an
// absolute path appends them to that file (created 0600). A message longer
// than 4095 bytes is cut. Thread: any; one call writes one whole line.
void DebugTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));

inline constexpr const char* kDebugTraceEnv = "TAVDJ_DEBUG_TRACE";
