#include "skin/SkinErrorText.h"

#include "skin/GXSkinIds.h"

#include <array>
#include <string_view>

namespace {

// Indexed by the code; the texts are what users of the program see.
constexpr std::array<std::string_view, GXSkinError::kLast + 1> kTexts = {
    "오류 없음",
    "Align 속성이 없음",
    "Align 속성값이 잘못됨",
    "잘못된 Rect 값",
    "필요한 속성이 없음",
    "이미지 열기 실패",
    "잘못된 폰트 이름",
    "잘못된 속성값",
    "아이템의 높이(ItemHeight)는 0이 될수 없음",
    "슬라이더 컨트롤을 찾을수 없음",
    "컬럼헤더 컨트롤의 아이디가 없음",
    "컬럼헤더 콘트롤을 찾을 수 없음",
    "알수 없는 타입",
    "잘못된 XML 스킨 경로",
    "XML 스킨 파일 읽기 실패",
    "스킨 파싱 오류",
    "잘못된 루트 태그",
    "필요한 태그(SkinWindow)를 찾을 수 없음",
    "태그 파싱 실패",
    "필요한 태그가 없음",
    "배경 이미지 타입이 존재하지 않음",
    "정의안된 배경 타입",
    "중복된 컨트롤 아이디",
    "중복된 윈도우 컨트롤 아이디",
    "컬러 테마 값이 없음",
    "컬러 테마 이름이 없음",
    "폰트 생성 실패",
    "중복된 폰트 이름",
    "이미지 파일 이름이 없음",
    "이미지 이름이 없음",
    "DefineControlID - 정보 부족",
    "DoScript 오류",
    "잘못된 윈도우 컨트롤 아이디",
    "컨트롤 생성 실패",
    "잘못된 컨트롤 태그",
    "컨트롤 태그가 없음",
    "정의되지 않은 컨트롤 아이디",
    "스크립트 처리중 오류 발생",
    "ImageFont - 정보 부족",
    "커서 생성 실패 - 정보 부족",
    "중복된 커서 이름",
    "커서 열기 실패",
    "잘못된 차일드 태그",
    "차일드 태그에 필요한 속성이 없음",
    "CombineRgn() 함수 호출 실패",
    "비트맵 영역 만들기 실패",
    "스플리 터콘트롤에 연결된 콘트롤을 찾을 수 없음",
    "잘못된 menu id",
    "MenuID 가 존재하지 않음.",
    "스크립트 정의 처리중 에러 발생",
    "스킨 목록 파일(list.xml) 이 없음",
};

} // namespace

std::string SkinErrorText(int nCode)
{
    if (nCode < 0 || nCode > GXSkinError::kLast)
        return "Code:" + std::to_string(nCode);
    return std::string(kTexts[static_cast<std::size_t>(nCode)]);
}

std::string FormatSkinError(int nCode, const std::string& detail)
{
    return SkinErrorText(nCode) + " " + detail;
}
