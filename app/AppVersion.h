#pragma once

// The program's version as people see it: in the about box's caption and in
// the agent name the launcher reports to the update service.
inline constexpr const char* kAppVersionText = "1, 3, 5, 017";
