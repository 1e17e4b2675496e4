#pragma once

#include <cstdint>
#include <string>

// Type codes of a script value; declarations and parameters use the same codes.
enum GXSValType : int {
    GXSV_UNDEFINED = 0,
    GXSV_DOUBLE = 1,
    GXSV_STRING = 2,
    GXSV_INT = 3,
    GXSV_VOID = 4,
};

// Thread: plain value, copied freely; no shared state.
// A dynamically typed script value. The numeric slot holds the int of type 3
// or the double of type 1; only the member that matches the type is read.
struct GXSVal {
    int m_nType = GXSV_UNDEFINED;
    union {
        double dbl;
        int32_t n;
    } m_num { 0.0 };
    std::string m_strText;
    // A stored variable's key (its name and depth) lives with the store
    // entry as an interned name, not in the value.

    [[nodiscard]] static GXSVal Int(int32_t n);
    [[nodiscard]] static GXSVal Double(double d);
    [[nodiscard]] static GXSVal String(std::string text);
    [[nodiscard]] static GXSVal Void();

    // An int is true when not 0, a double when not 0.0, a string when not
    // empty; undefined and void are false.
    [[nodiscard]] bool IsTrue() const;
};
