#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Thread: read-only after the load; any thread may read a finished tree.
// One node of a GXmp document: an element (with attributes and children), a
// run of text, or a processing instruction. Nodes belong to their document;
// callers hold plain pointers that die with GXmp::Clear or the document.
class GXmpData {
public:
    enum Type { kElement = 0, kText = 1, kInstruction = 2 };

    // A place in the child list; 0 is past the end.
    using Position = std::size_t;

    explicit GXmpData(int nType)
        : m_nType(nType)
    {
    }
    GXmpData(const GXmpData&) = delete;
    GXmpData& operator=(const GXmpData&) = delete;

    [[nodiscard]] int GetType() const { return m_nType; }
    // The element's or instruction's name; "" for a text node.
    [[nodiscard]] const std::string& GetName() const;
    // The text of a text node; "" for the other types.
    [[nodiscard]] const std::string& GetText() const;
    // The raw body of an instruction named "Script"; "" otherwise.
    [[nodiscard]] const std::string& GetBody() const { return m_strBody; }
    // 0-based position of the parser just after the node's name, "?" or
    // first text token.
    [[nodiscard]] int GetLine() const { return m_nLine; }
    [[nodiscard]] int GetColumn() const { return m_nCol; }

    // Elements only; exact, case-sensitive names.
    [[nodiscard]] bool GetAttribute(std::string_view name, std::string* pValue) const;
    // The value read as the C atoi does, saturated to the int range.
    [[nodiscard]] bool GetAttributeInt(std::string_view name, int* pValue) const;
    [[nodiscard]] std::string GetAttributeString(std::string_view name, std::string_view strDefault) const;
    // Every attribute, by name.
    [[nodiscard]] const std::map<std::string, std::string, std::less<>>& GetAttributes() const { return m_mapAttr; }
    // Replaces an existing attribute's text by "%u" of the value; adds none.
    bool SetAttributeUInt(std::string_view name, unsigned value);

    [[nodiscard]] Position GetFirstChildPosition() const;
    // The child at pos, advancing pos; null at the end.
    [[nodiscard]] GXmpData* GetNextChild(Position& pos) const;
    // The first child element (or instruction) with this name; ignoreCase
    // folds ASCII letters only, so multi-byte names compare byte for byte.
    [[nodiscard]] GXmpData* FindChild(std::string_view name, bool ignoreCase) const;
    [[nodiscard]] GXmpData* FindChildInstruction(std::string_view name, bool ignoreCase) const;

    // How names compare without regard to case: ASCII letters fold, every
    // other byte must match.
    [[nodiscard]] static bool EqualsIgnoreCase(std::string_view a, std::string_view b);

private:
    friend class GXmp;

    [[nodiscard]] const std::string* FindAttribute(std::string_view name) const;
    [[nodiscard]] GXmpData* FindChildOfType(int nType, std::string_view name, bool ignoreCase) const;

    int m_nType;
    std::string m_strName; // the name, or the text of a text node
    std::map<std::string, std::string, std::less<>> m_mapAttr;
    std::vector<std::unique_ptr<GXmpData>> m_listChild;
    std::string m_strBody;
    int m_nLine = 0;
    int m_nCol = 0;
};
