#pragma once

#include <cstdint>
#include <memory>

// The server's stream history: 1024 slots of 8192 bytes that the source
// fills in turn and every listener reads at its own position. Blocks carry
// sequence numbers from 1 on, so a reader can tell a block that was never
// written, or was overwritten since, from the one it asked for.
// Thread: server thread only.
class CStreamRing {
public:
    static constexpr int kSlots = 1024;
    static constexpr int kSlotBytes = 8192;
    // A newcomer starts this many blocks before the newest, so its player
    // fills its buffer at once.
    static constexpr uint64_t kBurstBlocks = 9;

    // Slots with nothing written. False when memory is short.
    [[nodiscard]] bool Allocate();
    void Free();
    [[nodiscard]] bool IsAllocated() const { return m_pSlots != nullptr; }

    // Copies kSlotBytes bytes into the next slot.
    void Write(const char* block);
    // Sequence number of the newest block, 0 before the first.
    [[nodiscard]] uint64_t NewestBlock() const { return m_nWritten; }
    // The block whose slot the next Write takes, 0 while slots are free.
    [[nodiscard]] uint64_t NextOverwritten() const
    {
        return m_nWritten >= static_cast<uint64_t>(kSlots) ? m_nWritten + 1 - kSlots : 0;
    }
    // The first block a newcomer is sent (may not be written yet).
    [[nodiscard]] uint64_t StartPosition() const;

    enum class Fetch { Ready, NotYet, Overwritten };
    // The bytes of block seq when it is held; NotYet when it is not written
    // yet, Overwritten when newer blocks have taken its slot.
    [[nodiscard]] Fetch Next(uint64_t seq, const char** block) const;

private:
    std::unique_ptr<char[]> m_pSlots;
    std::unique_ptr<uint64_t[]> m_pSlotSeq; // 0: never written
    uint64_t m_nWritten = 0;
};
