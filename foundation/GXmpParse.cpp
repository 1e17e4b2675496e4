// Tokens and grammar of GXmp. Every loop consumes input or stops; element
// nesting is the only recursion and is bounded by GXmp::kMaxDepth.
#include "foundation/GXmp.h"

#include "foundation/CodePage.h"
#include "foundation/XmlText.h"

#include <algorithm>
#include <array>
#include <utility>

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

void ReplaceAll(std::string* pText, std::string_view from, std::string_view to)
{
    size_t pos = pText->find(from);
    if (pos == std::string::npos)
        return;
    std::string out;
    out.reserve(pText->size());
    size_t start = 0;
    while (pos != std::string::npos) {
        out.append(*pText, start, pos - start);
        out += to;
        start = pos + from.size();
        pos = pText->find(from, start);
    }
    out.append(*pText, start, std::string::npos);
    *pText = std::move(out);
}

// Element text is decoded once per token and once more as a whole, so
// "&amp;lt;" in text reads "<". Skins rely on it.
void DecodeTextAgain(std::string* pText)
{
    if (pText->find('&') == std::string::npos)
        return;
    ReplaceAll(pText, "&amp;", "&");
    ReplaceAll(pText, "&gt;", ">");
    ReplaceAll(pText, "&lt;", "<");
    ReplaceAll(pText, "&quot;", "\"");
    ReplaceAll(pText, "&apos;", "'");
}

// Bytes that end a word: bit 0 inside tags, bit 1 inside element content.
constexpr std::array<unsigned char, 256> kWordStops = [] {
    std::array<unsigned char, 256> stops {};
    for (unsigned char c : std::string_view("=<> \t\r\n"))
        stops[c] = 3;
    stops['/'] = 1;
    return stops;
}();

void Unescape(std::string* pText)
{
    if (pText->find('&') != std::string::npos)
        *pText = XmlUnescape(*pText);
}

} // namespace

// ---------------------------------------------------------------- cursor

char GXmp::Peek(size_t ahead) const
{
    size_t i = m_nPos + ahead;
    return i < m_strText.size() ? m_strText[i] : '\0';
}

// Moves the cursor forward to pos, keeping line and column: '\n' starts a
// line, '\r' leaves the column alone, every other byte is one column.
void GXmp::AdvanceTo(size_t pos)
{
    if (pos > m_strText.size())
        pos = m_strText.size();
    for (size_t i = m_nPos; i < pos; ++i) {
        char c = m_strText[i];
        if (c == '\n') {
            ++m_nLine;
            m_nCol = 0;
        } else if (c != '\r') {
            ++m_nCol;
        }
    }
    if (pos > m_nPos && pos >= m_strText.size())
        m_bEnd = true;
    m_nPos = pos;
}

void GXmp::Restore(const Cursor& c)
{
    m_nPos = c.pos;
    m_nLine = c.line;
    m_nCol = c.column;
    m_bEnd = c.end;
}

void GXmp::MarkNode(GXmpData* pNode) const
{
    pNode->m_nLine = m_nLine;
    pNode->m_nCol = m_nCol;
}

GXmp::Token GXmp::TokenError(int nCode)
{
    m_nErrorCode = nCode;
    m_strError.clear();
    return Token::Error;
}

bool GXmp::Expect(Token want, std::string* pText, int nCode, std::string_view detail)
{
    Token t = NextToken(Words::InTag, pText);
    if (t == Token::Error)
        return false;
    return t == want || Fail(nCode, detail);
}

bool GXmp::Fail(int nCode, std::string_view detail)
{
    m_nErrorCode = nCode;
    m_strError.assign(detail);
    return false;
}

// ---------------------------------------------------------------- tokens

// quoted := '"' bytes '"'   (the closing quote may be the end of the text)
void GXmp::ReadQuoted(std::string* pText)
{
    size_t start = m_nPos + 1;
    size_t stop = m_strText.find('"', start);
    if (stop == std::string::npos)
        stop = m_strText.size();
    pText->assign(m_strText, start, std::min(stop - start, kMaxTokenBytes));
    AdvanceTo(stop < m_strText.size() ? stop + 1 : stop);
    Unescape(pText);
}

// word := bytes up to '=', '<', '>', a blank or the end; '/' too in tags
void GXmp::ReadWord(Words words, std::string* pText)
{
    const unsigned char mask = words == Words::InTag ? 1 : 2;
    size_t stop = m_nPos;
    while (stop < m_strText.size() && !(kWordStops[static_cast<unsigned char>(m_strText[stop])] & mask))
        ++stop;
    pText->assign(m_strText, m_nPos, std::min(stop - m_nPos, kMaxTokenBytes));
    AdvanceTo(stop);
    Unescape(pText);
}

