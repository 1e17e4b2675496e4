#include "skin/GXControlFactory.h"

#include "skin/GXWindowMain.h"
#include "skin/controls/GXConBrowser.h"
#include "skin/controls/GXConButton.h"
#include "skin/controls/GXConFlash.h"
#include "skin/controls/GXConListBox.h"
#include "skin/controls/GXConMarquee.h"
#include "skin/controls/GXConPopupMenuButton.h"
#include "skin/controls/GXConRgn.h"
#include "skin/controls/GXConSlider.h"
#include "skin/controls/GXConSplitter.h"
#include "skin/controls/GXConStatic.h"
#include "skin/controls/GXConStaticFade.h"
#include "skin/controls/GXConWindow.h"
#include "skin/controls/GXConXSplitter.h"

#include <array>

namespace {

template <class T> std::unique_ptr<GXConBase> Make(GXWindowMain& window)
{
    return std::make_unique<T>(&window);
}

using Kind = GXControlFactory::Kind;
using Detail = GXControlFactory::Detail;

const std::array kEntries {
    GXControlFactory::SEntry { "StaticControl", Kind::Control, Detail::WithElementName, &Make<GXConStatic> },
    GXControlFactory::SEntry { "StaticFadeControl", Kind::Control, Detail::WithElementName, &Make<GXConStaticFade> },
    GXControlFactory::SEntry { "SplitterControl", Kind::Control, Detail::WithElementName, &Make<GXConSplitter> },
    GXControlFactory::SEntry { "ButtonControl", Kind::Control, Detail::WithElementName, &Make<GXConButton> },
    GXControlFactory::SEntry {
        "PopupMenuButtonControl", Kind::Control, Detail::WithElementName, &Make<GXConPopupMenuButton> },
    GXControlFactory::SEntry { "SliderControl", Kind::Control, Detail::WithElementName, &Make<GXConSlider> },
    GXControlFactory::SEntry { "WindowControl", Kind::Control, Detail::WithElementName, &Make<GXConWindow> },
    GXControlFactory::SEntry { "SkinWindow", Kind::NestedWindow, Detail::WithElementName, nullptr },
    GXControlFactory::SEntry { "ListBoxControl", Kind::Control, Detail::ControlOnly, &Make<GXConListBox> },
    GXControlFactory::SEntry { "MarqueeControl", Kind::Control, Detail::ControlOnly, &Make<GXConMarquee> },
    GXControlFactory::SEntry { "Font", Kind::Accepted, Detail::ControlOnly, nullptr },
    GXControlFactory::SEntry { "Rgn", Kind::Control, Detail::ControlOnly, &Make<GXConRgn> },
    GXControlFactory::SEntry { "XSplitterControl", Kind::Control, Detail::ControlOnly, &Make<GXConXSplitter> },
    GXControlFactory::SEntry { "BrowserControl", Kind::Control, Detail::ControlOnly, &Make<GXConBrowser> },
    GXControlFactory::SEntry { "FlashControl", Kind::Control, Detail::ControlOnly, &Make<GXConFlash> },
};

} // namespace

const GXControlFactory::SEntry* GXControlFactory::Find(std::string_view elementName)
{
    for (const SEntry& entry : kEntries) {
        if (entry.name == elementName)
            return &entry;
    }
    return nullptr;
}
