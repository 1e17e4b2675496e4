#pragma once

#include <QRegion>

#include <functional>
#include <optional>
#include <string>

class GDib;
class GXmpData;

// Thread: user-interface thread (regions come from skin images).
// Window shapes: the "SetWindowRgn" element of skin.xml and regions cut
// from images by their colour key.

// The skin loader's error codes (and texts) for a window shape.
namespace SkinRegionError {
constexpr int kMissingAttribute = 4; // "필요한 속성이 없음"
constexpr int kImageOpen = 5; // "이미지 열기 실패"
constexpr int kUnknownType = 12; // "알수 없는 타입"
constexpr int kBadChildTag = 42; // "잘못된 차일드 태그"
constexpr int kChildMissingAttribute = 43; // "차일드 태그에 필요한 속성이 없음"
constexpr int kCombine = 44; // "CombineRgn() 함수 호출 실패"
constexpr int kBitmapRegion = 45; // "비트맵 영역 만들기 실패"
} // namespace SkinRegionError

// Finds a skin image by name through the window; null when there is none.
using SkinImageLookup = std::function<const GDib*(const std::string& name)>;

// Every pixel that is not magenta (RGB 255, 0, 255), whatever the image's
// own key; nothing for an empty image.
[[nodiscard]] std::optional<QRegion> CreateRegionFromImage(const GDib* pImage);

// A rectangle with corners cut by an ellipse of the given width and height.
[[nodiscard]] QRegion RoundRectRegion(const QRect& box, int nCornerWidth, int nCornerHeight);

// element := "SetWindowRgn" ( "Rgn" Type= Param= Mode= )*
// Combines the children's shapes in document order into *pRegion (set to
// the empty region first, and left with what was built on failure). False
// for another element (no code) or with *pError and *pDetail set.
[[nodiscard]] bool BuildWindowRegion(
    const GXmpData* pElement, QRegion* pRegion, int* pError, std::string* pDetail, const SkinImageLookup& findImage);