// A comment "<!-- ... --" must be followed by a '>' token; its closing check
// and the "<!...>" skip both hand on the next token, so comments may stand
// wherever a token may. Comments whose '>' is still owed are counted rather
// than recursed into, which keeps "<!----<!----..." off the stack.
GXmp::Token GXmp::NextToken(Words words, std::string* pText)
{
    int nOwedCommentEnds = 0;
    for (;;) {
        size_t p = m_nPos;
        while (p < m_strText.size() && IsBlank(m_strText[p]))
            ++p;
        AdvanceTo(p);
        if (m_bEnd)
            return TokenError(nOwedCommentEnds ? kErrBadCommentEnd : kErrUnexpectedEnd);
        pText->clear();
        if (AtEnd()) {
            // Only an empty text gets here; later reads report the end.
            m_bEnd = true;
            return Token::End;
        }

        const char c = Peek(0);
        if (c == '<' && Peek(1) == '!') {
            const bool comment = Peek(2) == '-' && Peek(3) == '-';
            size_t stop = comment ? m_strText.find("--", m_nPos + 4) : m_strText.find('>', m_nPos + 2);
            if (stop == std::string::npos) {
                AdvanceTo(m_strText.size());
                return TokenError(nOwedCommentEnds ? kErrBadCommentEnd : kErrCommentNotClosed);
            }
            AdvanceTo(stop + (comment ? 2 : 1));
            if (comment)
                ++nOwedCommentEnds;
            continue;
        }

        Token token = Token::Value;
        switch (c) {
        case '<':
            token = Token::Open;
            break;
        case '>':
            token = Token::Close;
            break;
        case '=':
            token = Token::Equals;
            break;
        case '/':
            token = Token::Slash;
            break;
        case '?':
            token = Token::Question;
            break;
        case '-':
            if (Peek(1) == '-')
                token = Token::Dashes;
            break;
        default:
            break;
        }
        if (token == Token::Dashes) {
            pText->assign("--");
            AdvanceTo(m_nPos + 2);
        } else if (token != Token::Value) {
            pText->assign(1, c);
            AdvanceTo(m_nPos + 1);
        } else if (c == '"') {
            ReadQuoted(pText);
        } else {
            ReadWord(words, pText);
        }

        if (nOwedCommentEnds == 0)
            return token;
        if (token != Token::Close)
            return TokenError(kErrCommentNotClosedByGt);
        --nOwedCommentEnds;
    }
}

// ---------------------------------------------------------------- grammar

// document := '<' ['?' instruction '<'] element
bool GXmp::ParseDocument()
{
    std::string tok;
    if (!Expect(Token::Open, &tok, kErrNoTagStart))
        return false;
    const Cursor afterOpen = Save();
    Token t = NextToken(Words::InTag, &tok);
    if (t == Token::Error)
        return false;
    if (t == Token::Question) {
        m_pDecl = std::make_unique<GXmpData>(GXmpData::kElement);
        if (!ParseInstruction(m_pDecl.get()))
            return false;
        if (!Expect(Token::Open, &tok, kErrNoTagStart))
            return false;
    } else {
        Restore(afterOpen);
    }
    m_pRoot = std::make_unique<GXmpData>(GXmpData::kElement);
    return ParseElement(m_pRoot.get(), 1);
}

// instruction := name (Script: raw bytes up to "?>")
//              | name { word ['=' value] } '?' '>'
bool GXmp::ParseInstruction(GXmpData* pNode)
{
    MarkNode(pNode);
    std::string name;
    if (!Expect(Token::Value, &name, kErrBadInstructionName))
        return false;
    pNode->m_strName = name;
    if (name == "Script")
        return ReadScriptBody(pNode);

    std::string key, tok;
    for (;;) {
        Token t = NextToken(Words::InTag, &key);
        if (t == Token::Error)
            return false;
        if (t == Token::Question) {
            if (!Expect(Token::Close, &tok, kErrInstructionNotClosed))
                return false;
            break;
        }
        if (t != Token::Value)
            return Fail(kErrBadInstructionToken);
        const Cursor afterKey = Save();
        t = NextToken(Words::InTag, &tok);
        if (t == Token::Error)
            return false;
        if (t == Token::Equals) {
            if (!Expect(Token::Value, &tok, kErrBadInstructionToken))
                return false;
            pNode->m_mapAttr.insert_or_assign(key, tok);
        } else {
            pNode->m_mapAttr.insert_or_assign(key, std::string());
            Restore(afterKey);
        }
    }
    if (name == "xml") {
        auto it = pNode->m_mapAttr.find("encoding");
        if (it != pNode->m_mapAttr.end() && GXmpData::EqualsIgnoreCase(it->second, "utf-8"))
            m_bUtf8 = true;
    }
    return true;
}

