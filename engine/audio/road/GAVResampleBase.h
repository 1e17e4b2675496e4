#pragma once

#include <cstdint>

// Thread: one thread at a time per instance.
// One channel of sample-rate conversion, as the streaming wrapper drives it.
class GAVResampleBase {
public:
    virtual ~GAVResampleBase() = default;
    GAVResampleBase(const GAVResampleBase&) = delete;
    GAVResampleBase& operator=(const GAVResampleBase&) = delete;

    // Writes at most nMaxOut samples converted from pIn[0 .. nIn) and reports
    // through *pConsumed how many leading input samples it no longer needs;
    // the caller passes the rest again, followed by new input, next time.
    // Returns the samples written.
    virtual int Process(int16_t* pOut, const int16_t* pIn, int nIn, int nMaxOut, int* pConsumed) = 0;

protected:
    GAVResampleBase() = default;
};
