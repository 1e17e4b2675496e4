#pragma once

#include <string>

// Script error codes. They travel by value inside the lexer, parser and
// interpreter and come out of their entry points as plain ints.
enum GXS_ERR : int {
    GXS_OK = 0,
    GXS_ERR_CTOI = 110,
    GXS_ERR_DBCS = 111,
    GXS_ERR_TOKEN = 112,
    GXS_ERR_HEX = 113,
    GXS_ERR_REAL = 114,
    GXS_ERR_BINARY = 115,
    GXS_ERR_DECIMAL = 116,
    GXS_ERR_EOF_COMMENT = 117,
    GXS_ERR_EOF = 200,
    GXS_ERR_SYNTAX = 201,
    GXS_ERR_VM_INTERNAL = 300,
    GXS_ERR_BINARY_OP = 301,
    GXS_ERR_STRING_OP = 302,
    GXS_ERR_DIV_ZERO = 303,
    GXS_ERR_VAR_REDEF = 304,
    GXS_ERR_FUNC_REDEF = 305,
    GXS_ERR_UNDECLARED_FUNC = 306,
    GXS_ERR_PARAM_TYPE = 307,
    GXS_ERR_PARAM_COUNT = 308,
    GXS_ERR_API_PARAM_TYPE = 309,
    GXS_ERR_API_PARAM_COUNT = 310,
    GXS_ERR_API_CALL = 311,
    GXS_ERR_ASSIGN_UNDEFINED = 312,
    // Recursion is the language's only loop, so calls nest only this deep.
    GXS_ERR_CALL_DEPTH = 313,
    // A run executes at most a bounded number of statements, so a script
    // cannot hang the window with exponential recursion.
    GXS_ERR_STEP_LIMIT = 314,
    // Concatenation may at most reach a bounded length, so a few doublings
    // cannot exhaust memory.
    GXS_ERR_STRING_LENGTH = 315,
};

// The user-facing text of a code; unknown codes read "GXScript err(code:N)".
[[nodiscard]] std::string GXScriptErrorText(int nCode);