// The body of a Script instruction is kept byte for byte, so script source
// may hold '<', quotes and entities without escaping.
bool GXmp::ReadScriptBody(GXmpData* pNode)
{
    size_t stop = m_strText.find("?>", m_nPos);
    if (stop == std::string::npos) {
        AdvanceTo(m_strText.size());
        return Fail(kErrInstructionNotClosed);
    }
    pNode->m_strBody.assign(m_strText, m_nPos, stop - m_nPos);
    AdvanceTo(stop + 2);
    return true;
}

// start-tag := name { word '=' value | other-token } ( '>' | '/' '>' )
bool GXmp::ParseStartTag(GXmpData* pNode, bool* pEmpty)
{
    std::string name, value, tok;
    for (;;) {
        Token t = NextToken(Words::InTag, &name);
        switch (t) {
        case Token::Error:
            return false;
        case Token::Close:
            *pEmpty = false;
            return true;
        case Token::Slash:
            if (!Expect(Token::Close, &tok, kErrTagNotClosed))
                return false;
            *pEmpty = true;
            return true;
        case Token::Value:
            if (!Expect(Token::Equals, &tok, kErrBadAttribute))
                return false;
            if (!Expect(Token::Value, &value, kErrBadAttributeValue, name))
                return false;
            if (m_bUtf8 && HasNonAsciiByte(value)) {
                // A value the code page cannot hold keeps its UTF-8 bytes.
                if (auto converted = Utf8ToCodePage(value, m_nCodePage))
                    value = std::move(*converted);
            }
            if (!pNode->m_mapAttr.try_emplace(name, std::move(value)).second)
                return Fail(kErrDuplicateAttribute, name);
            break;
        default:
            break; // stray tokens inside a start tag are ignored
        }
    }
}

// element := '<' start-tag [ content '<' '/' name '>' ]
// content := { '<' '?' instruction | '<' element | '<' other | text }
bool GXmp::ParseElement(GXmpData* pNode, int nDepth)
{
    if (nDepth > kMaxDepth)
        return Fail(kErrTooDeep);
    std::string tok;
    if (!Expect(Token::Value, &tok, kErrBadTagName))
        return false;
    pNode->m_strName = std::move(tok);
    MarkNode(pNode);

    bool empty = false;
    if (!ParseStartTag(pNode, &empty))
        return false;
    if (empty)
        return true;

    for (;;) {
        Token t = NextToken(Words::InContent, &tok);
        switch (t) {
        case Token::Error:
            return false;
        case Token::Close:
        case Token::End:
            return Fail(kErrBadToken);
        case Token::Open: {
            const Cursor afterOpen = Save();
            t = NextToken(Words::InTag, &tok);
            if (t == Token::Error)
                return false;
            if (t == Token::Question) {
                auto& child = pNode->m_listChild.emplace_back(std::make_unique<GXmpData>(GXmpData::kInstruction));
                if (!ParseInstruction(child.get()))
                    return false;
            } else if (t == Token::Slash) {
                t = NextToken(Words::InTag, &tok);
                if (t == Token::Error)
                    return false;
                if (t != Token::Value || tok != pNode->m_strName)
                    return Fail(kErrTagMismatch, pNode->m_strName + "," + tok);
                return Expect(Token::Close, &tok, kErrEndTagNotClosed);
            } else if (t == Token::Value) {
                Restore(afterOpen);
                auto& child = pNode->m_listChild.emplace_back(std::make_unique<GXmpData>(GXmpData::kElement));
                if (!ParseElement(child.get(), nDepth + 1))
                    return false;
            }
            break; // '<' before any other token: both are skipped
        }
        default:
            if (!ParseText(pNode, tok))
                return false;
            break;
        }
    }
}

// text := token { token } up to the next '<' or '>'; words are joined by one
// blank, punctuation is kept as its characters.
bool GXmp::ParseText(GXmpData* pParent, std::string& strFirst)
{
    auto& child = pParent->m_listChild.emplace_back(std::make_unique<GXmpData>(GXmpData::kText));
    MarkNode(child.get());
    std::string text = std::move(strFirst);
    std::string tok;
    bool full = false;
    for (;;) {
        const Cursor before = Save();
        Token t = NextToken(Words::InContent, &tok);
        if (t == Token::Error)
            return false;
        if (t == Token::Open || t == Token::Close || t == Token::End) {
            Restore(before);
            break;
        }
        const size_t extra = tok.size() + (t == Token::Value ? 1 : 0);
        if (full || text.size() + extra >= kMaxTextBytes) {
            full = true; // the run stops growing; the rest is read and dropped
            continue;
        }
        if (t == Token::Value)
            text += ' ';
        text += tok;
    }
    DecodeTextAgain(&text);
    child->m_strName = std::move(text);
    return true;
}
