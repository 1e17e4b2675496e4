#include "foundation/GXmp.h"

#include "foundation/CodePage.h"
#include "platform/Files.h"
#include "platform/TextCodec.h"

#include <array>
#include <climits>
#include <cstdio>
#include <exception>
#include <new>

namespace {

constexpr std::array<const char*, 17> kErrorTexts {
    "오류 없음",
    "태그 시작(<)이 없음",
    "잘못된 토큰",
    "태그의 시작과 끝이 일치하지 않음",
    "태그의 종료('>')가 제대로 안됨",
    "잘못된 태그 이름(Processing Instruction)",
    "Processing Instruction 내 잘못된 토큰",
    "Processing Instruction 태그의 끝이 > 로 끝나지 않음",
    "잘못된 태그 이름",
    "태그내 잘못된 속성",
    "태그내 잘못된 속성값",
    "중복된 속성값",
    "태그가 제대로 종료 안됨",
    "잘못된 끝",
    "주석문의 종료가 잘못됨",
    "--> 형태로 주석문이 끝나지 않음",
    "주석의 끝이 닫히지 않음",
};

// Loading reserves two bytes beyond the data, so the data itself stays
// within an int.
constexpr long kMaxDocumentBytes = INT_MAX - 2;

bool StartsWith(std::string_view s, std::string_view prefix)
{
    return s.substr(0, prefix.size()) == prefix;
}

// A declaration line "<?xml ... "utf-8" ...?>" marks a UTF-8 document; only
// the bytes up to the first line end or '?' after "<?" are searched.
bool DeclaresUtf8(std::string_view text)
{
    if (!StartsWith(text, "<?"))
        return false;
    constexpr std::string_view kMark = "\"utf-8\"";
    size_t stop = text.find_first_of(std::string_view("\n\r?\0", 4), 2);
    std::string_view head = text.substr(2, stop == std::string_view::npos ? stop : stop - 2);
    for (size_t i = 0; i + kMark.size() <= head.size(); ++i) {
        if (GXmpData::EqualsIgnoreCase(head.substr(i, kMark.size()), kMark))
            return true;
    }
    return false;
}

void AppendUtf8(char32_t cp, std::string* pOut)
{
    if (cp < 0x80) {
        *pOut += static_cast<char>(cp);
    } else if (cp < 0x800) {
        *pOut += static_cast<char>(0xC0 | (cp >> 6));
        *pOut += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *pOut += static_cast<char>(0xE0 | (cp >> 12));
        *pOut += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *pOut += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        *pOut += static_cast<char>(0xF0 | (cp >> 18));
        *pOut += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        *pOut += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *pOut += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// UTF-16LE to UTF-8; an odd trailing byte is dropped and a lone surrogate
// becomes U+FFFD, so a damaged text still converts instead of failing.
std::string Utf16LeToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() * 3 / 2);
    const size_t units = bytes.size() / 2;
    auto unit = [&](size_t i) -> char32_t {
        return static_cast<unsigned char>(bytes[2 * i])
            | (static_cast<char32_t>(static_cast<unsigned char>(bytes[2 * i + 1])) << 8);
    };
    for (size_t i = 0; i < units; ++i) {
        char32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
            char32_t low = unit(i + 1);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00), &out);
                ++i;
                continue;
            }
        }
        AppendUtf8((u >= 0xD800 && u <= 0xDFFF) ? 0xFFFD : u, &out);
    }
    return out;
}

// Strict UTF-8: no overlong forms, surrogates or code points past U+10FFFF.
bool IsValidUtf8(std::string_view text)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t len;
        unsigned char lo = 0x80, hi = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            if (c == 0xE0)
                lo = 0xA0;
            else if (c == 0xED)
                hi = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            if (c == 0xF0)
                lo = 0x90;
            else if (c == 0xF4)
                hi = 0x8F;
        } else {
            return false;
        }
        if (n - i < len || p[i + 1] < lo || p[i + 1] > hi)
            return false;
        for (size_t k = 2; k < len; ++k) {
            if (p[i + k] < 0x80 || p[i + k] > 0xBF)
                return false;
        }
        i += len;
    }
    return true;
}

