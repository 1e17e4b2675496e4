#include "engine/audio/road/CARWMan.h"

#include "engine/audio/road/CAReader.h"
#include "platform/MulDiv.h"

#include <algorithm>
#include <cstring>
#include <system_error>

CARWMan::CARWMan(platform::Clock& clock)
    : m_clock(clock)
    , m_nMsgError(platform::RegisterMessage("WM_ARWMAN_ERROR"))
    , m_nMsgEnd(platform::RegisterMessage("WM_ARWMAN_END"))
{
}

CARWMan::~CARWMan()
{
    Stop();
}

int CARWMan::SetReader(CAReader* pReader)
{
    m_ownerThread.CheckOwner();
    if (IsRunning())
        return 0;
    m_pReader = pReader;
    return 1;
}

int CARWMan::SetWriter(CAWriter* pWriter)
{
    m_ownerThread.CheckOwner();
    if (IsRunning())
        return 0;
    m_pWriter = pWriter;
    return 1;
}

int CARWMan::Start(int* pErrorCode)
{
    m_ownerThread.CheckOwner();
    Stop();
    if (pErrorCode)
        *pErrorCode = 0;
    m_bUserStop = false;
    m_nReadBytes = 0;
    m_in = {};
    m_out = {};
    m_bRun = true;
    m_hRunNotify = m_hNotify;
    m_pfnRunHook = m_pfnHook;
    m_pRunHookUser = m_pHookUser;

    if (!m_pReader || !m_pReader->Open(m_strSource, &m_in.nRate, &m_in.nBits, &m_in.nChannels)) {
        Fail(kErrReaderOpen, pErrorCode);
        return 0;
    }
    m_bReaderOpen = true;
    // A format the conversion cannot take would end the pump at its first
    // block or misread the data; say so now.
    if (!CASampleConverter::Supports(m_in)) {
        Fail(kErrReaderOpen, pErrorCode);
        return 0;
    }
    m_out = m_in;
    if (!m_pWriter || !m_pWriter->Open(m_strTarget, &m_out.nRate, &m_out.nBits, &m_out.nChannels, m_tags)
        || !m_converter.Prepare(
            m_in, m_out, kReadBytes, kBlockFrames, platform::MulDiv(m_out.nRate, kHookHeadroomMs, 1000))) {
        Fail(kErrWriterOpen, pErrorCode);
        return 0;
    }
    m_readBuffer.assign(kReadBytes, 0);

    m_bAlive = true;
    try {
        m_thread = std::jthread([this] { Run(); });
    } catch (const std::system_error&) {
        m_bAlive = false;
        m_bRun = false;
        CloseReaderOnce();
        m_pWriter->Close();
        m_converter.Release();
        return 0;
    }
    return 1;
}

void CARWMan::Fail(int code, int* pErrorCode)
{
    Post(m_nMsgError, code);
    if (pErrorCode)
        *pErrorCode = code;
    m_bRun = false;
    // The reader's Close is safe on an unopened reader; the writer's after a
    // failed Open releases whatever the writer got half way.
    m_bReaderOpen = false;
    if (m_pReader)
        m_pReader->Close();
    if (m_pWriter)
        m_pWriter->Close();
    m_converter.Release();
}

void CARWMan::Stop()
{
    m_bUserStop = true;
    m_bRun = false;
    // Releases a Read the pump thread may be blocked in.
    CloseReaderOnce();
    if (m_thread.joinable()) {
        // Called from the hook on the pump thread: the thread ends by itself
        // once the hook returns; the next Stop or the destructor joins it.
        if (m_thread.get_id() == std::this_thread::get_id())
            return;
        m_thread.join();
    }
    m_converter.Release();
    m_readBuffer = {};
}

void CARWMan::CloseReaderOnce()
{
    if (m_bReaderOpen.exchange(false) && m_pReader)
        m_pReader->Close();
}

void CARWMan::Post(platform::MessageId msg, int wParam) const
{
    platform::PostMessage(m_hRunNotify, msg, static_cast<platform::WParam>(wParam), 0);
}

void CARWMan::Run()
{
    const int frameBytes = m_in.FrameBytes();
    // Whole input frames, so a piece never ends inside a frame and the next
    // one starts on the left channel again.
    const int chunkFrames = std::max(1, platform::MulDiv(kBlockFrames, m_in.nRate, m_out.nRate));
    const int chunkBytes = chunkFrames * frameBytes;
    char* buffer = m_readBuffer.data();
    int result = 0;
    bool ended = false;
    // Bytes of a frame a reader delivered only in part, kept at the front of
    // the buffer until the rest arrives.
    int carry = 0;

    while (m_bRun.load()) {
        if (ended) {
            if (m_pWriter->Drain() == 0)
                break;
            m_clock.SleepMs(kWaitMs);
            continue;
        }
        const int room = kReadBytes - carry;
        const int got = m_pReader->Read(buffer + carry, room);
        if (got < 0 || got > room) {
            // After Stop a closed reader may fail its Read; that is no error.
            if (!m_bUserStop.load())
                Post(m_nMsgError, kErrRead);
            result = -1;
            break;
        }
        m_nReadBytes += static_cast<uint64_t>(got);
        if (got == 0) {
            ended = true;
            continue;
        }
        const int total = carry + got;
        const int whole = total - total % frameBytes;
        bool more = true;
        for (int offset = 0; more && offset < whole && m_bRun.load(); offset += chunkBytes)
            more = PumpPiece(buffer + offset, std::min(chunkBytes, whole - offset), &result);
        if (!more)
            break;
        carry = total - whole;
        if (carry > 0)
            std::memmove(buffer, buffer + whole, static_cast<size_t>(carry));
    }

    CloseReaderOnce();
    m_pWriter->Close();
    const bool quiet = m_bUserStop.load();
    // Last touch of shared state: from here the controller may change the
    // reader, the writer and the notify window.
    m_bAlive = false;
    if (!quiet && result == 0)
        Post(m_nMsgEnd, 0);
}

bool CARWMan::PumpPiece(const char* pData, int nBytes, int* pResult)
{
    int bytes = m_converter.Convert(pData, nBytes);
    if (m_pfnRunHook) {
        const int frameBits = m_out.nBits * m_out.nChannels;
        const int frames = platform::MulDiv(bytes, 8, frameBits);
        const int capacity = m_converter.GetBlockCapacityBytes() * 8 / frameBits;
        const int returned
            = m_pfnRunHook(m_converter.GetBlock(), frames, m_out.nRate, m_out.nBits, m_out.nChannels, m_pRunHookUser);
        bytes = platform::MulDiv(std::clamp(returned, 0, capacity), frameBits, 8);
    }
    return WriteBlock(m_converter.GetBlockBytes(), bytes, pResult);
}

bool CARWMan::WriteBlock(const char* pBlock, int nBytes, int* pResult)
{
    int offset = 0;
    while (offset < nBytes && m_bRun.load()) {
        const int writable = m_pWriter->GetWritableBytes();
        if (writable <= 0) {
            m_clock.SleepMs(kWaitMs);
            continue;
        }
        const int offered = std::min(writable, nBytes - offset);
        const int written = m_pWriter->Write(pBlock + offset, offered);
        if (written <= 0) {
            if (!m_bUserStop.load())
                Post(m_nMsgError, kErrWrite);
            *pResult = -1;
            return false;
        }
        offset += std::min(written, offered);
    }
    return m_bRun.load();
}
