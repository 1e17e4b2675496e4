#include "app/TitleText.h"

#include "engine/server/ServerProtocol.h"

std::string CutTitle(std::string_view title)
{
    return std::string(CutUtf8(title, kMaxTitleBytes));
}

std::string MakeAutoTitle(std::string_view playerTitle, std::string_view stationName)
{
    std::string title(playerTitle.empty() ? stationName : playerTitle);
    if (!title.ends_with(kAutoTitleMark))
        title += kAutoTitleMark;
    return CutTitle(title);
}

std::optional<std::string> NextAutoTitle(
    std::string_view playerTitle, std::string_view stationName, std::string_view currentTitle)
{
    std::string title = MakeAutoTitle(playerTitle, stationName);
    if (title == currentTitle)
        return std::nullopt;
    return title;
}

std::string BuildStatusText(std::string_view presenter, std::string_view title, bool bWithPresenter)
{
    std::string text;
    text.reserve(presenter.size() + title.size() + 3);
    if (bWithPresenter && !presenter.empty()) {
        text.push_back('[');
        text.append(presenter);
        text.append(std::string_view("] "));
    }
    text.append(title);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.pop_back();
    return text;
}
