#include "platform/NetworkAdapters.h"

#include "platform/Files.h"
#include "platform/TextCase.h"

#include <algorithm>
#include <cstdlib>

#include <dirent.h>
#include <unistd.h>

namespace platform {
namespace {

// A host has a handful of interfaces; the bound keeps a strange tree cheap.
constexpr size_t kMaxInterfaces = 256;
constexpr size_t kMaxAttributeBytes = 4096;

std::string ReadAttribute(const std::string& path)
{
    std::string text;
    if (!ReadWholeFile(path, kMaxAttributeBytes, &text))
        return {};
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

// "02:fc:00:00:00:01" -> bytes; empty for anything else.
std::vector<uint8_t> ParseAddress(const std::string& text)
{
    std::vector<uint8_t> bytes;
    size_t i = 0;
    while (bytes.size() < 32 && i + 2 <= text.size()) {
        int hi = AsciiHexValue(text[i]), lo = AsciiHexValue(text[i + 1]);
        if (hi < 0 || lo < 0)
            return {};
        bytes.push_back(static_cast<uint8_t>(hi * 16 + lo));
        i += 2;
        if (i == text.size())
            return bytes;
        if (text[i] != ':')
            return {};
        ++i;
    }
    return {};
}

bool Exists(const std::string& path)
{
    return access(path.c_str(), F_OK) == 0;
}

std::string Describe(const std::string& dir, const std::string& name)
{
    std::string uevent = ReadAttribute(dir + "/uevent");
    if (uevent.find("DEVTYPE=bluetooth") != std::string::npos || name.compare(0, 4, "bnep") == 0)
        return "Bluetooth " + name;
    if (uevent.find("DEVTYPE=wlan") != std::string::npos || Exists(dir + "/wireless") || Exists(dir + "/phy80211"))
        return "Wireless " + name;
    return "Wired " + name;
}

struct Candidate {
    long index = 0;
    bool hasDevice = false;
    SAdapterRecord record;
};

} // namespace

std::vector<SAdapterRecord> ListNetworkAdapters(const std::string& sysfsRoot)
{
    std::string base = sysfsRoot + "/class/net";
    std::vector<Candidate> found;
    DIR* dir = opendir(base.c_str());
    if (dir == nullptr)
        return {};
    while (struct dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name == "." || name == ".." || name == "lo" || found.size() >= kMaxInterfaces)
            continue;
        std::string path = base + "/" + name;
        constexpr const char* kRandomAddress = "1";
        if (ReadAttribute(path + "/addr_assign_type") == kRandomAddress)
            continue;
        constexpr const char* kLoopbackType = "772";
        if (ReadAttribute(path + "/type") == kLoopbackType)
            continue;
        Candidate c;
        c.record.address = ParseAddress(ReadAttribute(path + "/address"));
        if (std::all_of(c.record.address.begin(), c.record.address.end(), [](uint8_t b) { return b == 0; }))
            continue;
        c.index = std::strtol(ReadAttribute(path + "/ifindex").c_str(), nullptr, 10);
        c.hasDevice = Exists(path + "/device");
        c.record.name = name;
        c.record.description = Describe(path, name);
        found.push_back(std::move(c));
    }
    closedir(dir);

    bool anyDevice = std::any_of(found.begin(), found.end(), [](const Candidate& c) { return c.hasDevice; });
    if (anyDevice)
        std::erase_if(found, [](const Candidate& c) { return !c.hasDevice; });
    std::sort(found.begin(), found.end(), [](const Candidate& a, const Candidate& b) {
        return a.index != b.index ? a.index < b.index : a.record.name < b.record.name;
    });
    std::vector<SAdapterRecord> records;
    for (Candidate& c : found)
        records.push_back(std::move(c.record));
    return records;
}

} // namespace platform
