#include "script/GXScriptVM.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "script/GXSErr.h"

namespace {

// Overwrites a value in place; cheaper than building a temporary on the hot path.
void SetInt(GXSVal& out, int32_t n)
{
    out.m_nType = GXSV_INT;
    out.m_num.n = n;
    out.m_strText.clear();
}

void SetDouble(GXSVal& out, double d)
{
    out.m_nType = GXSV_DOUBLE;
    out.m_num.dbl = d;
    out.m_strText.clear();
}

// A copy out of the store: type, number and text; assigning the text only
// when there is one to keep or to drop.
void CopyValue(GXSVal& out, const GXSVal& src)
{
    out.m_nType = src.m_nType;
    out.m_num = src.m_num;
    if (src.m_nType == GXSV_STRING || !out.m_strText.empty())
        out.m_strText = src.m_strText;
}

uintptr_t StackPosition()
{
    return reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
}

int LetterType(char c)
{
    switch (c) {
    case 'i':
        return GXSV_INT;
    case 's':
        return GXSV_STRING;
    case 'd':
        return GXSV_DOUBLE;
    default:
        return -1;
    }
}

// int ∘ int; unsigned arithmetic so that overflow wraps with defined behaviour.
bool IntOperator(int nOp, int32_t a, int32_t b, GXSVal& out)
{
    const uint32_t ua = static_cast<uint32_t>(a);
    const uint32_t ub = static_cast<uint32_t>(b);
    switch (nOp) {
    case OP_EQ:
        SetInt(out, a == b);
        return true;
    case OP_NE:
        SetInt(out, a != b);
        return true;
    case OP_LE:
        SetInt(out, a <= b);
        return true;
    case OP_GE:
        SetInt(out, a >= b);
        return true;
    case OP_LT:
        SetInt(out, a < b);
        return true;
    case OP_GT:
        SetInt(out, a > b);
        return true;
    case OP_ADD:
        SetInt(out, static_cast<int32_t>(ua + ub));
        return true;
    case OP_SUB:
        SetInt(out, static_cast<int32_t>(ua - ub));
        return true;
    case OP_MUL:
        SetInt(out, static_cast<int32_t>(ua * ub));
        return true;
    case OP_DIV:
        // INT_MIN / -1 wraps to INT_MIN instead of trapping.
        SetInt(out, b == -1 ? static_cast<int32_t>(0u - ua) : a / b);
        return true;
    case OP_MOD:
        SetInt(out, b == -1 ? 0 : a % b);
        return true;
    default:
        return false;
    }
}

// int ∘ double or double ∘ int, computed as doubles. Comparisons give 1.0 or
// 0.0 and % the floating remainder, both typed double.
bool MixedOperator(int nOp, double a, double b, GXSVal& out)
{
    switch (nOp) {
    case OP_EQ:
        SetDouble(out, a == b ? 1.0 : 0.0);
        return true;
    case OP_NE:
        SetDouble(out, a != b ? 1.0 : 0.0);
        return true;
    case OP_LE:
        SetDouble(out, a <= b ? 1.0 : 0.0);
        return true;
    case OP_GE:
        SetDouble(out, a >= b ? 1.0 : 0.0);
        return true;
    case OP_LT:
        SetDouble(out, a < b ? 1.0 : 0.0);
        return true;
    case OP_GT:
        SetDouble(out, a > b ? 1.0 : 0.0);
        return true;
    case OP_ADD:
        SetDouble(out, a + b);
        return true;
    case OP_SUB:
        SetDouble(out, a - b);
        return true;
    case OP_MUL:
        SetDouble(out, a * b);
        return true;
    case OP_DIV:
        SetDouble(out, a / b);
        return true;
    case OP_MOD:
        SetDouble(out, std::fmod(a, b));
        return true;
    default:
        return false;
    }
}

} // namespace

