#pragma once

#include "skin/GXConBase.h"

#include <QRegion>

#include <optional>
#include <vector>

// Thread: user-interface thread of its skin window.
// "Rgn" in a skin's RegionDefine: one shape of the window's outline (a
// rectangle, an ellipse or a rounded rectangle as large as the control, or
// the opaque pixels of an image), combined with the shapes before it by its
// mode. The window lays these controls out like any other, combines them in
// list order and makes the result the top-level window's mask; a shape is
// rebuilt only when its size changes, and the window recombines only when a
// shape was rebuilt or moved.
class GXConRgn : public GXConBase {
public:
    enum class Shape { None = 0, Rect = 1, Ellipse = 2, RoundRect = 3, Bitmap = 4 };
    // The numbers skins' region modes have always been stored with.
    enum class Mode { And = 1, Or = 2, Xor = 3, Diff = 4, Copy = 5 };

    explicit GXConRgn(GXConOwner* pOwner);

    bool Load(GDib* pBackBuffer, const GXmpData* pElement) override;
    // "autosize" in Width or Height stands for the image of a bitmap shape.
    bool ReadAlign(const GXmpData* pElement, SGxAlign* pAlign, int* pnError) override;
    void OnSize(int cx, int cy) override;
    // A shape is never drawn nor hit.
    int Draw() override;
    [[nodiscard]] bool HitTest(int x, int y) const override;

    [[nodiscard]] Shape GetShape() const { return m_shape; }
    [[nodiscard]] Mode GetMode() const { return m_mode; }
    // In control coordinates.
    [[nodiscard]] const QRegion& GetRegion() const { return m_region; }
    // True when the shape was rebuilt or its control moved since it was
    // last combined.
    [[nodiscard]] bool NeedsCombine() const;
    // *pTotal = *pTotal (mode) this shape at its place in the window; "copy"
    // keeps the total as it is.
    void CombineInto(QRegion* pTotal);
    // The window's outline: every shape combined in list order, starting
    // from nothing; nothing when no shape needs combining, so the mask the
    // window already has stays.
    [[nodiscard]] static std::optional<QRegion> CombineChanged(const std::vector<GXConRgn*>& shapes);

private:
    std::optional<GXPoint> m_ptCombined;
    QRegion m_region;
    Mode m_mode = Mode::Or;
    GXSize m_sizeImage;
    Shape m_shape = Shape::None;
    GXSize m_sizeCorner;
    GXSize m_sizeLast { -1, -1 };
};
