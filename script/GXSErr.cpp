#include "script/GXSErr.h"

#include <cstdio>

std::string GXScriptErrorText(int nCode)
{
    switch (nCode) {
    case GXS_OK:
        return "no error";
    case GXS_ERR_CTOI:
        return "err at ctoi()";
    case GXS_ERR_DBCS:
        return "invalid DBCS";
    case GXS_ERR_TOKEN:
        return "token error";
    case GXS_ERR_HEX:
        return "invalid hex number format";
    case GXS_ERR_REAL:
        return "invalid real number format";
    case GXS_ERR_BINARY:
        return "invalid binary number format";
    case GXS_ERR_DECIMAL:
        return "invalid decimal number format";
    case GXS_ERR_EOF_COMMENT:
        return "unexpected eof comment";
    case GXS_ERR_EOF:
        return "unexpected eof";
    case GXS_ERR_SYNTAX:
        return "syntax error";
    case GXS_ERR_VM_INTERNAL:
        return "internal error(vm)";
    case GXS_ERR_BINARY_OP:
        return "invalid binary operator";
    case GXS_ERR_STRING_OP:
        return "invalid string operator";
    case GXS_ERR_DIV_ZERO:
        return "divide by zero";
    case GXS_ERR_VAR_REDEF:
        return "variable redefinition";
    case GXS_ERR_FUNC_REDEF:
        return "function redefinition";
    case GXS_ERR_UNDECLARED_FUNC:
        return "undeclared function";
    case GXS_ERR_PARAM_TYPE:
        return "invalid function parameter type";
    case GXS_ERR_PARAM_COUNT:
        return "invalid function parameter count";
    case GXS_ERR_API_PARAM_TYPE:
        return "invalid api parameter type";
    case GXS_ERR_API_PARAM_COUNT:
        return "invalid api parameter count";
    case GXS_ERR_API_CALL:
        return "api call failed";
    case GXS_ERR_ASSIGN_UNDEFINED:
        return "assign failed (undefined type)";
    case GXS_ERR_CALL_DEPTH:
        return "call stack overflow";
    case GXS_ERR_STEP_LIMIT:
        return "script ran too long";
    case GXS_ERR_STRING_LENGTH:
        return "string too long";
    default:
        break;
    }
    char buf[48];
    std::snprintf(buf, sizeof buf, "GXScript err(code:%d)", nCode);
    return buf;
}