// Restores the store, the depth and the declaration line when a user call
// ends, whether normally, by return or by an error unwinding through it.
class GXScriptVM::CCallScope {
public:
    explicit CCallScope(GXScriptVM& vm)
        : m_vm(vm)
        , m_nMark(vm.m_store.size())
        , m_nDepth(vm.m_nDepth)
        , m_nArgs(vm.m_args.size())
    {
        ++m_vm.m_nCallDepth;
    }
    ~CCallScope()
    {
        m_vm.m_args.resize(m_nArgs);
        m_vm.PopVariablesTo(m_nMark);
        m_vm.m_nDepth = m_nDepth;
        m_vm.m_nDeclLine = -1;
        --m_vm.m_nCallDepth;
        if (m_bEntered)
            m_vm.m_active.pop_back();
    }
    CCallScope(const CCallScope&) = delete;
    CCallScope& operator=(const CCallScope&) = delete;

    void Entered() { m_bEntered = true; }
    [[nodiscard]] size_t ArgBase() const { return m_nArgs; }

private:
    GXScriptVM& m_vm;
    size_t m_nMark;
    int m_nDepth;
    size_t m_nArgs;
    bool m_bEntered = false;
};

GXScriptVM::GXScriptVM()
{
    m_callStack.push_back(nullptr);
}

GXScriptVM::~GXScriptVM()
{
    Reset(true);
}

// ===========================================================================
// Runs, state and registration
// ===========================================================================

int GXScriptVM::Run(SStmtPtr program, GXSVal* pResult)
{
    m_strFuncText.clear();
    m_pErrSource.reset();
    m_nErrLine = -1;
    m_nErrCol = -1;
    // A native may run a script of its own; the interrupted run keeps its place.
    const int nOuterDepth = m_nDepth;
    const int nOuterDeclLine = m_nDeclLine;
    m_nDepth = 0;
    if (m_nRunning == 0) {
        m_nSteps = 0;
        m_nStackBase = StackPosition();
    }
    GXSVal scratch;
    GXSVal& out = pResult ? *pResult : scratch;

    // The chain is taken apart first so that each node can be executed and
    // a registered function declaration moved out by ownership.
    std::vector<SStmtPtr> statements;
    while (program) {
        SStmtPtr next = std::move(program->m_pNext);
        statements.push_back(std::move(program));
        program = std::move(next);
    }

    ++m_nRunning;
    int nCode = GXS_OK;
    try {
        for (SStmtPtr& stmt : statements) {
            if (stmt->m_nKind == SK_FUNC_DECL) {
                RegisterFunction(stmt);
                continue;
            }
            if (Exec(stmt.get(), out) == Flow::Return) {
                // A top-level return ends the run with its value.
                out = std::move(m_returnValue);
                break;
            }
        }
    } catch (GXS_ERR nErr) {
        nCode = nErr;
    }
    if (--m_nRunning == 0) {
        m_graveyard.clear();
    } else {
        m_nDepth = nOuterDepth;
        m_nDeclLine = nOuterDeclLine;
    }
    return nCode;
}

void GXScriptVM::Reset(bool bWithNatives)
{
    while (!m_store.empty())
        PopVariablesTo(0);
    for (SSymbol& sym : m_symbols) {
        sym.pFunc = nullptr;
        if (bWithNatives)
            sym.pNative = nullptr;
    }
    if (m_nRunning > 0) {
        for (auto& fn : m_functions)
            m_graveyard.push_back(std::move(fn));
    }
    m_functions.clear();
    if (bWithNatives)
        m_natives.clear();
    m_nDepth = 0;
    m_nDeclLine = -1;
    m_callStack.assign(1, nullptr);
}

int GXScriptVM::RegisterApi(const std::string& name, const char* pszSignature, GXSApiFunc fn, GXWindowMain* pWindow)
{
    if (name.empty() || !pszSignature || !fn)
        return 0;
    const size_t nLen = std::strlen(pszSignature);
    if (nLen == 0 || nLen > kMaxApiArgs + 1 || m_natives.count(name))
        return 0;
    auto native = std::make_unique<SNative>();
    native->strSignature = pszSignature;
    native->fn = std::move(fn);
    native->pWindow = pWindow;
    m_symbols[Intern(name)].pNative = native.get();
    m_natives.emplace(name, std::move(native));
    return 1;
}

