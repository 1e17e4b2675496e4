#pragma once

#include "engine/audio/road/CAWriter.h"

// The writer used while nothing is broadcast: it encodes nothing, so capture,
// the level meter and the effects keep running. Passes PCM to the output
// callback when one is set.
// Thread: as CAWriter.
class CANULLWriter final : public CAWriter {
public:
    CANULLWriter()
        : CAWriter("NULL Writer")
    {
    }

    int Open(const std::string& target, int* pRate, int* pBits, int* pChannels, const CATags& tags) override;
    void Close() override { }
    int Write(const char* pData, int nBytes) override;
    int SetOutputCallback(CAOutputCallback pfn, void* pUser) override;
};
