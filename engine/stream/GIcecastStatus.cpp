#include "engine/stream/GIcecastStatus.h"

#include "engine/stream/IcecastText.h"

// Nothing in the engine throws: a value of an unexpected type is read
// through the checked accessors below, and a parse error is a value.
#define JSON_NOEXCEPTION
#include <nlohmann/json.hpp>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

using Json = nlohmann::json;

bool IsUtf8Continuation(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// At most kMaxTextBytes, never ending inside a character; control
// characters become blanks, so the text stays one line wherever it goes.
std::string KeptText(std::string_view text)
{
    if (text.size() > GIcecastStatus::kMaxTextBytes) {
        size_t cut = GIcecastStatus::kMaxTextBytes;
        while (cut > 0 && IsUtf8Continuation(text[cut]))
            --cut;
        text = text.substr(0, cut);
    }
    std::string kept(text);
    for (char& c : kept) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F)
            c = ' ';
    }
    return kept;
}

std::string TextField(const Json& source, const char* name)
{
    const auto it = source.find(name);
    if (it == source.end() || !it->is_string())
        return {};
    return KeptText(it->get_ref<const Json::string_t&>());
}

// A count as a number or as decimal digits in a string; fallback for
// anything else. Saturated to 0 … INT_MAX.
int CountField(const Json& source, const char* name, int fallback)
{
    const auto it = source.find(name);
    if (it == source.end())
        return fallback;
    if (it->is_number_unsigned())
        return static_cast<int>(std::min<Json::number_unsigned_t>(it->get<Json::number_unsigned_t>(), INT_MAX));
    if (it->is_number_integer())
        return static_cast<int>(std::clamp<Json::number_integer_t>(it->get<Json::number_integer_t>(), 0, INT_MAX));
    if (it->is_number_float()) {
        const double value = it->get<Json::number_float_t>();
        return std::isfinite(value) ? static_cast<int>(std::clamp(value, 0.0, static_cast<double>(INT_MAX))) : fallback;
    }
    if (!it->is_string())
        return fallback;
    const std::string& text = it->get_ref<const Json::string_t&>();
    if (text.empty() || text.size() > 10)
        return fallback;
    long long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return fallback;
        value = value * 10 + (c - '0');
    }
    return static_cast<int>(std::min<long long>(value, INT_MAX));
}

} // namespace

bool GIcecastStatus::Parse(std::string_view json)
{
    m_sources.clear();
    const Json root = Json::parse(json.begin(), json.end(), nullptr, false);
    if (root.is_discarded() || !root.is_object())
        return false;
    const auto stats = root.find("icestats");
    if (stats == root.end() || !stats->is_object())
        return false;
    const auto found = stats->find("source");
    if (found == stats->end())
        return true;
    const auto add = [this](const Json& source) {
        if (!source.is_object() || m_sources.size() >= kMaxSources)
            return;
        SSource kept;
        kept.listenUrl = TextField(source, "listenurl");
        kept.serverName = TextField(source, "server_name");
        kept.title = KeptText(DecodeCharacterReferences(TextField(source, "title")));
        kept.listeners = CountField(source, "listeners", 0);
        kept.maxListeners = CountField(source, "max_listeners", kUnknownLimit);
        m_sources.push_back(std::move(kept));
    };
    if (found->is_array()) {
        for (const Json& source : *found)
            add(source);
    } else {
        add(*found);
    }
    return true;
}

const GIcecastStatus::SSource* GIcecastStatus::ForMount(std::string_view mount) const
{
    for (const SSource& source : m_sources)
        if (ListenUrlIsMount(source.listenUrl, mount))
            return &source;
    return nullptr;
}

const GIcecastStatus::SSource* GIcecastStatus::ForStation(std::string_view stationName) const
{
    if (m_sources.size() == 1)
        return &m_sources.front();
    const std::string asLatin1 = Latin1AsUtf8(stationName);
    for (const SSource& source : m_sources)
        if (source.serverName == stationName || source.serverName == asLatin1)
            return &source;
    return nullptr;
}