bool GXScriptVM::HasFunction(const std::string& name) const
{
    auto it = m_symbolIds.find(name);
    return it != m_symbolIds.end() && m_symbols[it->second].pFunc != nullptr;
}

void GXScriptVM::RegisterFunction(SStmtPtr& node)
{
    auto* pFunc = static_cast<SStmtFuncDecl*>(node.get());
    SSymbol& sym = m_symbols[SymOf(pFunc)];
    if (sym.pFunc)
        Error(GXS_ERR_FUNC_REDEF, pFunc);
    node.release();
    m_functions.emplace_back(pFunc);
    sym.pFunc = pFunc;
}

int GXScriptVM::Intern(const std::string& name)
{
    auto [it, bNew] = m_symbolIds.try_emplace(name, static_cast<int>(m_symbols.size()));
    if (bNew)
        m_symbols.push_back(SSymbol { name, {}, nullptr, nullptr });
    return it->second;
}

template <class T> int GXScriptVM::SymOf(T* pNode)
{
    if (pNode->m_nSym < 0)
        pNode->m_nSym = Intern(pNode->m_strName);
    return pNode->m_nSym;
}

// ===========================================================================
// Variables
// ===========================================================================

GXSVal* GXScriptVM::Lookup(int nSym)
{
    // The deepest visible entry wins; the newest entries are the likeliest,
    // and one at the current depth cannot be beaten.
    const auto& vars = m_symbols[nSym].vars;
    int nBest = -1;
    int nIndex = -1;
    for (auto it = vars.rbegin(); it != vars.rend(); ++it) {
        if (it->nDepth <= m_nDepth && it->nDepth > nBest) {
            nBest = it->nDepth;
            nIndex = it->nIndex;
            if (nBest == m_nDepth)
                break;
        }
    }
    return nIndex < 0 ? nullptr : &m_store[nIndex].val;
}

GXSVal& GXScriptVM::Declare(int nSym, GXSVal value, int nDepth, const SStmt* pAt)
{
    SSymbol& sym = m_symbols[nSym];
    const int nDeepest = sym.vars.empty() ? -1 : sym.vars.back().nDeepest;
    if (nDepth <= nDeepest) {
        for (const auto& var : sym.vars) {
            if (var.nDepth == nDepth)
                Error(GXS_ERR_VAR_REDEF, pAt);
        }
    }
    sym.vars.push_back({ nDepth, static_cast<int>(m_store.size()), std::max(nDepth, nDeepest) });
    m_store.push_back(SVariable { std::move(value), nSym });
    return m_store.back().val;
}

void GXScriptVM::PopVariablesTo(size_t nMark)
{
    while (m_store.size() > nMark) {
        m_symbols[m_store.back().nSym].vars.pop_back();
        m_store.pop_back();
    }
}

// ===========================================================================
// Execution
// ===========================================================================

GXScriptVM::Flow GXScriptVM::ExecChain(const SStmt* pFirst, GXSVal& out)
{
    for (const SStmt* p = pFirst; p; p = p->m_pNext.get()) {
        if (Exec(p, out) == Flow::Return)
            return Flow::Return;
    }
    return Flow::Normal;
}

void GXScriptVM::Eval(const SStmt* p, GXSVal& out)
{
    (void)Exec(p, out);
}

