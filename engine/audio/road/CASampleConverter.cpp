#include "engine/audio/road/CASampleConverter.h"

#include <algorithm>
#include <cstring>

bool CASampleConverter::Supports(const Format& format)
{
    return (format.nBits == 8 || format.nBits == 16) && (format.nChannels == 1 || format.nChannels == 2)
        && GAVResample::SupportsRates(format.nRate, format.nRate);
}

bool CASampleConverter::Prepare(
    const Format& in, const Format& out, int nMaxInputBytes, int nMinBlockFrames, int nHeadroomFrames)
{
    Release();
    if (!Supports(in) || !Supports(out) || nMaxInputBytes <= 0 || nMaxInputBytes > kMaxInputBytes || nMinBlockFrames < 0
        || nMinBlockFrames > kMaxFrames || nHeadroomFrames < 0 || nHeadroomFrames > kMaxFrames)
        return false;
    if (!GAVResample::SupportsRates(out.nRate, in.nRate))
        return false;
    m_in = in;
    m_out = out;
    m_nMaxInputBytes = nMaxInputBytes;
    m_bResample = in.nRate != out.nRate;

    const int inFrames = nMaxInputBytes / in.FrameBytes() + 1;
    const int maxChannels = std::max(in.nChannels, out.nChannels);
    int outFrames = inFrames;
    if (m_bResample) {
        outFrames = GAVStreamResample::MaxOutput(out.nRate, in.nRate, inFrames);
        for (int c = 0; c < out.nChannels; ++c) {
            if (!m_resamplers[static_cast<size_t>(c)].Create(out.nRate, in.nRate, 1.0, inFrames)) {
                Release();
                return false;
            }
        }
        m_chanIn.assign(static_cast<size_t>(inFrames), 0);
        m_chanOut.assign(static_cast<size_t>(outFrames), 0);
        m_interleave.assign(static_cast<size_t>(outFrames) * static_cast<size_t>(out.nChannels), 0);
    }
    // Every stage holds at most maxChannels 16-bit samples per frame.
    const int blockFrames = std::max({ inFrames, outFrames, nMinBlockFrames }) + nHeadroomFrames;
    m_block.assign(static_cast<size_t>(blockFrames) * static_cast<size_t>(maxChannels), 0);
    return true;
}

void CASampleConverter::Release()
{
    for (GAVStreamResample& r : m_resamplers)
        r.Destroy();
    m_block = {};
    m_chanIn = {};
    m_chanOut = {};
    m_interleave = {};
    m_nMaxInputBytes = 0;
    m_bResample = false;
}

int CASampleConverter::Convert(const char* pIn, int nBytes)
{
    if (m_nMaxInputBytes <= 0 || nBytes < 0 || nBytes > m_nMaxInputBytes || (nBytes > 0 && !pIn))
        return 0;
    const int frames = nBytes / m_in.FrameBytes();
    int width = m_in.nBits;
    int channels = m_in.nChannels;
    std::memcpy(m_block.data(), pIn, static_cast<size_t>(frames) * static_cast<size_t>(m_in.FrameBytes()));

    if (width == 8 && (m_out.nBits == 16 || m_bResample)) {
        Widen(frames * channels);
        width = 16;
    }
    if (channels != m_out.nChannels)
        channels = MixChannels(frames, width);
    int outFrames = frames;
    if (m_bResample)
        outFrames = Resample(frames, channels);
    if (m_out.nBits == 8 && width == 16) {
        Narrow(outFrames * channels);
        width = 8;
    }
    return outFrames * channels * (width / 8);
}

void CASampleConverter::Widen(int samples)
{
    // Backwards, so each byte is read before its 16-bit slot overwrites it.
    const auto* bytes = reinterpret_cast<const unsigned char*>(m_block.data());
    int16_t* wide = m_block.data();
    for (int i = samples - 1; i >= 0; --i)
        wide[i] = static_cast<int16_t>((bytes[i] - 128) * 256);
}

void CASampleConverter::Narrow(int samples)
{
    auto* bytes = reinterpret_cast<unsigned char*>(m_block.data());
    const int16_t* wide = m_block.data();
    for (int i = 0; i < samples; ++i)
        bytes[i] = static_cast<unsigned char>((wide[i] + 32768) / 256);
}

int CASampleConverter::MixChannels(int frames, int width)
{
    int16_t* wide = m_block.data();
    auto* bytes = reinterpret_cast<unsigned char*>(m_block.data());
    if (m_out.nChannels == 2) {
        // Backwards: the stereo frame i lands on mono samples 2i and 2i + 1.
        for (int i = frames - 1; i >= 0; --i) {
            if (width == 16)
                wide[2 * i] = wide[2 * i + 1] = wide[i];
            else
                bytes[2 * i] = bytes[2 * i + 1] = bytes[i];
        }
        return 2;
    }
    // Integer division truncates toward zero, which the level meter and the
    // encoder have always seen.
    for (int i = 0; i < frames; ++i) {
        if (width == 16)
            wide[i] = static_cast<int16_t>((wide[2 * i] + wide[2 * i + 1]) / 2);
        else
            bytes[i] = static_cast<unsigned char>((bytes[2 * i] + bytes[2 * i + 1]) / 2);
    }
    return 1;
}

int CASampleConverter::Resample(int frames, int channels)
{
    int16_t* block = m_block.data();
    int outFrames = 0;
    for (int c = 0; c < channels; ++c) {
        for (int i = 0; i < frames; ++i)
            m_chanIn[static_cast<size_t>(i)] = block[i * channels + c];
        const int produced = m_resamplers[static_cast<size_t>(c)].Process(m_chanOut.data(), m_chanIn.data(), frames);
        // Both channels see the same counts, so they produce the same number
        // of samples; the minimum only guards against a refused call.
        outFrames = c == 0 ? std::max(produced, 0) : std::min(outFrames, std::max(produced, 0));
        for (int i = 0; i < std::max(produced, 0); ++i)
            m_interleave[static_cast<size_t>(i * channels + c)] = m_chanOut[static_cast<size_t>(i)];
    }
    std::memcpy(
        block, m_interleave.data(), static_cast<size_t>(outFrames) * static_cast<size_t>(channels) * sizeof(int16_t));
    return outFrames;
}
