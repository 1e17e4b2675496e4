#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Token kinds; 2 and 6 are never produced, 1 and 3 are never stored.
enum GXSTokenKind : int {
    TK_END = 1,
    TK_COMMENT = 3,
    TK_IF = 4, // also "while": the language has no loop
    TK_ELSE = 5,
    TK_INT = 7,
    TK_DOUBLE = 8,
    TK_STRING = 9,
    TK_RETURN = 10,
    TK_VOID = 11,
    TK_FOR = 12,
    TK_EQ = 13,
    TK_NE = 14,
    TK_LE = 15,
    TK_GE = 16,
    TK_LT = 17,
    TK_GT = 18,
    TK_LPAREN = 19,
    TK_RPAREN = 20,
    TK_LBRACE = 21,
    TK_RBRACE = 22,
    TK_LBRACKET = 23,
    TK_RBRACKET = 24,
    TK_MINUS = 25,
    TK_PLUS = 26,
    TK_STAR = 27,
    TK_SLASH = 28,
    TK_PERCENT = 29,
    TK_ASSIGN = 30,
    TK_COMMA = 31,
    TK_SEMI = 32,
    TK_NOT = 33,
    TK_REAL = 34,
    TK_INTEGER = 35,
    TK_STRING_LIT = 36,
    TK_IDENT = 37,
};

struct SToken {
    int nKind = TK_END;
    int nLine = 0; // 0-based, of the token's first byte
    int nCol = 0;
    union {
        double dbl;
        int32_t n;
    } num { 0.0 };
    std::string strText; // string literal or identifier
};

// Thread: the owning script host's thread only.
// Turns UTF-8 script text into tokens stamped with line and column. Reused for
// every run: each Tokenize starts from a fresh cursor and an empty array.
class GXScriptLexer {
public:
    // Returns 0 or the first error; on an error the tokens read so far stay
    // and Line()/Col() tell where reading stopped.
    [[nodiscard]] int Tokenize(const char* pszText);
    void FreeTokens() { m_tokens.clear(); }

    [[nodiscard]] const std::vector<SToken>& Tokens() const { return m_tokens; }
    [[nodiscard]] int Line() const { return m_nLine; }
    [[nodiscard]] int Col() const { return m_nCol; }

private:
    void Advance();
    void Advance(int nBytes);
    [[nodiscard]] int ReadToken(SToken& tok);
    [[nodiscard]] int ReadNumber(SToken& tok);
    [[nodiscard]] int ReadIdentifier(SToken& tok);

    int m_nEnd = 0;
    const char* m_pCursor = nullptr;
    int m_nCol = 0;
    int m_nLine = 0;
    std::vector<SToken> m_tokens;
};
