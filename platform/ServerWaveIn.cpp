#include "platform/ServerWaveIn.h"

#include "platform/InputMix.h"
#include "platform/MulDiv.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>

namespace platform {

namespace {

// What a following input keeps ahead of the lead: the server hands each
// input over in fragments of about 20 ms, at moments of its own.
constexpr int kCushionMs = 40;
// The most an input holds: a reader stalled longer loses the oldest sound
// rather than growing a backlog that would delay the station for good.
constexpr int kCapacityMs = 1000;
// How long the lead may deliver nothing before the stream hands over
// silence instead: longer than any scheduling hiccup of a live server, and
// short enough that the audio road does not see capture stop.
constexpr int kGraceMs = 250;
// The longest wait for the server's sound in one go; an interruption or a
// new choice of line is seen within it.
constexpr auto kWaitStep = std::chrono::milliseconds(10);

// What one plan of inputs records into: its recordings end before the mix
// they write into goes.
struct Session {
    std::mutex lock; // guards: mix
    InputMix mix;
    std::vector<int32_t> gains;
    // Last: ending them stops their callbacks, which use the fields above.
    std::vector<std::unique_ptr<ServerRecording>> recordings;
};

// Thread: ReadPeriod on the capture thread; Interrupt from any thread; the
// recordings' callbacks on the server's thread.
class ServerStream final : public WaveInStream {
public:
    ServerStream(ServerMixer& mixer, Clock& clock, const WaveInFormat& format)
        : m_mixer(mixer)
        , m_clock(clock)
        , m_format(format)
        , m_nPeriodMs(uint64_t(std::max(MulDiv(format.periodFrames, 1000, format.rate), 1)))
    {
        m_nDueMs = m_clock.NowMs() + m_nPeriodMs + kGraceMs;
    }

    ~ServerStream() override { m_pSession.reset(); }

    ReadResult ReadPeriod(int16_t* pSamples, int frames) override
    {
        for (;;) {
            if (m_bInterrupted.load())
                return ReadResult::Interrupted;
            Refresh();
            // Asked before the session's lock: the server's thread takes
            // that lock inside the server's own.
            const bool connected = m_mixer.Server().IsConnected();
            Session& session = *m_pSession;
            std::unique_lock lock(session.lock);
            if (session.mix.Available() >= frames) {
                for (size_t i = 0; i < m_plan.size(); ++i)
                    session.gains[i] = m_mixer.Gain(m_plan[i].role);
                session.mix.Pull(pSamples, frames, session.gains.data());
                m_nDueMs = m_clock.NowMs() + m_nPeriodMs + kGraceMs;
                m_bBridging = false;
                return ReadResult::Ok;
            }
            const uint64_t now = m_clock.NowMs();
            if (now >= m_nDueMs) {
                // Nothing from the server for a while: silence in real
                // time keeps the road, and a broadcast, going.
                std::memset(pSamples, 0, size_t(frames) * size_t(m_format.channels) * sizeof(int16_t));
                m_nDueMs = std::max(m_nDueMs + m_nPeriodMs, now);
                m_bBridging = !connected;
                return ReadResult::Ok;
            }
            m_ready.wait_for(lock, kWaitStep);
        }
    }

    void Interrupt() override
    {
        m_bInterrupted = true;
        m_ready.notify_all();
    }

    bool IsBridging() override { return m_bBridging; }

private:
    // Records what the mixer's choice asks for under the server's lines as
    // they are now; the same inputs as before keep their recordings.
    void Refresh()
    {
        SoundServer& server = m_mixer.Server();
        const uint64_t generation = server.Generation();
        const uint64_t choices = m_mixer.ChoiceCount();
        if (m_pSession && generation == m_nGeneration && choices == m_nChoices)
            return;
        m_nGeneration = generation;
        m_nChoices = choices;
        ServerLines lines;
        (void)server.Lines(&lines);
        std::vector<ServerMixer::Input> plan = m_mixer.Plan(lines);
        if (m_pSession && plan == m_plan)
            return;
        m_plan = std::move(plan);
        m_pSession.reset();
        auto pSession = std::make_unique<Session>();
        const int cushion = MulDiv(m_format.rate, kCushionMs, 1000);
        const int capacity = std::max(MulDiv(m_format.rate, kCapacityMs, 1000), m_format.periodFrames + cushion + 1);
        if (!pSession->mix.Prepare(int(std::max<size_t>(m_plan.size(), 1)), m_format.channels, cushion, capacity))
            m_plan.clear();
        pSession->gains.assign(std::max<size_t>(m_plan.size(), 1), 0);
        Session* pRaw = pSession.get();
        std::condition_variable* pReady = &m_ready;
        for (size_t i = 0; i < m_plan.size(); ++i) {
            const int input = int(i);
            pSession->recordings.push_back(server.Record(
                m_plan[i].name, m_format.rate, m_format.channels, [pRaw, pReady, input](const int16_t* p, int n) {
                    {
                        std::lock_guard lock(pRaw->lock);
                        pRaw->mix.Push(input, p, n);
                    }
                    if (input == 0)
                        pReady->notify_one();
                }));
        }
        m_pSession = std::move(pSession);
    }

    ServerMixer& m_mixer;
    Clock& m_clock;
    const WaveInFormat m_format;
    const uint64_t m_nPeriodMs;
    std::atomic<bool> m_bInterrupted { false };
    bool m_bBridging = false;
    uint64_t m_nDueMs = 0;
    uint64_t m_nGeneration = 0;
    uint64_t m_nChoices = 0;
    std::vector<ServerMixer::Input> m_plan;
    std::condition_variable m_ready;
    // Last: its recordings call into m_ready.
    std::unique_ptr<Session> m_pSession;
};

} // namespace

std::string ServerWaveIn::GetDeviceName(int index)
{
    if (index != 0)
        return {};
    ServerLines lines;
    (void)m_mixer.Server().Lines(&lines);
    return lines.product;
}

WaveInResult ServerWaveIn::Open(int index, const WaveInFormat& format, std::unique_ptr<WaveInStream>* pStream)
{
    pStream->reset();
    if (index != 0)
        return WaveInResult::NoDevice;
    if (format.rate <= 0 || format.periodFrames <= 0 || format.channels < 1 || format.channels > 2)
        return WaveInResult::FormatRefused;
    *pStream = std::make_unique<ServerStream>(m_mixer, m_clock, format);
    return WaveInResult::Ok;
}

} // namespace platform