GXScriptVM::Flow GXScriptVM::Exec(const SStmt* p, GXSVal& out)
{
    if (++m_nSteps > m_nStepLimit)
        Error(GXS_ERR_STEP_LIMIT, p);
    if (m_nStackBase - StackPosition() > kStackBudget)
        Error(GXS_ERR_CALL_DEPTH, p);
    switch (p->m_nKind) {
    case SK_IF: {
        const auto* pIf = static_cast<const SStmtIf*>(p);
        if (!pIf->m_pCond || !pIf->m_pThen)
            Error(GXS_ERR_VM_INTERNAL, p);
        GXSVal cond;
        Eval(pIf->m_pCond.get(), cond);
        if (cond.IsTrue())
            return Exec(pIf->m_pThen.get(), out);
        if (pIf->m_pElse)
            return Exec(pIf->m_pElse.get(), out);
        return Flow::Normal;
    }
    case SK_VAR: {
        // The index expression is never evaluated.
        auto* pVar = const_cast<SStmtVar*>(static_cast<const SStmtVar*>(p));
        const int nSym = SymOf(pVar);
        if (const GXSVal* pFound = Lookup(nSym))
            CopyValue(out, *pFound);
        else
            CopyValue(out, Declare(nSym, GXSVal(), m_nDepth, p));
        return Flow::Normal;
    }
    case SK_VAR_DECL: {
        const auto* pDecl = static_cast<const SStmtVarDecl*>(p);
        GXSVal zero;
        zero.m_nType = pDecl->m_nType;
        CopyValue(out, Declare(SymOf(pDecl->m_pVar.get()), std::move(zero), m_nDepth, p));
        return Flow::Normal;
    }
    case SK_FUNC_DECL:
        // Only the top level declares functions; the parser puts them nowhere else.
        return Flow::Normal;
    case SK_ASSIGNMENT:
        ExecAssignment(static_cast<const SStmtAssignment*>(p), out);
        return Flow::Normal;
    case SK_EXPRESSION:
        ExecExpression(static_cast<const SStmtExpression*>(p), out);
        return Flow::Normal;
    case SK_COMPOUND: {
        // Variables declared in the block stay at their depth until the
        // enclosing user function returns (or the host is reset).
        const auto* pBlock = static_cast<const SStmtCompound*>(p);
        ++m_nDepth;
        GXSVal scratch;
        Flow flow = ExecChain(pBlock->m_pDecls.get(), scratch);
        if (flow == Flow::Normal)
            flow = ExecChain(pBlock->m_pStmts.get(), scratch);
        --m_nDepth;
        return flow;
    }
    case SK_RETURN: {
        const auto* pRet = static_cast<const SStmtReturn*>(p);
        GXSVal value;
        if (pRet->m_pValue)
            Eval(pRet->m_pValue.get(), value);
        m_returnValue = std::move(value);
        return Flow::Return;
    }
    case SK_CALL:
        ExecCall(static_cast<const SStmtCall*>(p), out);
        return Flow::Normal;
    default:
        return Flow::Normal;
    }
}

void GXScriptVM::ExecAssignment(const SStmtAssignment* p, GXSVal& out)
{
    GXSVal value;
    Eval(p->m_pValue.get(), value);
    if (value.m_nType == GXSV_UNDEFINED)
        Error(GXS_ERR_ASSIGN_UNDEFINED, p);
    const int nSym = SymOf(p->m_pTarget.get());
    if (GXSVal* pVar = Lookup(nSym)) {
        // No conversion to the declared type: the variable takes the value's.
        pVar->m_nType = value.m_nType;
        pVar->m_num = value.m_num;
        pVar->m_strText = value.m_strText;
    } else {
        Declare(nSym, value, m_nDepth, p);
    }
    out = std::move(value);
}

