#pragma once

#include "skin/GDib.h"
#include "skin/GXTypes.h"
#include "skin/SGxAlign.h"

#include <array>
#include <string>

class GXConOwner;
class GXmpData;

// Thread: user-interface thread of the owning control.
// The picture behind a static or a fading static: up to six images drawn in
// one of nine modes, a solid colour, or nothing. The two controls are
// different kinds to the script (only statics take SetImageNum from it), so
// they share this part instead of a base class. Drawing is a function of
// the image and frame the control passes in, so a fading static can draw
// its own blended copy through the same modes.
class GXStaticPicture {
public:
    enum class Kind { Bitmap = 0, Transparent = 1, Color = 2, TextOnly = 3 };
    enum class Mode { Tile, Stretch, Frame, FillFrame, HFrame, VFrame, Animation, TileAnimation, None };
    static constexpr int kImageSlots = 6;

    struct SLoadError {
        int nCode = 0;
        std::string detail;
    };

    // Reads the kind (from typeAttribute), the images, ImageType, AniSplit,
    // AnimDelay/AniDelay and ControlColor; false with the loader's error.
    [[nodiscard]] bool Load(
        const GXmpData* pElement, GXConOwner* pOwner, const std::string& typeAttribute, SLoadError* pError);

    // Makes a loaded slot the current image; false for an empty slot.
    bool SelectImage(int nIndex);
    [[nodiscard]] int GetImageIndex() const { return m_nIndex; }
    [[nodiscard]] GDib* GetImage() const { return m_pImage; }
    [[nodiscard]] Kind GetKind() const { return m_kind; }
    [[nodiscard]] Mode GetMode() const { return m_mode; }
    [[nodiscard]] bool IsAnimated() const { return m_mode == Mode::Animation || m_mode == Mode::TileAnimation; }
    // At least 1, whatever AniSplit says: frames are a division of the strip.
    [[nodiscard]] int GetFrameCount() const { return m_nFrames; }
    [[nodiscard]] int GetAnimDelay() const { return m_nAnimDelay; }
    [[nodiscard]] int GetFrame() const { return m_nFrame; }
    void NextFrame() { m_nFrame = (m_nFrame + 1) % m_nFrames; }

    // Draws the background over rect of pBack: pImage in the current mode;
    // the animation modes draw frame nFrame of nFrames equal-width frames.
    void Draw(GDib* pBack, const GXRect& rect, const GDib* pImage, int nFrame, int nFrames);
    // The colour buffer grows to the control and is filled again.
    void OnSize(int cx, int cy);
    void RefillColor();

    // Width and Height "autosize" take the picture's size (one frame wide
    // for the animation modes) plus the gaps; a MinSize side of 0 becomes
    // the picture's.
    void ReadAlign(const GXmpData* pElement, SGxAlign* pAlign, const GXRect& gaps, GXSize* pMinSize) const;
    static void AutoSize(
        const GXmpData* pElement, SGxAlign* pAlign, const GXRect& gaps, GXSize* pMinSize, GXSize picture);

private:
    [[nodiscard]] bool LoadImages(const GXmpData* pElement, GXConOwner* pOwner, SLoadError* pError);

    std::array<GDib*, kImageSlots> m_images {};
    int m_nIndex = 0;
    GDib* m_pImage = nullptr;
    GDib m_colorBuffer;
    GDib m_frameBuffer;
    GDib m_stretchCache;
    COLORREF m_crControl = 0;
    Kind m_kind = Kind::TextOnly;
    Mode m_mode = Mode::Tile;
    int m_nFrames = 1;
    int m_nFrame = 0;
    int m_nAnimDelay = 1000;
};
