#pragma once

#include "engine/audio/road/CASampleConverter.h"
#include "engine/audio/road/CAWriter.h"
#include "platform/Clock.h"
#include "platform/MessageTarget.h"
#include "platform/ThreadChecker.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

class CAReader;

// Processing hook called with every converted block: the samples are
// interleaved in the writer's format (int16_t, or unsigned bytes at 8 bits)
// and may be changed in place. Returns the block's new frame count (see
// CARWMan::SetDspHook for its limit). Runs on the pump thread.
using CADspHook = int (*)(void* pSamples, int nFrames, int nRate, int nBits, int nChannels, void* pUser);

// Thread: every public call on the controller's thread (the owner, checked in
// debug builds), except that the hook may call Stop; the pump thread calls
// the reader's Read, the hook and the writer, and closes both at its end.
// The audio pump: runs the road from a CAReader to a CAWriter on a thread of
// its own, converting width, channels and rate to what the writer asked for,
// passing each block through the processing hook and writing it at the pace
// the writer accepts. Reports WM_ARWMAN_ERROR (wParam 2..5) and WM_ARWMAN_END
// to the notify window.
class CARWMan {
public:
    // The pump reads at most this much per Read.
    static constexpr int kReadBytes = 8192;
    // The writer's common writable size; the pump cuts its reads into pieces
    // that yield about this many output frames each.
    static constexpr int kBlockFrames = CAWriter::kBlockFrames;
    // How long the pump waits before asking a full writer or a draining one
    // again.
    static constexpr uint32_t kWaitMs = 50;
    // Room in the block, beyond the largest converted piece, for the hook.
    static constexpr int kHookHeadroomMs = 20;

    // wParam values of WM_ARWMAN_ERROR.
    static constexpr int kErrReaderOpen = 2;
    static constexpr int kErrWriterOpen = 3;
    static constexpr int kErrRead = 4;
    static constexpr int kErrWrite = 5;

    explicit CARWMan(platform::Clock& clock = platform::Clock::System());
    ~CARWMan();
    CARWMan(const CARWMan&) = delete;
    CARWMan& operator=(const CARWMan&) = delete;

    // Both take effect at the next Start: the pump thread works with the
    // values Start saw, so a running pump never sees half a change, and once
    // Stop has returned the previous hook is not called again.
    void SetNotifyWindow(platform::TargetHandle window)
    {
        m_ownerThread.CheckOwner();
        m_hNotify = window;
    }
    // The hook may lengthen a block by up to kHookHeadroomMs of sound (a
    // pitch shift carries up to one period of about 18 ms); a larger count
    // is cut to the block's capacity, a negative one to 0.
    void SetDspHook(CADspHook pfn, void* pUser)
    {
        m_ownerThread.CheckOwner();
        m_pfnHook = pfn;
        m_pHookUser = pUser;
    }
    // 1, or 0 without change while the pump runs.
    int SetReader(CAReader* pReader);
    int SetWriter(CAWriter* pWriter);

    // 1 while the pump thread exists and has not finished.
    [[nodiscard]] int IsRunning() const { return m_bAlive.load() ? 1 : 0; }

    // Opens the reader and the writer and starts the pump thread. 1 when it
    // runs; else 0 with *pErrorCode 2 (no reader, its Open failed, or its
    // format is unusable) or 3 (no writer, its Open failed, or its format is
    // unusable), also posted as WM_ARWMAN_ERROR. *pErrorCode is 0 otherwise.
    int Start(int* pErrorCode);
    // Stops the pump: closes the reader so a blocked Read returns, waits for
    // the thread and frees the conversion state. Posts nothing.
    void Stop();

    // Bytes the reader delivered since the last Start; any thread.
    [[nodiscard]] uint64_t GetReadBytes() const { return m_nReadBytes.load(); }

private:
    void Run();
    // Converts, hooks and writes one piece of whole input frames. False when
    // the pump must end (write failure or stop).
    bool PumpPiece(const char* pData, int nBytes, int* pResult);
    bool WriteBlock(const char* pBlock, int nBytes, int* pResult);
    // The reader is closed by whichever of the pump thread and Stop comes
    // first; the other leaves it alone.
    void CloseReaderOnce();
    void Post(platform::MessageId msg, int wParam) const;
    void Fail(int code, int* pErrorCode);

    platform::Clock& m_clock;
    [[no_unique_address]] platform::ThreadChecker m_ownerThread;
    const platform::MessageId m_nMsgError;
    const platform::MessageId m_nMsgEnd;

    CAReader* m_pReader = nullptr;
    CAWriter* m_pWriter = nullptr;
    platform::TargetHandle m_hNotify = platform::kNoTarget;
    CADspHook m_pfnHook = nullptr;
    void* m_pHookUser = nullptr;
    // Handed to the reader's and the writer's Open; empty in this program,
    // whose reader and writers choose their own device and file.
    std::string m_strSource;
    std::string m_strTarget;
    CATags m_tags;

    // Written by Start before the thread starts, read by the thread.
    platform::TargetHandle m_hRunNotify = platform::kNoTarget;
    CADspHook m_pfnRunHook = nullptr;
    void* m_pRunHookUser = nullptr;
    CASampleConverter::Format m_in;
    CASampleConverter::Format m_out;
    CASampleConverter m_converter;
    std::vector<char> m_readBuffer;

    std::atomic<bool> m_bRun { false };
    std::atomic<bool> m_bUserStop { false };
    std::atomic<bool> m_bAlive { false };
    std::atomic<bool> m_bReaderOpen { false };
    std::atomic<uint64_t> m_nReadBytes { 0 };
    std::jthread m_thread;
};
