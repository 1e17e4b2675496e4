#include "engine/stream/GIcecastStatus.h"

#include "engine/stream/IcecastText.h"

// Nothing in the engine throws: the page is read as events, whose values
// arrive typed, and a parse error is a value.
#define JSON_NOEXCEPTION
#include <nlohmann/json.hpp>

#include <algorithm>
#include <climits>
#include <cmath>
#include <optional>
#include <utility>

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

// A count given as decimal digits in a string; none for anything else.
std::optional<int> DigitsCount(const std::string& text)
{
    if (text.empty() || text.size() > 10)
        return std::nullopt;
    long long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return static_cast<int>(std::min<long long>(value, INT_MAX));
}

// The page as a stream of events: only the sources' five fields are kept,
// everything else passes by, so what the page costs is the page itself
// and the sources kept, however it is nested or repeated. Where a value
// sits is told by how many containers are open and which of them are
// icestats, its source list and a source.
class SourceReader final : public nlohmann::json_sax<Json> {
public:
    explicit SourceReader(std::vector<GIcecastStatus::SSource>& sources)
        : m_sources(sources)
    {
    }

    // True once the page held an "icestats" object.
    [[nodiscard]] bool FoundStats() const { return m_statsFound; }

    bool null() override { return Store(nullptr, std::nullopt); }
    bool boolean(bool) override { return Store(nullptr, std::nullopt); }
    bool number_integer(number_integer_t value) override
    {
        return Store(nullptr, static_cast<int>(std::clamp<number_integer_t>(value, 0, INT_MAX)));
    }
    bool number_unsigned(number_unsigned_t value) override
    {
        return Store(nullptr, static_cast<int>(std::min<number_unsigned_t>(value, INT_MAX)));
    }
    bool number_float(number_float_t value, const string_t&) override
    {
        if (!std::isfinite(value))
            return Store(nullptr, std::nullopt);
        return Store(nullptr, static_cast<int>(std::clamp(value, 0.0, static_cast<double>(INT_MAX))));
    }
    bool string(string_t& value) override { return Store(&value, DigitsCount(value)); }
    bool binary(binary_t&) override { return true; }

    bool start_object(std::size_t) override
    {
        switch (Where()) {
        case Place::Root:
            m_rootIsObject = true;
            break;
        case Place::Stats:
            m_statsFound = true;
            m_statsOpen = true;
            break;
        case Place::Sources:
        case Place::ListedSource:
            m_sourceDepth = m_depth + 1;
            m_current = {};
            break;
        case Place::Field:
            (void)Store(nullptr, std::nullopt);
            break;
        case Place::Elsewhere:
            break;
        }
        ++m_depth;
        return true;
    }

    bool key(string_t& name) override
    {
        m_key = Key::Other;
        for (const auto& [text, key] : kKeys)
            if (name == text)
                m_key = key;
        return true;
    }

    bool end_object() override
    {
        if (m_sourceDepth != 0 && m_depth == m_sourceDepth) {
            if (m_sources.size() < GIcecastStatus::kMaxSources)
                m_sources.push_back(std::move(m_current));
            m_sourceDepth = 0;
        } else if (m_depth == kStatsDepth && m_statsOpen) {
            m_statsOpen = false;
        }
        --m_depth;
        return true;
    }

    bool start_array(std::size_t) override
    {
        const Place place = Where();
        if (place == Place::Sources)
            m_listOpen = true;
        else if (place == Place::Field)
            (void)Store(nullptr, std::nullopt);
        ++m_depth;
        return true;
    }

    bool end_array() override
    {
        if (m_depth == kListDepth && m_listOpen)
            m_listOpen = false;
        --m_depth;
        return true;
    }

    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

private:
    enum class Key { Other, Icestats, Source, ListenUrl, ServerName, Title, Listeners, MaxListeners };
    static constexpr std::pair<std::string_view, Key> kKeys[] = {
        { "icestats", Key::Icestats },
        { "source", Key::Source },
        { "listenurl", Key::ListenUrl },
        { "server_name", Key::ServerName },
        { "title", Key::Title },
        { "listeners", Key::Listeners },
        { "max_listeners", Key::MaxListeners },
    };
    // Containers open inside icestats and inside its source list.
    static constexpr size_t kStatsDepth = 2;
    static constexpr size_t kListDepth = 3;

    // What the value starting now is to the page.
    enum class Place { Elsewhere, Root, Stats, Sources, ListedSource, Field };
    [[nodiscard]] Place Where() const
    {
        if (m_depth == 0)
            return Place::Root;
        if (m_depth == 1 && m_rootIsObject && m_key == Key::Icestats)
            return Place::Stats;
        if (m_depth == kStatsDepth && m_statsOpen && m_key == Key::Source)
            return Place::Sources;
        if (m_depth == kListDepth && m_listOpen)
            return Place::ListedSource;
        if (m_sourceDepth != 0 && m_depth == m_sourceDepth)
            return Place::Field;
        return Place::Elsewhere;
    }

    // A value of a source's field: text when it is a string, count when it
    // reads as one. Any other value leaves the field as a page without it
    // has it; the last of repeated fields counts.
    bool Store(const std::string* text, std::optional<int> count)
    {
        if (Where() != Place::Field)
            return true;
        switch (m_key) {
        case Key::ListenUrl:
            m_current.listenUrl = text ? KeptText(*text) : std::string();
            break;
        case Key::ServerName:
            m_current.serverName = text ? KeptText(*text) : std::string();
            break;
        case Key::Title:
            m_current.title = text ? KeptText(DecodeCharacterReferences(KeptText(*text))) : std::string();
            break;
        case Key::Listeners:
            m_current.listeners = count.value_or(0);
            break;
        case Key::MaxListeners:
            m_current.maxListeners = count.value_or(GIcecastStatus::kUnknownLimit);
            break;
        case Key::Other:
        case Key::Icestats:
        case Key::Source:
            break;
        }
        return true;
    }

    std::vector<GIcecastStatus::SSource>& m_sources;
    GIcecastStatus::SSource m_current;
    size_t m_depth = 0; // containers open
    Key m_key = Key::Other; // the last key read
    bool m_rootIsObject = false;
    bool m_statsFound = false;
    bool m_statsOpen = false;
    bool m_listOpen = false;
    size_t m_sourceDepth = 0; // m_depth directly inside the source being read; 0: none
};

} // namespace

bool GIcecastStatus::Parse(std::string_view json)
{
    m_sources.clear();
    if (json.size() > kMaxPageBytes)
        return false;
    SourceReader reader(m_sources);
    if (!Json::sax_parse(json.begin(), json.end(), &reader) || !reader.FoundStats()) {
        m_sources.clear();
        return false;
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
