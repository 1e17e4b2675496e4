#include "engine/audio/effects/CMzDspEcho.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>

namespace {

constexpr int kScratchBytes = CMzDsp::kMaxBlockFrames * 2 * 2;

// The delay in bytes, always moved on to the next sample boundary: an
// aligned length still gains a whole sample, which shifts a stereo echo by
// half a frame. Stored lines and listeners are used to that sound.
int DelayBytes(int nMs, int nChannels, int nRate, int nBits)
{
    const int bytesPerSample = nBits / 8;
    if (bytesPerSample <= 0 || nChannels <= 0 || nRate <= 0 || nMs < 0)
        return 0;
    const long long d = static_cast<long long>(nChannels) * bytesPerSample * nRate * nMs / 1000;
    return static_cast<int>(d + (bytesPerSample - d % bytesPerSample));
}

template <typename T> T Saturate(int v)
{
    return static_cast<T>(std::clamp<int>(v, std::numeric_limits<T>::min(), std::numeric_limits<T>::max()));
}

} // namespace

CMzDspEcho::CMzDspEcho()
    : m_pScratch(new (std::nothrow) char[kScratchBytes])
    , m_nScratchSize(m_pScratch ? kScratchBytes : 0)
{
}

void CMzDspEcho::SetActive(bool bActive)
{
    std::lock_guard guard(m_lock);
    ResetLineLocked();
    m_bActive = bActive;
}

void CMzDspEcho::SetDelay(int nMs)
{
    std::lock_guard guard(m_lock);
    SetParamsLocked(std::clamp(nMs, 0, kMaxDelayMs), kUnchanged, kUnchanged, kUnchanged);
}

void CMzDspEcho::SetFormat(int nBits, int nChannels, int nRate)
{
    std::lock_guard guard(m_lock);
    SetParamsLocked(kUnchanged, nChannels, nRate, nBits);
}

int CMzDspEcho::GetDelayBytes()
{
    std::lock_guard guard(m_lock);
    return m_nDelayBytes;
}

void CMzDspEcho::SetParamsLocked(int nMs, int nChannels, int nRate, int nBits)
{
    const int ms = nMs == kUnchanged ? m_nDelayMs : nMs;
    const int channels = nChannels == kUnchanged ? m_nChannels : nChannels;
    const int rate = nRate == kUnchanged ? m_nRate : nRate;
    const int bits = nBits == kUnchanged ? m_nBits : nBits;
    const int delayBytes = DelayBytes(ms, channels, rate, bits);
    m_nDelayMs = ms;

    if (channels != m_nChannels || rate != m_nRate || bits != m_nBits) {
        StoreFormatLocked(bits, channels, rate);
        m_nDelayBytes = delayBytes;
        ResetLineLocked();
        return;
    }
    if (delayBytes > m_nDelayBytes)
        AppendSilenceLocked(delayBytes - m_nDelayBytes);
    else if (delayBytes < m_nDelayBytes)
        m_delayLine.Skip(std::min(m_nDelayBytes - delayBytes, m_delayLine.GetLength()));
    m_nDelayBytes = delayBytes;
}

void CMzDspEcho::ResetLineLocked()
{
    m_delayLine.Clear();
    AppendSilenceLocked(m_nDelayBytes);
}

void CMzDspEcho::AppendSilenceLocked(int nBytes)
{
    static const char kZeros[4096] = {};
    while (nBytes > 0) {
        const int n = std::min(nBytes, static_cast<int>(sizeof kZeros));
        // A refused growth leaves the line short; the echo then starts
        // early rather than the block being lost.
        if (!m_delayLine.Write(n, kZeros))
            return;
        nBytes -= n;
    }
}

int CMzDspEcho::Process(void* pSamples, int nFrames, int nBits, int nChannels, int nRate)
{
    std::lock_guard guard(m_lock);
    if (!m_bActive || pSamples == nullptr || nFrames <= 0 || nChannels <= 0 || (nBits != 8 && nBits != 16))
        return nFrames;
    const int bytesPerSample = nBits / 8;
    const int frameBytes = nChannels * bytesPerSample;
    const int framesPerPiece = m_nScratchSize / frameBytes;
    if (framesPerPiece == 0)
        return nFrames;

    SetParamsLocked(kUnchanged, nChannels, nRate, nBits);

    char* pBytes = static_cast<char*>(pSamples);
    for (int done = 0; done < nFrames;) {
        const int frames = std::min(framesPerPiece, nFrames - done);
        MixPieceLocked(pBytes + static_cast<size_t>(done) * frameBytes, frames * frameBytes, bytesPerSample);
        done += frames;
    }
    return nFrames;
}

void CMzDspEcho::MixPieceLocked(char* pPiece, int nBytes, int nBytesPerSample)
{
    char* pDelayed = m_pScratch.get();
    // A line shorter than the piece gives silence this time and keeps one
    // piece more than the delay from then on.
    if (!m_delayLine.Read(nBytes, pDelayed, GRingBuffer::Consume::Yes))
        std::memset(pDelayed, 0, static_cast<size_t>(nBytes));

    if (nBytesPerSample == 1) {
        for (int i = 0; i < nBytes; ++i) {
            const int in = static_cast<signed char>(pPiece[i]);
            const int delayed = static_cast<signed char>(pDelayed[i]);
            pPiece[i] = static_cast<char>(Saturate<int8_t>(in + delayed / 2));
        }
    } else {
        const int count = nBytes / 2;
        for (int i = 0; i < count; ++i) {
            int16_t in;
            int16_t delayed;
            std::memcpy(&in, pPiece + 2 * i, 2);
            std::memcpy(&delayed, pDelayed + 2 * i, 2);
            const int16_t out = Saturate<int16_t>(in + delayed / 2);
            std::memcpy(pPiece + 2 * i, &out, 2);
        }
    }
    // Growth here is the only allocation on the pump thread, and it stops
    // once the line has reached one delay plus one block.
    if (!m_delayLine.Write(nBytes, pPiece))
        ResetLineLocked();
}
