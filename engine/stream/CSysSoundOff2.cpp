#include "engine/stream/CSysSoundOff2.h"

#include "foundation/AppRegistry.h"
#include "foundation/DebugTrace.h"

#include <memory>
#include <mutex>

namespace {

using platform::RegRoot;
using platform::RegType;
using platform::RegValue;

constexpr const char* kBackupName = "_BAK";

bool IsText(const RegValue& value)
{
    return value.type == RegType::String || value.type == RegType::ExpandString;
}

// At most one muter lives at a time; its static destruction at exit puts
// the sounds back.
std::mutex g_muterLock; // guards: g_pMuter
std::unique_ptr<CSysSoundOff2> g_pMuter;

} // namespace

CSysSoundOff2::CSysSoundOff2(platform::Registry registry)
    : m_registry(std::move(registry))
{
    m_bActive = Walk(kEventSoundsKey, Pass::Backup, 0);
}

CSysSoundOff2::~CSysSoundOff2()
{
    if (m_bActive)
        Walk(kEventSoundsKey, Pass::Restore, 0);
    m_bActive = false;
}

bool CSysSoundOff2::Walk(const std::string& path, Pass pass, size_t depth)
{
    // The store cannot nest deeper than this; the bound keeps a corrupt one
    // from recursing without end.
    if (depth > platform::Registry::kMaxDepth || !m_registry.KeyExists(RegRoot::CurrentUser, path))
        return false;
    if (pass == Pass::Backup)
        BackupValue(path);
    else
        RestoreValue(path);
    for (const std::string& name : m_registry.SubKeyNames(RegRoot::CurrentUser, path))
        Walk(path + "\\" + name, pass, depth + 1);
    return true;
}

void CSysSoundOff2::BackupValue(const std::string& path)
{
    if (m_registry.GetValue(RegRoot::CurrentUser, path, kBackupName, nullptr))
        return;
    RegValue sound;
    if (!m_registry.GetValue(RegRoot::CurrentUser, path, "", &sound) || !IsText(sound))
        return;
    if (sound.text.empty()) {
        DebugTrace("\nCSysSoundOff2::BackupValue()-존재하지 않는 값인데 처리한다:\n채운값:%s\n키 경로:%s\n",
            sound.text.c_str(), path.c_str());
        return;
    }
    // The backup goes first: were we stopped between the two writes, the
    // user's sound must still exist somewhere.
    if (!m_registry.SetValue(RegRoot::CurrentUser, path, kBackupName, sound))
        return;
    (void)m_registry.SetValue(RegRoot::CurrentUser, path, "", RegValue { sound.type, "", 0 });
}

void CSysSoundOff2::RestoreValue(const std::string& path)
{
    RegValue backup;
    if (!m_registry.GetValue(RegRoot::CurrentUser, path, kBackupName, &backup) || !IsText(backup)
        || backup.text.empty())
        return;
    // The sound is put back before its backup goes, for the same reason.
    if (m_registry.SetValue(RegRoot::CurrentUser, path, "", backup))
        m_registry.DeleteValue(RegRoot::CurrentUser, path, kBackupName);
}

bool MuteSystemSounds()
{
    std::lock_guard lock(g_muterLock);
    if (g_pMuter)
        return false;
    auto muter = std::make_unique<CSysSoundOff2>(GetAppRegistry());
    if (!muter->IsActive())
        return false;
    g_pMuter = std::move(muter);
    return true;
}

void RestoreSystemSounds()
{
    std::lock_guard lock(g_muterLock);
    // Without a muter, one made and dropped at once restores what an
    // earlier run left muted.
    if (!g_pMuter)
        g_pMuter = std::make_unique<CSysSoundOff2>(GetAppRegistry());
    g_pMuter.reset();
}

void SetSystemSoundOff(bool on)
{
    if (on)
        MuteSystemSounds();
    else
        RestoreSystemSounds();
}