void GXScriptVM::ExecExpression(const SStmtExpression* p, GXSVal& out)
{
    if (p->m_pConst) {
        CopyValue(out, *p->m_pConst);
        return;
    }
    GXSVal left, right;
    if (p->m_pLeft)
        Eval(p->m_pLeft.get(), left);
    if (p->m_pRight)
        Eval(p->m_pRight.get(), right);

    if (p->m_nOp == OP_NOT || p->m_nOp == OP_NEG) {
        const bool bNot = p->m_nOp == OP_NOT;
        if (right.m_nType == GXSV_INT)
            SetInt(out, bNot ? (right.m_num.n == 0) : static_cast<int32_t>(0u - static_cast<uint32_t>(right.m_num.n)));
        else if (right.m_nType == GXSV_DOUBLE)
            SetDouble(out, bNot ? (right.m_num.dbl == 0.0 ? 1.0 : 0.0) : -right.m_num.dbl);
        else
            Error(GXS_ERR_BINARY_OP, p);
        return;
    }

    const int lt = left.m_nType;
    const int rt = right.m_nType;
    if (lt == GXSV_INT && rt == GXSV_INT) {
        if ((p->m_nOp == OP_DIV || p->m_nOp == OP_MOD) && right.m_num.n == 0)
            Error(GXS_ERR_DIV_ZERO, p);
        if (!IntOperator(p->m_nOp, left.m_num.n, right.m_num.n, out))
            Error(GXS_ERR_BINARY_OP, p);
        return;
    }
    if ((lt == GXSV_INT && rt == GXSV_DOUBLE) || (lt == GXSV_DOUBLE && rt == GXSV_INT)) {
        const double a = lt == GXSV_INT ? left.m_num.n : left.m_num.dbl;
        const double b = rt == GXSV_INT ? right.m_num.n : right.m_num.dbl;
        if ((p->m_nOp == OP_DIV || p->m_nOp == OP_MOD) && b == 0.0)
            Error(GXS_ERR_DIV_ZERO, p);
        if (!MixedOperator(p->m_nOp, a, b, out))
            Error(GXS_ERR_BINARY_OP, p);
        return;
    }
    if (lt == GXSV_STRING && rt == GXSV_STRING) {
        if (p->m_nOp == OP_ADD) {
            if (left.m_strText.size() + right.m_strText.size() > kMaxStringBytes)
                Error(GXS_ERR_STRING_LENGTH, p);
            out = GXSVal::String(left.m_strText + right.m_strText);
        } else if (p->m_nOp == OP_EQ)
            SetInt(out, left.m_strText == right.m_strText);
        else if (p->m_nOp == OP_NE)
            SetInt(out, left.m_strText != right.m_strText);
        else
            Error(GXS_ERR_STRING_OP, p);
        return;
    }
    Error(GXS_ERR_BINARY_OP, p);
}

void GXScriptVM::ExecCall(const SStmtCall* p, GXSVal& out)
{
    const SSymbol& sym = m_symbols[SymOf(const_cast<SStmtCall*>(p))];
    // User functions hide natives of the same name.
    if (sym.pFunc)
        CallUser(p, sym.pFunc, out);
    else if (sym.pNative)
        CallNative(p, *sym.pNative, out);
    else
        Error(GXS_ERR_UNDECLARED_FUNC, p);
}

void GXScriptVM::CallUser(const SStmtCall* pCall, SStmtFuncDecl* pFunc, GXSVal& out)
{
    if (m_nCallDepth >= kMaxCallDepth)
        Error(GXS_ERR_CALL_DEPTH, pCall);
    CCallScope scope(*this);
    const int d = m_nDepth;

    // All arguments are evaluated and checked before any parameter exists,
    // so an argument never sees a parameter of the call it belongs to.
    const SStmt* pParam = pFunc->m_pParams.get();
    for (const SStmt* pArg = pCall->m_pArgs.get(); pArg; pArg = pArg->m_pNext.get()) {
        if (!pParam)
            Error(GXS_ERR_PARAM_COUNT, pCall);
        GXSVal value;
        Eval(pArg, value);
        if (value.m_nType != static_cast<const SStmtVarDecl*>(pParam)->m_nType)
            Error(GXS_ERR_PARAM_TYPE, pCall);
        m_args.push_back(std::move(value));
        pParam = pParam->m_pNext.get();
    }
    if (pParam)
        Error(GXS_ERR_PARAM_COUNT, pCall);

    size_t nArg = scope.ArgBase();
    for (SStmt* q = pFunc->m_pParams.get(); q; q = q->m_pNext.get(), ++nArg)
        Declare(SymOf(static_cast<SStmtVarDecl*>(q)->m_pVar.get()), std::move(m_args[nArg]), d + 1, pCall);
    m_args.resize(scope.ArgBase());

    m_nDepth = d + 1;
    m_nDeclLine = pFunc->m_nLine;
    if (m_callStack.size() <= static_cast<size_t>(d + 1))
        m_callStack.resize(d + 2);
    m_callStack[d + 1] = &pFunc->m_strName;
    m_active.push_back(pFunc);
    scope.Entered();

    // The body runs at d + 1 itself: it adds no depth of its own.
    const SStmtCompound* pBody = pFunc->m_pBody.get();
    Flow flow = ExecChain(pBody->m_pDecls.get(), out);
    if (flow == Flow::Normal)
        flow = ExecChain(pBody->m_pStmts.get(), out);
    if (flow == Flow::Return)
        out = std::move(m_returnValue);
}

