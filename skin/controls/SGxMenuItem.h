#pragma once

#include <string>
#include <vector>

// One entry of a pop-up menu a skin's button opens (MenuID, SubMenu). The
// program keeps its menus as tables of these, looked up by menu id: a menu
// is an item whose children are its pop-ups, and a pop-up's children are
// its entries.
struct SGxMenuItem {
    // UTF-8; an item without text and children is a separator.
    std::string text;
    // The command the choice sends; 0 for separators and pop-ups.
    int nCommandId = 0;
    std::vector<SGxMenuItem> children;
};
