#pragma once

#include <QPointer>
#include <QWidget>

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// One name of a skin window's control-ID table.
struct SGxControlInfo {
    enum Kind : int { kControl = 0, kWindow = 1 };

    int nKind = kControl;
    int nId = 0;
    // For a window control id: the application's widget with that id.
    QPointer<QWidget> pWindow;
};

// Thread: user-interface thread of the skin window that owns it.
// Control-ID names to numbers, as one skin window knows them. Names are
// kept as written and compared case-sensitively; a lookup ignores blanks
// around the name. The table also reads control-ID files: an ".xml" file
// whose root holds the sections WINDOW_CONTROL_ID and CONTROL_ID (each child
// element a name, its ID attribute the number) or an ".ini" file with the
// same two sections (keys are names, values numbers).
class GXControlIdTable {
public:
    struct SEntry {
        std::string name;
        int nId = 0;
    };
    struct SFile {
        std::vector<SEntry> windowIds;
        std::vector<SEntry> controlIds;
    };

    // A control-ID file is a hand-written list of names; a file with more
    // is hostile or broken and is refused rather than held in memory.
    static constexpr std::size_t kMaxEntries = 100000;

    // False when the name is not in the table.
    bool Find(std::string_view name, SGxControlInfo* pInfo) const;
    // The caller has checked that the name is new.
    void Insert(const std::string& name, const SGxControlInfo& info);
    void Clear() { m_map.clear(); }
    [[nodiscard]] std::size_t GetCount() const { return m_map.size(); }

    // Reads a control-ID file in either form, chosen by the extension
    // (case-insensitive). False for another extension, an unreadable or
    // unparsable file, an ".xml" file without both sections, or more than
    // kMaxEntries names; a missing ".ini" section reads as empty.
    [[nodiscard]] static bool ReadFile(const std::string& path, SFile* pFile);

private:
    std::map<std::string, SGxControlInfo, std::less<>> m_map;
};
