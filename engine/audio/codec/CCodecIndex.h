#pragma once

#include <vector>

// Thread: a value; no sharing.
// A codec that offers formats of the wanted tag: its position in the driver
// list and the positions of those formats among the driver's formats.
struct CCodecIndex {
    int m_nDriver = -1;
    std::vector<int> m_formats;
};