void GXScriptVM::CallNative(const SStmtCall* pCall, const SNative& native, GXSVal& out)
{
    const size_t nBase = m_args.size();
    struct STruncate {
        std::vector<GXSVal>& v;
        size_t n;
        ~STruncate() { v.resize(n); }
    } truncate { m_args, nBase };

    // Arguments beyond the signature's letters are neither evaluated nor reported.
    const char* pszSig = native.strSignature.c_str();
    const SStmt* pArg = pCall->m_pArgs.get();
    for (const char* pc = pszSig + 1; *pc; ++pc) {
        if (!pArg)
            Error(GXS_ERR_PARAM_COUNT, pCall);
        GXSVal value;
        Eval(pArg, value);
        if (value.m_nType != LetterType(*pc))
            Error(GXS_ERR_API_PARAM_TYPE, pCall);
        m_args.push_back(std::move(value));
        pArg = pArg->m_pNext.get();
    }
    const char cResult = pszSig[0];
    if (cResult != 'V' && cResult != 'I' && cResult != 'S' && cResult != 'D')
        Error(GXS_ERR_API_CALL, nullptr);

    GXSApiValue args[kMaxApiArgs];
    const size_t nArgs = m_args.size() - nBase;
    for (size_t i = 0; i < nArgs; ++i) {
        const GXSVal& v = m_args[nBase + i];
        if (v.m_nType == GXSV_INT)
            args[i].nInt = v.m_num.n;
        else if (v.m_nType == GXSV_DOUBLE)
            args[i].dbl = v.m_num.dbl;
        else
            args[i].pszText = v.m_strText.c_str();
    }
    const GXSApiValue ret = native.fn(native.pWindow, std::span<const GXSApiValue>(args, nArgs));
    switch (cResult) {
    case 'V':
        out = GXSVal::Void();
        break;
    case 'I':
        SetInt(out, ret.nInt);
        break;
    case 'S':
        out = GXSVal::String(ret.pszText ? ret.pszText : "");
        break;
    default:
        SetDouble(out, ret.dbl);
        break;
    }
}

// ===========================================================================
// Errors
// ===========================================================================

void GXScriptVM::Error(int nCode, const SStmt* pStmt)
{
    if (m_pTrace && *m_pTrace) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "@@rGXScriptVM::Error - %d", nCode);
        (*m_pTrace)(buf);
        for (int i = 0; i <= m_nDepth; ++i) {
            const std::string name
                = static_cast<size_t>(i) < m_callStack.size() && m_callStack[i] ? *m_callStack[i] : std::string();
            std::string line = "@@r GXScriptVM Call stack - [" + std::to_string(i) + "], [" + name + "]";
            (*m_pTrace)(line);
        }
    }
    if (pStmt) {
        if (m_nDeclLine >= 0 && !m_active.empty()) {
            m_strFuncText = "function[" + m_active.back()->m_strName + "] line["
                + std::to_string(pStmt->m_nLine - m_nDeclLine) + "]";
        }
        m_nErrLine = pStmt->m_nLine;
        m_nErrCol = pStmt->m_nCol;
        if (!m_active.empty())
            m_pErrSource = m_active.back()->m_pSource;
    }
    throw static_cast<GXS_ERR>(nCode);
}
