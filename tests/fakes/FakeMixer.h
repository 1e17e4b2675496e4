#pragma once

#include "platform/Mixer.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

// A scripted sound card for the mixer model: the test builds destinations,
// sources and controls, then reads and sets the values the model wrote.
// Values are stored as the layer lays them out: channel by channel, item by
// item within a channel.
struct FakeMixerControl {
    platform::MixerControlInfo info;
    int channels = 1; // stored channels: 1 for a uniform control
    std::vector<int32_t> values;
    std::vector<std::string> itemNames;
    int writes = 0;
};

struct FakeMixerLine {
    platform::MixerLineInfo info;
    std::vector<FakeMixerControl> controls;
};

struct FakeMixerDestination {
    FakeMixerLine line;
    std::vector<FakeMixerLine> sources;
};

class FakeMixerCard {
public:
    explicit FakeMixerCard(std::string productName)
        : product(std::move(productName))
    {
    }

    int AddDestination(uint32_t type, const std::string& name, int channels)
    {
        FakeMixerDestination dest;
        dest.line.info = { LineId(int(destinations.size()), -1), type, channels, 0, name };
        destinations.push_back(std::move(dest));
        return int(destinations.size()) - 1;
    }

    int AddSource(int dest, uint32_t type, const std::string& name, int channels)
    {
        auto& d = destinations[size_t(dest)];
        FakeMixerLine line;
        line.info = { LineId(dest, int(d.sources.size())), type, channels, 0, name };
        d.sources.push_back(std::move(line));
        d.line.info.connections = int(d.sources.size());
        return int(d.sources.size()) - 1;
    }

    // source -1 is the destination itself. values: one per stored channel.
    FakeMixerControl& AddControl(int dest, int source, uint32_t type, int32_t maximum, bool uniform,
        std::vector<std::string> items = {}, int steps = 0)
    {
        FakeMixerLine& line = Line(dest, source);
        FakeMixerControl control;
        int itemCount = int(items.size());
        control.info = { nextControlId++, type, uniform, itemCount, 0, maximum, steps ? steps : std::max(maximum, 1),
            line.info.name + " control" };
        control.channels = uniform ? 1 : line.info.channels;
        control.values.assign(size_t(control.channels) * size_t(std::max(itemCount, 1)), 0);
        control.itemNames = std::move(items);
        line.controls.push_back(std::move(control));
        return line.controls.back();
    }

    FakeMixerLine& Line(int dest, int source)
    {
        auto& d = destinations[size_t(dest)];
        return source < 0 ? d.line : d.sources[size_t(source)];
    }

    // The first control of that type on the line.
    FakeMixerControl* Control(int dest, int source, uint32_t type)
    {
        for (auto& control : Line(dest, source).controls) {
            if (control.info.type == type)
                return &control;
        }
        return nullptr;
    }

    FakeMixerControl* FindControl(uint32_t id)
    {
        for (auto& d : destinations) {
            for (auto& c : d.line.controls)
                if (c.info.controlId == id)
                    return &c;
            for (auto& s : d.sources)
                for (auto& c : s.controls)
                    if (c.info.controlId == id)
                        return &c;
        }
        return nullptr;
    }

    FakeMixerLine* FindLine(uint32_t lineId)
    {
        int dest = int(lineId >> 8) - 1;
        int source = int(lineId & 0xFF) - 1;
        if (dest < 0 || dest >= int(destinations.size()))
            return nullptr;
        if (source >= int(destinations[size_t(dest)].sources.size()))
            return nullptr;
        return &Line(dest, source);
    }

    static uint32_t LineId(int dest, int source) { return uint32_t(dest + 1) << 8 | uint32_t(source + 1); }

    std::string product;
    std::vector<FakeMixerDestination> destinations;
    uint32_t nextControlId = 1;
};

class FakeMixerDevice final : public platform::MixerDevice {
public:
    explicit FakeMixerDevice(std::shared_ptr<FakeMixerCard> card, int* pCloses = nullptr)
        : m_card(std::move(card))
        , m_pCloses(pCloses)
    {
    }
    ~FakeMixerDevice() override
    {
        if (m_pCloses)
            ++*m_pCloses;
    }
    FakeMixerDevice(const FakeMixerDevice&) = delete;
    FakeMixerDevice& operator=(const FakeMixerDevice&) = delete;

