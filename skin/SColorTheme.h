#pragma once

#include <string>

// One colour theme of a skin (ColorTheme define items): offsets added to the
// red, green and blue of every pixel of a tinted image, and the theme's name.
struct SColorTheme {
    int nRed = 0;
    int nGreen = 0;
    int nBlue = 0;
    std::string name;

    [[nodiscard]] bool IsNeutral() const { return nRed == 0 && nGreen == 0 && nBlue == 0; }
};