std::string_view UpToNul(std::string_view s)
{
    return s.substr(0, s.find('\0'));
}

} // namespace

GXmp::GXmp() = default;

GXmp::~GXmp()
{
    Clear();
}

void GXmp::Clear()
{
    m_strText.clear();
    m_strText.shrink_to_fit();
    m_nPos = 0;
    m_nLine = 0;
    m_nCol = 0;
    m_bEnd = false;
    m_pDecl.reset();
    m_pRoot.reset();
    m_strError.clear();
    m_nErrorCode = kErrNone;
    m_bUtf8 = false;
}

bool GXmp::LoadFile(const char* pszPath)
{
    Clear();
    if (pszPath == nullptr)
        return false;
    try {
        std::string bytes;
        if (!platform::ReadWholeFile(pszPath, static_cast<size_t>(kMaxDocumentBytes), &bytes))
            return false;
        return Load(bytes);
    } catch (const std::exception&) { // out of memory: the load just fails
        return false;
    }
}

bool GXmp::LoadBuffer(const char* pData, int nLen)
{
    Clear();
    if (pData == nullptr || nLen < 0)
        return false;
    try {
        return Load(std::string_view(pData, static_cast<size_t>(nLen)));
    } catch (const std::exception&) { // out of memory: the load just fails
        return false;
    }
}

bool GXmp::Load(std::string_view data)
{
    if (data.size() < 2)
        return false;
    m_strText = DecodeToText(data);
    // Conversion may grow the text; line and column must stay within an int.
    if (m_strText.size() > static_cast<size_t>(kMaxDocumentBytes))
        return false;
    return ParseDocument();
}

// The document as text in the target code page, cut at its first NUL as the
// parser reads it.
std::string GXmp::DecodeToText(std::string_view data)
{
    if (StartsWith(data, "\xFF\xFE")) {
        std::string text = Utf16LeToUtf8(data.substr(2));
        text.resize(UpToNul(text).size());
        if (!platform::IsUtf8CodePage(m_nCodePage)) {
            if (auto converted = Utf8ToCodePage(text, m_nCodePage))
                return std::string(UpToNul(*converted));
        }
        return text;
    }
    if (StartsWith(data, "\xEF\xBB\xBF")) {
        m_bUtf8 = true;
        return std::string(UpToNul(data.substr(3)));
    }
    std::string_view text = UpToNul(data);
    m_bUtf8 = DeclaresUtf8(text);
    // Skin tools save Korean documents in code page 949 without saying so;
    // a document that is not UTF-8 and does not claim to be is read as that.
    if (!m_bUtf8 && m_nCodePage != platform::kCodePageKorean && !IsValidUtf8(text)) {
        std::string converted;
        if (platform::ConvertCodePage(text, platform::kCodePageKorean, m_nCodePage, &converted))
            return std::string(UpToNul(converted));
    }
    return std::string(text);
}

bool GXmp::GetErrorPosition(int* pLine, int* pColumn) const
{
    if (pLine != nullptr)
        *pLine = m_nLine;
    if (pColumn != nullptr)
        *pColumn = m_nCol;
    return true;
}

std::string GXmp::GetErrorMessage() const
{
    try {
        std::string message = GetErrorText(m_nErrorCode);
        message += ' ';
        message += m_strError;
        return message;
    } catch (const std::bad_alloc&) {
        return {};
    }
}

const char* GXmp::GetErrorText(int nCode)
{
    if (nCode >= 0 && static_cast<size_t>(nCode) < kErrorTexts.size())
        return kErrorTexts[static_cast<size_t>(nCode)];
    thread_local char buf[32];
    std::snprintf(buf, sizeof buf, "Code:%d", nCode);
    return buf;
}
