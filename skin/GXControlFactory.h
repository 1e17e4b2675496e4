#pragma once

#include <memory>
#include <string_view>

class GXConBase;
class GXWindowMain;

// Thread: user-interface thread only.
// The control element names of skin.xml and what each one builds: one
// table, one line per control class.
class GXControlFactory {
public:
    enum class Kind {
        Control, // an ordinary control, built by create
        NestedWindow, // "SkinWindow": a nested skin window, built by the loader
        Accepted, // read and skipped ("Font" among the controls)
    };
    // How a failed Load is reported: "%s(%s)" with the element name, or the
    // control's own detail alone.
    enum class Detail { WithElementName, ControlOnly };
    using Create = std::unique_ptr<GXConBase> (*)(GXWindowMain& window);

    struct SEntry {
        std::string_view name;
        Kind kind;
        Detail detail;
        Create create;
    };

    // The entry of an element name (case-sensitive); null for an unknown one.
    [[nodiscard]] static const SEntry* Find(std::string_view elementName);
};
