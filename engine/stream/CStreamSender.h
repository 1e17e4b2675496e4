#pragma once

#include "engine/stream/CMp3FrameSync.h"
#include "foundation/GLockedRingBuffer.h"
#include "platform/Clock.h"
#include "platform/ThreadChecker.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

class GShoutCastSource;
class GShoutCastYP;

// Thread: Start, Stop and ClearRing on the owner (main) thread, checked in
// debug builds; Feed on the pump thread; the title and command calls and
// the queries from any thread. The send thread, which this object owns,
// moves the stream ring to the source client and sends pending stream
// commands.
// The broadcast's outgoing side: the stream ring between the pump and the
// server, the on-air flag that opens it, the titles and stream commands
// pushed to the server and the directory, and the title they were last
// pushed with.
class CStreamSender {
public:
    static constexpr int kSendBlockBytes = 1024;
    static constexpr uint32_t kSendIdleMs = 50;

    CStreamSender(GShoutCastSource& source, GShoutCastYP& yp, platform::Clock& clock);
    // Stops the send thread.
    ~CStreamSender();
    CStreamSender(const CStreamSender&) = delete;
    CStreamSender& operator=(const CStreamSender&) = delete;

    // Raises the on-air flag and starts the send thread; true when it runs
    // (also when it already ran). A new on-air period sends from the next
    // MP3 frame header on.
    [[nodiscard]] bool Start();
    // Clears the on-air flag and joins the thread, which first sends what
    // the ring still holds.
    void Stop();
    // Drops what an earlier broadcast left in the ring.
    void ClearRing()
    {
        m_ownerThread.CheckOwner();
        m_streamRing.Clear();
    }

    // Pump thread: queues encoded bytes while on air, drops them otherwise.
    // What the encoder made before the first frame header of an on-air
    // period is dropped too. The search allocates nothing and takes no
    // lock; the ring takes only its own.
    void Feed(const char* pData, int nBytes);

    // Pushes prefix + title with url to the server and the plain title to
    // the directory, and keeps title, url and prefix for stream commands.
    void SendTitle(const std::string& title, const std::string& url, const std::string& prefix);
    // The send thread sends text with the kept title, decorated with prefix.
    void SetCommand(const std::string& text, const std::string& prefix);
    void SetCommandTime(int time) { m_nCommandTime = time; }

    [[nodiscard]] std::string KeptTitle();
    [[nodiscard]] std::string KeptUrl();
    // Title and url as one pair, as the last push left them.
    void GetKept(std::string* pTitle, std::string* pUrl);
    // The title loaded with the settings, or cleared when a broadcast ends;
    // nothing is sent.
    void SetKeptTitle(const std::string& title);

    [[nodiscard]] bool IsOnAir() const { return m_bOnAir; }
    [[nodiscard]] uint64_t BytesSent() const { return m_nBytesSent; }

private:
    void SendLoop(std::stop_token stop);
    void SendPendingCommand();
    void PushTitle(const std::string& title, const std::string& url, const std::string& prefix);
    static void QueueSynced(void* pUser, const char* pData, int nBytes);

    GShoutCastSource& m_source;
    GShoutCastYP& m_yp;
    platform::Clock& m_clock;
    [[no_unique_address]] platform::ThreadChecker m_ownerThread;

    GLockedRingBuffer m_streamRing;
    std::atomic<bool> m_bOnAir { false };
    // Counts the on-air periods: Start advances it before it raises the
    // on-air flag, so a Feed that sees the flag sees the new period too.
    std::atomic<uint32_t> m_nOnAirPeriod { 0 };
    // Pump thread only: the period m_frameSync searches for, and the search.
    uint32_t m_nFedPeriod = 0;
    CMp3FrameSync m_frameSync;
    std::atomic<bool> m_bSendRunning { false };
    std::atomic<uint64_t> m_nBytesSent { 0 };
    std::atomic<bool> m_bCommandPending { false };
    std::atomic<int> m_nCommandTime { 0 };
    // 1 ... 99; only the send thread advances it.
    int m_nCommandSeq = 0;

    // guards: m_strKeptTitle, m_strKeptUrl, m_strCommand, m_strTitlePrefix
    std::mutex m_textLock;
    std::string m_strKeptTitle;
    std::string m_strKeptUrl;
    // "[presenter] " or empty, as the main thread last worked it out from
    // the settings, for the titles the send thread pushes.
    std::string m_strTitlePrefix;
    std::string m_strCommand;

    // Last: it stops before anything it uses goes.
    std::jthread m_sendThread;
};
