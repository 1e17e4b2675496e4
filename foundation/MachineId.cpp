#include "foundation/MachineId.h"

#include "foundation/DebugTrace.h"
#include "platform/Uuid.h"

#include <cstdio>
#include <cstring>

namespace {

std::string Upper(std::string s)
{
    for (char& c : s) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return s;
}

} // namespace

std::string MacText(const platform::SAdapterRecord& adapter)
{
    std::string text;
    for (uint8_t b : adapter.address) {
        char two[3];
        std::snprintf(two, sizeof two, "%02X", b);
        text += two;
    }
    return text;
}

std::string ChooseMacAddress(const std::vector<platform::SAdapterRecord>& adapters)
{
    std::string wired, wireless, bluetooth;
    for (const auto& adapter : adapters) {
        std::string description = Upper(adapter.description);
        if (description.find("BLUETOOTH") != std::string::npos)
            bluetooth = MacText(adapter);
        else if (description.find("WIRELESS") != std::string::npos)
            wireless = MacText(adapter);
        else
            wired = MacText(adapter);
    }
    DebugTrace(
        "Mac adress - Normal : %s\nwireless : %s\nblue : %s", wired.c_str(), wireless.c_str(), bluetooth.c_str());
    if (!wired.empty())
        return wired;
    return !wireless.empty() ? wireless : bluetooth;
}

bool GetUuidNode(uint8_t node[6])
{
    uint8_t id[16];
    if (node == nullptr || !platform::NewTimeUuid(id))
        return false;
    std::memcpy(node, id + 10, 6);
    return true;
}

std::string GetMacAddress(const std::string& sysfsRoot)
{
    std::string result = ChooseMacAddress(platform::ListNetworkAdapters(sysfsRoot));
    uint8_t node[6];
    if (result.empty() && GetUuidNode(node)) {
        char text[13];
        std::snprintf(
            text, sizeof text, "%02X%02X%02X%02X%02X%02X", node[0], node[1], node[2], node[3], node[4], node[5]);
        result = text;
    }
    DebugTrace("Mac adress - %s", result.c_str());
    return result;
}
