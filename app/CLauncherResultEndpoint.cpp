#include "app/CLauncherResultEndpoint.h"

#include "app/UpdateCheck.h"

#include <QDir>

#include <charconv>

#include <unistd.h>

namespace {

constexpr std::string_view kMessageName = "WM_VDLAUNCHER_RESULT ";
// The longest line worth reading: the name, a sign, ten digits and "\r\n".
constexpr size_t kMaxLineBytes = 40;

} // namespace

CLauncherResultEndpoint::CLauncherResultEndpoint(platform::TargetHandle target)
    : m_target(target)
    // One byte past the longest line tells a line too long from one that
    // is not finished.
    , m_server({ kMaxPeers, kMaxLineBytes + 1, kPeerTimeoutMs },
          [this](std::string& pending, bool bEnded) { return OnLine(pending, bEnded); })
{
}

CLauncherResultEndpoint::~CLauncherResultEndpoint()
{
    m_server.Close();
}

QString CLauncherResultEndpoint::EndpointName(uint32_t number)
{
    return QStringLiteral("TavDJ-VdLauncher-%1").arg(number);
}

std::string CLauncherResultEndpoint::EndpointPath(uint32_t number)
{
    return (QDir::cleanPath(QDir::tempPath()) + u'/' + EndpointName(number)).toStdString();
}

bool CLauncherResultEndpoint::Listen()
{
    // The name holds our own process id: whatever is there was left by a
    // process that is gone, and listening replaces it.
    return m_server.Listen(EndpointPath(static_cast<uint32_t>(getpid())));
}

uint32_t CLauncherResultEndpoint::WindowNumber() const
{
    return m_server.IsListening() ? static_cast<uint32_t>(getpid()) : 0;
}

bool CLauncherResultEndpoint::ParseLine(std::string_view line, int* pCode)
{
    if (!line.empty() && line.back() == '\n')
        line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    if (!line.starts_with(kMessageName))
        return false;
    line.remove_prefix(kMessageName.size());
    if (line.empty() || line.front() == '+')
        return false;
    int code = 0;
    const auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), code);
    if (error != std::errc() || end != line.data() + line.size())
        return false;
    *pCode = code;
    return true;
}

CLocalServer::Verdict CLauncherResultEndpoint::OnLine(const std::string& pending, bool bEnded)
{
    // One line per connection; the line ends with its newline or with the
    // connection.
    const size_t newline = pending.find('\n');
    if (newline == std::string::npos && !bEnded && pending.size() <= kMaxLineBytes)
        return CLocalServer::Verdict::Wait;
    const std::string_view line
        = std::string_view(pending).substr(0, newline == std::string::npos ? newline : newline + 1);
    int code = 0;
    if (line.size() <= kMaxLineBytes && ParseLine(line, &code))
        platform::PostMessage(m_target, WmVdLauncherResult(), static_cast<platform::WParam>(code), 0);
    return CLocalServer::Verdict::Done;
}