    std::string ProductName() override { return m_card->product; }
    int DestinationCount() override { return int(m_card->destinations.size()); }

    bool GetDestination(int dest, platform::MixerLineInfo* pLine) override
    {
        if (dest < 0 || dest >= DestinationCount())
            return false;
        *pLine = m_card->destinations[size_t(dest)].line.info;
        return true;
    }

    bool GetSource(int dest, int source, platform::MixerLineInfo* pLine) override
    {
        if (dest < 0 || dest >= DestinationCount() || source < 0
            || source >= int(m_card->destinations[size_t(dest)].sources.size()))
            return false;
        *pLine = m_card->destinations[size_t(dest)].sources[size_t(source)].info;
        return true;
    }

    bool GetLineControls(uint32_t lineId, std::vector<platform::MixerControlInfo>* pControls) override
    {
        FakeMixerLine* line = m_card->FindLine(lineId);
        if (!line)
            return false;
        pControls->clear();
        for (auto& control : line->controls)
            pControls->push_back(control.info);
        return true;
    }

    bool GetValues(uint32_t id, int channels, int items, std::vector<int32_t>* pValues) override
    {
        FakeMixerControl* control = m_card->FindControl(id);
        int stored = control ? std::max(control->info.items, 1) : 0;
        if (!control || std::max(items, 1) != stored || channels < 1)
            return false;
        if (channels == control->channels) {
            *pValues = control->values;
            return true;
        }
        if (channels != 1) {
            if (control->channels != 1)
                return false;
            pValues->clear();
            for (int c = 0; c < channels; ++c)
                pValues->insert(pValues->end(), control->values.begin(), control->values.end());
            return true;
        }
        // One channel read from several: the loudest, and muted only when all are.
        bool mute = control->info.type == platform::mixer::kCtlMute;
        pValues->assign(size_t(stored), mute ? 1 : 0);
        for (int c = 0; c < control->channels; ++c) {
            for (int i = 0; i < stored; ++i) {
                int32_t v = control->values[size_t(c * stored + i)];
                (*pValues)[size_t(i)] = mute ? std::min((*pValues)[size_t(i)], v) : std::max((*pValues)[size_t(i)], v);
            }
        }
        return true;
    }

    bool SetValues(uint32_t id, int channels, int items, const std::vector<int32_t>& values) override
    {
        FakeMixerControl* control = m_card->FindControl(id);
        int stored = control ? std::max(control->info.items, 1) : 0;
        if (!control || std::max(items, 1) != stored || channels < 1
            || values.size() != size_t(channels) * size_t(stored))
            return false;
        if (channels != control->channels && channels != 1)
            return false;
        for (int c = 0; c < control->channels; ++c) {
            for (int i = 0; i < stored; ++i)
                control->values[size_t(c * stored + i)] = values[size_t((channels == 1 ? 0 : c) * stored + i)];
        }
        ++control->writes;
        return true;
    }

    bool GetItemNames(uint32_t id, std::vector<std::string>* pNames) override
    {
        FakeMixerControl* control = m_card->FindControl(id);
        if (!control || control->itemNames.empty())
            return false;
        *pNames = control->itemNames;
        return true;
    }

private:
    std::shared_ptr<FakeMixerCard> m_card;
    int* m_pCloses;
};

class FakeMixerSystem final : public platform::MixerSystem {
public:
    FakeMixerCard& AddCard(const std::string& product)
    {
        cards.push_back(std::make_shared<FakeMixerCard>(product));
        return *cards.back();
    }

    int MixerCount() override { return int(cards.size()); }

    int MixerOfWaveOut(int device) override { return device >= 0 && device < MixerCount() ? device : -1; }
    int MixerOfWaveIn(int device) override { return MixerOfWaveOut(device); }

    // The handles open now; opens and closes count every handle ever made.
    [[nodiscard]] int OpenHandles() const { return opens - closes; }

    std::vector<std::shared_ptr<FakeMixerCard>> cards;
    int opens = 0;
    int closes = 0;

protected:
    std::unique_ptr<platform::MixerDevice> OpenDevice(int id) override
    {
        if (id < 0 || id >= MixerCount())
            return nullptr;
        ++opens;
        return std::make_unique<FakeMixerDevice>(cards[size_t(id)], &closes);
    }
};
