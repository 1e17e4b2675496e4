#include "platform/Mixer.h"

#include <algorithm>

namespace platform {

std::shared_ptr<MixerDevice> MixerSystem::Open(int mixerId)
{
    // A mixer that went away (its card unplugged) is not handed out again,
    // though its handle may still be open.
    if (mixerId < 0 || mixerId >= MixerCount())
        return nullptr;
    return OpenUncounted(mixerId);
}

std::shared_ptr<MixerDevice> MixerSystem::OpenUncounted(int mixerId)
{
    const Key key { mixerId, std::this_thread::get_id() };
    {
        std::lock_guard lock(m_lock);
        if (std::shared_ptr<MixerDevice> shared = m_handles[key].lock())
            return shared;
    }
    // Opening may take a while; no other thread waits for it meanwhile.
    std::shared_ptr<MixerDevice> device = OpenedAhead(mixerId);
    if (!device)
        device = OpenDevice(mixerId);
    std::lock_guard lock(m_lock);
    if (!device) {
        m_handles.erase(key);
        return nullptr;
    }
    m_handles[key] = device;
    for (MixerHold* pHold : m_holds) {
        if (pHold->m_thread == key.second)
            pHold->m_devices.push_back(device);
    }
    return device;
}

std::unique_ptr<MixerDevice> MixerSystem::OpenedAhead(int mixerId)
{
    MixerHold* pAhead = nullptr;
    {
        std::lock_guard lock(m_lock);
        for (MixerHold* pHold : m_holds) {
            if (pHold->m_thread == std::this_thread::get_id() && pHold->m_nAheadId == mixerId)
                pAhead = pHold;
        }
    }
    // A hold on this thread lives at least as long as this call.
    return pAhead ? pAhead->TakeOpenedAhead() : nullptr;
}

MixerHold::MixerHold(MixerSystem& system)
    : m_system(system)
    , m_thread(std::this_thread::get_id())
{
    std::lock_guard lock(m_system.m_lock);
    m_system.m_holds.push_back(this);
}

MixerHold::~MixerHold()
{
    if (m_ahead.joinable())
        m_ahead.join();
    {
        std::lock_guard lock(m_system.m_lock);
        auto& holds = m_system.m_holds;
        holds.erase(std::remove(holds.begin(), holds.end(), this), holds.end());
    }
    // Closing happens outside the lock: a handle's end may take a while.
    m_devices.clear();
}

void MixerHold::OpenAhead(int mixerId)
{
    if (m_ahead.joinable() || mixerId < 0)
        return;
    {
        std::lock_guard lock(m_system.m_lock);
        m_nAheadId = mixerId;
    }
    m_ahead = std::thread([this, mixerId] { m_pAhead = m_system.OpenDevice(mixerId); });
}

std::unique_ptr<MixerDevice> MixerHold::TakeOpenedAhead()
{
    if (m_ahead.joinable())
        m_ahead.join();
    {
        std::lock_guard lock(m_system.m_lock);
        m_nAheadId = -1;
    }
    return std::move(m_pAhead);
}

} // namespace platform
