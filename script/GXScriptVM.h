#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "script/GXSApi.h"
#include "script/GXSVal.h"
#include "script/SStmt.h"

// Thread: the owning script host's thread only; natives run on it inside the call.
// Walks the statement tree. Keeps, across runs, the variables declared at
// depth 0 (and in top-level blocks), the user functions and the natives.
// Scoping is by call depth: a lookup tries the current depth, then each lower
// one, so a function sees its callers' lower-depth variables.
class GXScriptVM {
public:
    GXScriptVM();
    ~GXScriptVM();
    GXScriptVM(const GXScriptVM&) = delete;
    GXScriptVM& operator=(const GXScriptVM&) = delete;

    void SetTrace(const GXScriptTrace* pTrace) { m_pTrace = pTrace; }

    // Executes the top-level chain into *pResult and returns 0 or the first
    // error's code. Takes the chain: function declarations it registers move
    // to the function list, everything else is freed before returning.
    [[nodiscard]] int Run(SStmtPtr program, GXSVal* pResult);
    void Reset(bool bWithNatives);

    // Refused (0) for an empty name, an empty or over-long signature, an empty
    // function or a name already registered (the first one stays).
    [[nodiscard]] int RegisterApi(
        const std::string& name, const char* pszSignature, GXSApiFunc fn, GXWindowMain* pWindow);
    [[nodiscard]] bool HasFunction(const std::string& name) const;

    [[nodiscard]] int ErrorLine() const { return m_nErrLine; }
    [[nodiscard]] int ErrorCol() const { return m_nErrCol; }
    [[nodiscard]] const std::string& FunctionText() const { return m_strFuncText; }
    // The text the failing statement came from when it lies in a function;
    // null when it came from the current run's text.
    [[nodiscard]] const std::shared_ptr<const std::string>& ErrorSource() const { return m_pErrSource; }

    // Statements one run may execute before it fails with 314.
    void SetStepLimit(int64_t nSteps) { m_nStepLimit = nSteps; }

    // User calls nest at most this deep, and a run uses at most this much
    // machine stack (measured from Run), whichever comes first: 313. A call
    // level of a plain recursive function takes about 1.2 KB of stack (3.8 KB
    // under AddressSanitizer), so the full depth fits the budget with room
    // left for nested expressions; the budget also bounds natives that run
    // scripts of their own.
    static constexpr int kMaxCallDepth = 256;
    static constexpr uintptr_t kStackBudget = 2u << 20;
    static constexpr int64_t kDefaultStepLimit = 10'000'000;
    // The longest string "+" may build (315 beyond): far above any title or
    // path a skin handles, far below what would strain memory.
    static constexpr size_t kMaxStringBytes = 1u << 20;
    // A native takes at most this many arguments: its signature is the
    // result letter and up to this many argument letters.
    static constexpr size_t kMaxApiArgs = 10;

private:
    enum class Flow {
        Normal,
        Return,
    };
    struct SNative {
        std::string strSignature;
        GXSApiFunc fn;
        GXWindowMain* pWindow = nullptr;
    };
    struct SSymbol {
        std::string strName;
        struct SEntry {
            int nDepth;
            int nIndex; // into the store
            int nDeepest; // deepest depth among this entry and those before it
        };
        std::vector<SEntry> vars; // in declaration order
        SStmtFuncDecl* pFunc = nullptr;
        SNative* pNative = nullptr;
    };
    struct SVariable {
        GXSVal val;
        int nSym;
    };
    class CCallScope;

    [[noreturn]] void Error(int nCode, const SStmt* pStmt);
    int Intern(const std::string& name);
    template <class T> int SymOf(T* pNode);

    Flow ExecChain(const SStmt* pFirst, GXSVal& out);
    Flow Exec(const SStmt* p, GXSVal& out);
    void Eval(const SStmt* p, GXSVal& out);
    void ExecAssignment(const SStmtAssignment* p, GXSVal& out);
    void ExecExpression(const SStmtExpression* p, GXSVal& out);
    void ExecCall(const SStmtCall* p, GXSVal& out);
    void CallUser(const SStmtCall* pCall, SStmtFuncDecl* pFunc, GXSVal& out);
    void CallNative(const SStmtCall* pCall, const SNative& native, GXSVal& out);
    void RegisterFunction(SStmtPtr& node);

    GXSVal* Lookup(int nSym);
    GXSVal& Declare(int nSym, GXSVal value, int nDepth, const SStmt* pAt);
    void PopVariablesTo(size_t nMark);

    const GXScriptTrace* m_pTrace = nullptr;
    std::unordered_map<std::string, int> m_symbolIds;
    std::vector<SSymbol> m_symbols;
    std::vector<SVariable> m_store;
    std::vector<std::unique_ptr<SStmtFuncDecl>> m_functions;
    std::unordered_map<std::string, std::unique_ptr<SNative>> m_natives;
    // Functions dropped by a Reset that a native made in the middle of a run;
    // freed when the outermost run ends.
    std::vector<std::unique_ptr<SStmtFuncDecl>> m_graveyard;
    std::vector<GXSVal> m_args; // argument values of the calls in progress

    int m_nDepth = 0;
    int m_nDeclLine = -1;
    int m_nCallDepth = 0;
    int m_nRunning = 0;
    // Entry d names the function entered at depth d (null: none). Entries
    // outlive their calls, as the error trace shows; Reset clears them all
    // before any function is freed.
    std::vector<const std::string*> m_callStack;
    std::vector<const SStmtFuncDecl*> m_active; // running user functions, innermost last
    GXSVal m_returnValue;
    int64_t m_nSteps = 0;
    int64_t m_nStepLimit = kDefaultStepLimit;
    uintptr_t m_nStackBase = 0;

    int m_nErrLine = -1;
    int m_nErrCol = -1;
    std::string m_strFuncText;
    std::shared_ptr<const std::string> m_pErrSource;
};
