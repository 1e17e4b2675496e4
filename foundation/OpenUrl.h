#pragma once

// Opens a URL in the user's browser with xdg-open, the URL passed as one
// argument without a shell. A URL starting with '-' is refused (it would
// read as an option), as are null and empty ones. TAVDJ_URL_OPENER names
// another program to run instead. True when the opener was started.
// Thread: any.
bool OpenUrl(const char* url);

inline constexpr const char* kUrlOpenerEnv = "TAVDJ_URL_OPENER";
