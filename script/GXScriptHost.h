#pragma once

#include <memory>
#include <string>

#include "script/GXSApi.h"
#include "script/GXSErr.h"
#include "script/GXSVal.h"
#include "script/GXScriptLexer.h"
#include "script/GXScriptParser.h"
#include "script/GXScriptVM.h"

// Thread: the owning skin window's thread only; nothing here locks.
// The only door into the script language. Every Run tokenises and parses its
// text afresh; what persists between runs is the interpreter's state: depth-0
// variables, user functions declared by earlier runs, registered natives.
class GXScriptHost {
public:
    GXScriptHost();
    ~GXScriptHost();
    GXScriptHost(const GXScriptHost&) = delete;
    GXScriptHost& operator=(const GXScriptHost&) = delete;

    // Clears the error, variables and user functions; natives stay.
    void Reset();

    // 1 on success, 0 on failure; *pnErrorCode gets the code (0 on success).
    // On success *pResult holds the value of the last top-level statement
    // executed; on failure whatever the run had written; empty text leaves it.
    [[nodiscard]] int Run(const char* pszText, GXSVal* pResult, int* pnErrorCode);

    [[nodiscard]] int RegisterApi(const std::string& name, const char* pszSignature, GXSApiFunc fn);
    [[nodiscard]] int RegisterWindowApi(
        const std::string& name, const char* pszSignature, GXSApiFunc fn, GXWindowMain* pWindow);
    [[nodiscard]] bool HasFunction(const std::string& name) const { return m_vm.HasFunction(name); }

    // out = failing source line, plus "/" and the function text when the
    // error lies in a user function. Always 1.
    int GetErrorText(std::string& out) const;
    [[nodiscard]] static std::string ErrorString(int nCode) { return GXScriptErrorText(nCode); }

    [[nodiscard]] int ErrorLine() const { return m_nErrLine; }
    [[nodiscard]] int ErrorCol() const { return m_nErrCol; }

    // Where the parser's and interpreter's "@@r" error reports go; off when empty.
    void SetTrace(GXScriptTrace trace) { m_trace = std::move(trace); }
    // Statements one run may execute before it fails with 314.
    void SetStepLimit(int64_t nSteps) { m_vm.SetStepLimit(nSteps); }

private:
    GXScriptTrace m_trace;
    GXScriptLexer m_lexer;
    GXScriptParser m_parser;
    GXScriptVM m_vm;
    int m_nErrLine = -1;
    int m_nErrCol = -1;
    std::string m_strSourceLine;
    std::string m_strFuncText;
};

// out = line nLine (0-based) of the text, "\r" dropped, trimmed of white
// space; empty when there is no such line (also for -1).
void GetSourceLine(const char* pszText, std::string& out, int nLine);
