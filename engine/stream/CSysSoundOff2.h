#pragma once

#include "platform/Registry.h"

#include <string>

// Thread: main thread; MuteSystemSounds and RestoreSystemSounds are
// serialised with each other.
// Silences the system's event sounds for the current user, so chimes do not
// go out on air through the stereo mix: each event key's sound file (its
// default value) is emptied and the old text kept beside it in "_BAK".
// Leftover "_BAK" values from a run that ended early are put back by the
// next restore. On Linux the event-sound key does not exist, so nothing is
// found and nothing changes.
class CSysSoundOff2 {
public:
    // Under the current user; every key below it is walked.
    static constexpr const char* kEventSoundsKey = "AppEvents\\Schemes\\Apps";

    // Runs the backup walk over registry; active when it succeeded.
    explicit CSysSoundOff2(platform::Registry registry);
    // Runs the restore walk when active.
    ~CSysSoundOff2();
    CSysSoundOff2(const CSysSoundOff2&) = delete;
    CSysSoundOff2& operator=(const CSysSoundOff2&) = delete;

    [[nodiscard]] bool IsActive() const { return m_bActive; }

    // Per-key steps on the key at path (under the current user).
    void BackupValue(const std::string& path);
    void RestoreValue(const std::string& path);

private:
    enum class Pass { Backup, Restore };
    // True when the key exists and its sub-keys were all visited; sub-keys
    // that fail are skipped.
    bool Walk(const std::string& path, Pass pass, size_t depth);

    platform::Registry m_registry;
    bool m_bActive = false;
};

// 1 when the sounds were muted by this call; 0 when a muter exists already
// or the walk failed.
bool MuteSystemSounds();
// Destroys the muter, restoring the sounds; without one, restores any
// "_BAK" values an earlier run left behind.
void RestoreSystemSounds();
// The [SystemSoundOff] setting applied: on mutes, off restores.
void SetSystemSoundOff(bool on);
