#include "script/GXScriptHost.h"

#include <cstring>

#include "script/GXSErr.h"

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Gives every function the run declares the text it came from.
void AttachSource(SStmt* pFirst, const char* pszText)
{
    std::shared_ptr<const std::string> pSource;
    for (SStmt* p = pFirst; p; p = p->m_pNext.get()) {
        if (p->m_nKind != SK_FUNC_DECL)
            continue;
        if (!pSource)
            pSource = std::make_shared<const std::string>(pszText);
        static_cast<SStmtFuncDecl*>(p)->m_pSource = pSource;
    }
}

} // namespace

void GetSourceLine(const char* pszText, std::string& out, int nLine)
{
    out.clear();
    if (!pszText || nLine < 0)
        return;
    const char* p = pszText;
    for (int i = 0; i < nLine; ++i) {
        p = std::strchr(p, '\n');
        if (!p)
            return;
        ++p;
    }
    const char* pEnd = std::strchr(p, '\n');
    if (!pEnd)
        pEnd = p + std::strlen(p);
    for (; p < pEnd; ++p) {
        if (*p != '\r')
            out.push_back(*p);
    }
    size_t b = 0;
    while (b < out.size() && IsBlank(out[b]))
        ++b;
    size_t e = out.size();
    while (e > b && IsBlank(out[e - 1]))
        --e;
    out = out.substr(b, e - b);
}

GXScriptHost::GXScriptHost()
{
    m_parser.SetTrace(&m_trace);
    m_vm.SetTrace(&m_trace);
}

GXScriptHost::~GXScriptHost()
{
    m_vm.Reset(true);
}

void GXScriptHost::Reset()
{
    m_nErrLine = -1;
    m_nErrCol = -1;
    m_strSourceLine.clear();
    m_lexer.FreeTokens();
    m_parser.DropRoot();
    m_vm.Reset(false);
}

int GXScriptHost::Run(const char* pszText, GXSVal* pResult, int* pnErrorCode)
{
    m_nErrLine = -1;
    m_nErrCol = -1;
    m_strSourceLine.clear();
    m_strFuncText.clear();
    if (!pszText)
        pszText = "";

    std::shared_ptr<const std::string> pErrSource;
    int nCode = m_lexer.Tokenize(pszText);
    if (nCode != GXS_OK) {
        m_nErrLine = m_lexer.Line();
        m_nErrCol = m_lexer.Col();
    } else if ((nCode = m_parser.Parse(m_lexer.Tokens())) != GXS_OK) {
        m_nErrLine = m_parser.ErrorLine();
        m_nErrCol = m_parser.ErrorCol();
    } else if (SStmtPtr program = m_parser.TakeRoot()) {
        AttachSource(program.get(), pszText);
        // The interpreter frees the tree except the functions it registers.
        nCode = m_vm.Run(std::move(program), pResult);
        if (nCode != GXS_OK) {
            m_nErrLine = m_vm.ErrorLine();
            m_nErrCol = m_vm.ErrorCol();
            m_strFuncText = m_vm.FunctionText();
            pErrSource = m_vm.ErrorSource();
        }
    }

    m_lexer.FreeTokens();
    m_parser.DropRoot();
    if (pnErrorCode)
        *pnErrorCode = nCode;
    if (nCode == GXS_OK)
        return 1;
    GetSourceLine(pErrSource ? pErrSource->c_str() : pszText, m_strSourceLine, m_nErrLine);
    return 0;
}

int GXScriptHost::RegisterApi(const std::string& name, const char* pszSignature, GXSApiFunc fn)
{
    return m_vm.RegisterApi(name, pszSignature, std::move(fn), nullptr);
}

int GXScriptHost::RegisterWindowApi(
    const std::string& name, const char* pszSignature, GXSApiFunc fn, GXWindowMain* pWindow)
{
    return m_vm.RegisterApi(name, pszSignature, std::move(fn), pWindow);
}

int GXScriptHost::GetErrorText(std::string& out) const
{
    out = m_strSourceLine;
    if (!m_strFuncText.empty())
        out += "/" + m_strFuncText;
    return 1;
}
