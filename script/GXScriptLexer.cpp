#include "script/GXScriptLexer.h"

#include <cstring>

#include "script/GXSErr.h"

namespace {

struct SWord {
    const char* psz;
    int nKind;
};

// Tried in this order; "while" reads as "if".
constexpr SWord kKeywords[] = {
    { "if", TK_IF },
    { "else", TK_ELSE },
    { "while", TK_IF },
    { "int", TK_INT },
    { "double", TK_DOUBLE },
    { "string", TK_STRING },
    { "return", TK_RETURN },
    { "void", TK_VOID },
    { "for", TK_FOR },
};

// Tried in this order, with no test of the byte that follows.
constexpr SWord kOperators[] = {
    { "==", TK_EQ },
    { "!=", TK_NE },
    { "<=", TK_LE },
    { ">=", TK_GE },
    { "<", TK_LT },
    { ">", TK_GT },
};

bool IsAsciiLetter(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsDigit(unsigned char c)
{
    return c >= '0' && c <= '9';
}
bool IsWordByte(unsigned char c)
{
    return IsAsciiLetter(c) || IsDigit(c) || c == '_';
}

// Length of the UTF-8 sequence a lead byte opens; 0 for a byte that opens none.
int Utf8Length(unsigned char c)
{
    if (c >= 0xC2 && c <= 0xDF)
        return 2;
    if (c >= 0xE0 && c <= 0xEF)
        return 3;
    if (c >= 0xF0 && c <= 0xF4)
        return 4;
    return 0;
}

int SingleCharKind(char c)
{
    switch (c) {
    case '(':
        return TK_LPAREN;
    case ')':
        return TK_RPAREN;
    case '{':
        return TK_LBRACE;
    case '}':
        return TK_RBRACE;
    case '[':
        return TK_LBRACKET;
    case ']':
        return TK_RBRACKET;
    case '-':
        return TK_MINUS;
    case '+':
        return TK_PLUS;
    case '*':
        return TK_STAR;
    case '/':
        return TK_SLASH;
    case '%':
        return TK_PERCENT;
    case '=':
        return TK_ASSIGN;
    case ',':
        return TK_COMMA;
    case ';':
        return TK_SEMI;
    case '!':
        return TK_NOT;
    default:
        return 0;
    }
}

int DigitValue(char c, unsigned nBase)
{
    int v = -1;
    if (c >= '0' && c <= '9')
        v = c - '0';
    else if (c >= 'a' && c <= 'f')
        v = c - 'a' + 10;
    return (v >= 0 && static_cast<unsigned>(v) < nBase) ? v : -1;
}

} // namespace

int GXScriptLexer::Tokenize(const char* pszText)
{
    // A native may run a script while an outer run executes; the outer one
    // no longer needs its tokens by then.
    m_tokens.clear();
    m_nEnd = 0;
    m_nLine = 0;
    m_nCol = 0;
    m_pCursor = pszText ? pszText : "";
    if (*m_pCursor == '\0')
        m_nEnd = 1;
    for (;;) {
        SToken tok;
        const int nErr = ReadToken(tok);
        if (nErr != 0)
            return nErr;
        if (tok.nKind == TK_END)
            return 0;
        if (tok.nKind != TK_COMMENT)
            m_tokens.push_back(std::move(tok));
    }
}

void GXScriptLexer::Advance()
{
    if (*m_pCursor == '\0')
        return;
    if (*m_pCursor == '\n') {
        ++m_nLine;
        m_nCol = 0;
    } else {
        ++m_nCol;
    }
    ++m_pCursor;
    if (*m_pCursor == '\0')
        m_nEnd = 1;
}

void GXScriptLexer::Advance(int nBytes)
{
    for (int i = 0; i < nBytes; ++i)
        Advance();
}

int GXScriptLexer::ReadToken(SToken& tok)
{
    while (*m_pCursor == '\t' || *m_pCursor == '\n' || *m_pCursor == '\r' || *m_pCursor == ' ')
        Advance();
    if (*m_pCursor == '\0')
        m_nEnd = 1;
    tok.nLine = m_nLine;
    tok.nCol = m_nCol;
    if (m_nEnd) {
        tok.nKind = TK_END;
        return 0;
    }

    for (const SWord& w : kKeywords) {
        const size_t n = std::strlen(w.psz);
        if (std::strncmp(m_pCursor, w.psz, n) != 0)
            continue;
        const unsigned char after = static_cast<unsigned char>(m_pCursor[n]);
        // A UTF-8 lead byte continues an identifier, so it also ends no keyword.
        if (IsWordByte(after) || Utf8Length(after) != 0)
            continue;
        tok.nKind = w.nKind;
        Advance(static_cast<int>(n));
        return 0;
    }
    for (const SWord& w : kOperators) {
        const size_t n = std::strlen(w.psz);
        if (std::strncmp(m_pCursor, w.psz, n) == 0) {
            tok.nKind = w.nKind;
            Advance(static_cast<int>(n));
            return 0;
        }
    }
    if (m_pCursor[0] == '/' && m_pCursor[1] == '*') {
        Advance(2);
        while (!(m_pCursor[0] == '*' && m_pCursor[1] == '/')) {
            if (*m_pCursor == '\0')
                return GXS_ERR_EOF_COMMENT;
            Advance();
        }
        Advance(2);
        tok.nKind = TK_COMMENT;
        return 0;
    }
    if (m_pCursor[0] == '/' && m_pCursor[1] == '/') {
        Advance(2);
        while (*m_pCursor != '\n' && *m_pCursor != '\0')
            Advance();
        tok.nKind = TK_COMMENT;
        return 0;
    }

    const unsigned char c = static_cast<unsigned char>(*m_pCursor);
    if (const int nKind = SingleCharKind(static_cast<char>(c)); nKind != 0) {
        Advance();
        tok.nKind = nKind;
        return 0;
    }
    if (c == '"') {
        Advance();
        const char* pStart = m_pCursor;
        while (*m_pCursor != '"') {
            if (*m_pCursor == '\0') {
                // An unterminated literal ends the token list without error.
                tok.nKind = TK_END;
                return 0;
            }
            Advance();
        }
        tok.strText.assign(pStart, m_pCursor);
        Advance();
        tok.nKind = TK_STRING_LIT;
        return 0;
    }
    if (c == '.' || IsDigit(c))
        return ReadNumber(tok);
    if (IsAsciiLetter(c) || c == '_')
        return ReadIdentifier(tok);
    Advance();
    return GXS_ERR_TOKEN;
}

int GXScriptLexer::ReadIdentifier(SToken& tok)
{
    const char* pStart = m_pCursor;
    Advance();
    for (;;) {
        const unsigned char c = static_cast<unsigned char>(*m_pCursor);
        if (IsWordByte(c)) {
            Advance();
            continue;
        }
        const int nLen = Utf8Length(c);
        if (nLen == 0)
            break;
        int i = 1;
        for (; i < nLen; ++i) {
            const unsigned char t = static_cast<unsigned char>(m_pCursor[i]);
            if (t == 0) {
                Advance(i);
                return GXS_ERR_DBCS;
            }
            if ((t & 0xC0) != 0x80)
                break;
        }
        if (i < nLen)
            break; // not a whole sequence: the identifier ends before it
        Advance(nLen);
    }
    tok.nKind = TK_IDENT;
    tok.strText.assign(pStart, m_pCursor);
    return 0;
}

// number-text := ("." | digit) { letter | digit | "." | "_" }, lower-cased;
// "0x" hex, "0b" binary, else decimal; one "." makes it real.
int GXScriptLexer::ReadNumber(SToken& tok)
{
    std::string text;
    text.push_back(*m_pCursor);
    Advance();
    for (;;) {
        const unsigned char c = static_cast<unsigned char>(*m_pCursor);
        if (!(IsWordByte(c) || c == '.'))
            break;
        text.push_back(static_cast<char>((c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c));
        Advance();
    }

    unsigned nBase = 10;
    size_t i = 0;
    if (text.size() >= 2 && text[0] == '0' && text[1] == 'x') {
        nBase = 16;
        i = 2;
        if (i == text.size())
            return GXS_ERR_HEX;
    } else if (text.size() >= 2 && text[0] == '0' && text[1] == 'b') {
        nBase = 2;
        i = 2;
        if (i == text.size())
            return GXS_ERR_BINARY;
    }

    // Unsigned so that overflow wraps with defined behaviour.
    uint32_t nInt = 0;
    double dbl = 0.0;
    bool bFraction = false;
    double scale = 1.0;
    for (; i < text.size(); ++i) {
        if (text[i] == '.') {
            if (bFraction)
                return GXS_ERR_REAL;
            bFraction = true;
            scale = 1.0 / nBase;
            continue;
        }
        const int nDigit = DigitValue(text[i], nBase);
        if (nDigit < 0)
            return GXS_ERR_DECIMAL;
        if (!bFraction) {
            nInt = nInt * nBase + static_cast<uint32_t>(nDigit);
            dbl = dbl * nBase + nDigit;
        } else {
            dbl += nDigit * scale;
            scale /= nBase;
        }
    }
    if (bFraction) {
        tok.nKind = TK_REAL;
        tok.num.dbl = dbl;
    } else {
        tok.nKind = TK_INTEGER;
        tok.num.n = static_cast<int32_t>(nInt);
    }
    return 0;
}
