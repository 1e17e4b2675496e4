#pragma once

#include "platform/SoundServer.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

// A sound server the test scripts: it sets the lines, goes away and comes
// back, and feeds frames to the recordings of an input as the server's
// thread would.
// Thread: any; Feed plays the server's thread.
class FakeSoundServer final : public platform::SoundServer {
public:
    FakeSoundServer() = default;
    ~FakeSoundServer() override = default;

    // A desktop's two inputs of the stereo mix: what the computer plays
    // ("speakers.monitor") and a microphone ("mic"), the default input.
    static platform::ServerLines SpeakersAndMicrophone()
    {
        platform::ServerLines lines;
        lines.product = "PulseAudio";
        lines.defaultMonitor = "speakers.monitor";
        lines.defaultInput = "mic";
        lines.inputs = { { "speakers.monitor", "Monitor of Speakers", platform::ServerInputKind::Monitor },
            { "mic", "Microphone", platform::ServerInputKind::Microphone } };
        return lines;
    }

    // New lines, as a server event would bring them.
    void SetLines(platform::ServerLines lines)
    {
        std::lock_guard lock(m_lock);
        lines.generation = m_lines.generation + 1;
        m_lines = std::move(lines);
    }
    void SetConnected(bool connected)
    {
        std::lock_guard lock(m_lock);
        m_bConnected = connected;
    }

    bool Lines(platform::ServerLines* pLines) override
    {
        std::lock_guard lock(m_lock);
        *pLines = m_lines;
        return m_bConnected;
    }
    bool IsConnected() override
    {
        std::lock_guard lock(m_lock);
        return m_bConnected;
    }
    uint64_t Generation() override
    {
        std::lock_guard lock(m_lock);
        return m_lines.generation;
    }

    std::unique_ptr<platform::ServerRecording> Record(
        const std::string& input, int rate, int channels, platform::ServerPcmCallback callback) override
    {
        auto pRecording = std::make_unique<Recording>(*this, input, std::move(callback));
        std::lock_guard lock(m_lock);
        m_recordings.push_back(pRecording.get());
        lastRate = rate;
        lastChannels = channels;
        return pRecording;
    }

    // Hands frames to every recording of `input` (while connected);
    // returns how many got them.
    int Feed(const std::string& input, const int16_t* pSamples, int frames)
    {
        std::lock_guard lock(m_lock);
        if (!m_bConnected)
            return 0;
        int fed = 0;
        for (Recording* pRecording : m_recordings) {
            if (pRecording->input == input) {
                pRecording->callback(pSamples, frames);
                ++fed;
            }
        }
        return fed;
    }

    // The inputs being recorded now, in the order they were asked for.
    std::vector<std::string> Recorded()
    {
        std::lock_guard lock(m_lock);
        std::vector<std::string> inputs;
        for (Recording* pRecording : m_recordings)
            inputs.push_back(pRecording->input);
        return inputs;
    }

    int lastRate = 0;
    int lastChannels = 0;

private:
    struct Recording final : platform::ServerRecording {
        Recording(FakeSoundServer& owner, std::string name, platform::ServerPcmCallback cb)
            : server(owner)
            , input(std::move(name))
            , callback(std::move(cb))
        {
        }
        ~Recording() override
        {
            std::lock_guard lock(server.m_lock);
            auto& all = server.m_recordings;
            all.erase(std::remove(all.begin(), all.end(), this), all.end());
        }
        FakeSoundServer& server;
        std::string input;
        platform::ServerPcmCallback callback;
    };

    std::mutex m_lock; // guards: m_lines, m_bConnected, m_recordings
    platform::ServerLines m_lines;
    bool m_bConnected = true;
    std::vector<Recording*> m_recordings;
};
