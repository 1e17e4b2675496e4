#pragma once

#include "foundation/GXmpData.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

// Thread: one owner at a time; loading is synchronous and the finished tree
// is read-only.
// Reads skin.xml, ControlID.XML and similar files into a GXmpData tree.
//
// The grammar is small and deliberately forgiving: text runs are rebuilt
// from tokens (one blank between words, quotes dropped) and decoded twice,
// single quotes are ordinary word bytes, and a failed load keeps the part of
// the tree it had built. Documents come from strangers, so every token, text
// run and nesting level is bounded and nothing reads past the copy.
class GXmp {
public:
    enum Error {
        kErrNone = 0,
        kErrNoTagStart = 1,
        kErrBadToken = 2,
        kErrTagMismatch = 3,
        kErrEndTagNotClosed = 4,
        kErrBadInstructionName = 5,
        kErrBadInstructionToken = 6,
        kErrInstructionNotClosed = 7,
        kErrBadTagName = 8,
        kErrBadAttribute = 9,
        kErrBadAttributeValue = 10,
        kErrDuplicateAttribute = 11,
        kErrTagNotClosed = 12,
        kErrUnexpectedEnd = 13,
        kErrBadCommentEnd = 14,
        kErrCommentNotClosedByGt = 15,
        kErrCommentNotClosed = 16,
        kErrTooDeep = 17,
    };

    // Skins nest a few levels; the limit keeps hostile input off the stack.
    static constexpr int kMaxDepth = 256;
    static constexpr std::size_t kMaxTokenBytes = 65535;
    static constexpr std::size_t kMaxTextBytes = 65536;

    GXmp();
    virtual ~GXmp();
    GXmp(const GXmp&) = delete;
    GXmp& operator=(const GXmp&) = delete;

    // Target code page (platform/TextCodec.h numbering) of the UTF-16 and
    // UTF-8 conversions of later loads; 0 is the system's, UTF-8 here.
    void SetCodePage(unsigned nCodePage) { m_nCodePage = nCodePage; }

    // Both clear the previous document first. False when the file cannot be
    // read (error code 0), the data is shorter than 2 bytes, memory runs
    // out, or parsing fails (see GetErrorMessage and GetErrorPosition).
    [[nodiscard]] bool LoadFile(const char* pszPath);
    [[nodiscard]] bool LoadBuffer(const char* pData, int nLen);
    void Clear();

    // The document element; after a failed load, the part built so far.
    [[nodiscard]] GXmpData* GetRoot() const { return m_pRoot.get(); }
    // The 0-based line and column where parsing stopped; always true.
    bool GetErrorPosition(int* pLine, int* pColumn) const;
    // GetErrorText of the error code, one blank, then the detail.
    [[nodiscard]] std::string GetErrorMessage() const;
    // Unknown codes give "Code:%d", formatted into a per-thread buffer.
    [[nodiscard]] static const char* GetErrorText(int nCode);

private:
    enum class Token { Open, Close, Equals, Slash, Question, Dashes, End, Value, Error };
    // Inside element content a '/' belongs to the word; inside tags it ends it.
    enum class Words { InTag, InContent };
    struct Cursor {
        std::size_t pos;
        int line;
        int column;
        bool end;
    };

    bool Load(std::string_view data);
    [[nodiscard]] std::string DecodeToText(std::string_view data);

    // Tokens and grammar (GXmpParse.cpp).
    bool ParseDocument();
    bool ParseInstruction(GXmpData* pNode);
    bool ReadScriptBody(GXmpData* pNode);
    bool ParseElement(GXmpData* pNode, int nDepth);
    bool ParseStartTag(GXmpData* pNode, bool* pEmpty);
    bool ParseText(GXmpData* pParent, std::string& strFirst);
    Token NextToken(Words words, std::string* pText);
    void ReadQuoted(std::string* pText);
    void ReadWord(Words words, std::string* pText);
    void AdvanceTo(std::size_t pos);
    [[nodiscard]] bool AtEnd() const { return m_nPos >= m_strText.size(); }
    [[nodiscard]] char Peek(std::size_t ahead) const;
    [[nodiscard]] Cursor Save() const { return { m_nPos, m_nLine, m_nCol, m_bEnd }; }
    void Restore(const Cursor& c);
    void MarkNode(GXmpData* pNode) const;
    Token TokenError(int nCode);
    // Reads a tag token; anything but `want` fails with the code and detail.
    bool Expect(Token want, std::string* pText, int nCode, std::string_view detail = {});
    bool Fail(int nCode, std::string_view detail = {});

    std::string m_strText;
    std::size_t m_nPos = 0;
    int m_nLine = 0;
    int m_nCol = 0;
    bool m_bEnd = false;
    std::unique_ptr<GXmpData> m_pDecl;
    std::unique_ptr<GXmpData> m_pRoot;
    std::string m_strError;
    unsigned m_nCodePage = 0;
    int m_nErrorCode = kErrNone;
    bool m_bUtf8 = false;
};
