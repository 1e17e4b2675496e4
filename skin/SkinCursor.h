#pragma once

#include <QCursor>

#include <optional>
#include <string>
#include <string_view>

// Thread: user-interface thread (cursors are pixmaps).
// Cursors of a skin's "Cursor" define items, made from the file's bytes in
// memory: nothing is written to disk on the way.

// A cursor file (.cur, or .ico with the hotspot at 0,0) or an animated
// cursor (.ani, its first frame). The hotspot comes from the file's first
// directory entry, the pixels from Qt's icon decoder. Nothing for bytes
// that are no such file.
[[nodiscard]] std::optional<QCursor> LoadSkinCursor(std::string_view data);

// The cursor of a "PredefinedCursor" name ("IDC_ARROW", "IDC_HAND", ...);
// nothing for any other name.
[[nodiscard]] std::optional<QCursor> PredefinedSkinCursor(const std::string& name);
