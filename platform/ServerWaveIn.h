#pragma once

#include "platform/Clock.h"
#include "platform/ServerMixer.h"
#include "platform/WaveIn.h"

namespace platform {

// Thread: WaveInBackend's contract; each stream's ReadPeriod on its capture
// thread, the server's callbacks on the server's thread.
// Capture from a desktop sound server: one device, the server, whose sound
// is the recording line chosen on its ServerMixer: the stereo mix of what
// the computer plays with the line-in and the microphone at their faders'
// gains, or one input alone at the recording fader's gain. A new choice, or
// new server lines, changes the inputs at the next period. While the
// server is away the stream hands over silence in real time, so a
// broadcast stays on air, and sound returns when the server does.
class ServerWaveIn final : public WaveInBackend {
public:
    explicit ServerWaveIn(ServerMixer& mixer, Clock& clock = Clock::System())
        : m_mixer(mixer)
        , m_clock(clock)
    {
    }

    int GetDeviceCount() override { return 1; }
    std::string GetDeviceName(int index) override;
    WaveInResult Open(int index, const WaveInFormat& format, std::unique_ptr<WaveInStream>* pStream) override;

private:
    ServerMixer& m_mixer;
    Clock& m_clock;
};

} // namespace platform
