#include "app/UpdateCheck.h"

#include "app/AppVersion.h"
#include "app/COption.h"
#include "app/MessageDlg.h"
#include "foundation/Ini.h"
#include "foundation/Paths.h"
#include "foundation/SystemInfo.h"
#include "foundation/XmlText.h"

#include <QCoreApplication>
#include <QProcess>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include <unistd.h>

namespace {

constexpr const char* kLauncherFile = "VdLauncher.exe";
constexpr const char* kLauncherIniFile = "VdLauncher.ini";
constexpr const char* kVersionFile = "VdVersion.ini";
constexpr const char* kCaption = "업데이트";

constexpr const char* kTextUpToDate = "현재 버전이 최신 버전입니다.";
constexpr const char* kTextRunFailed = "업데이트를 실행하는데 실패 하였습니다.\n\n"
                                       "홈페이지에서 설치 파일을 내려받아 다시 설치해 주십시오.";
constexpr const char* kTextNewVersion = "최신 버전이 확인 되었습니다. \n\n지금 업데이트 하시겠습니까?";
constexpr const char* kTextNewMinorVersion
    = "최신 버전(사소한 개선)이 확인 되었습니다. \n\n지금 업데이트 하시겠습니까?";
constexpr const char* kTextCheckFailed
    = "버전 확인을 실패 하였습니다. 현재 컴퓨터가 인터넷이 사용 가능한 상태가 아니거나, \n\n업데이트 장비에 "
      "문제가 있을 수 있습니다.\n\n강제로 최신 버전 업데이트를 시도해 보시겠습니까?";
constexpr const char* kNewVersionCaptions = "예,아니요,업데이트 설정";
constexpr const char* kTextTimeOut = "버전 체크 실패 - 타임 아웃";
constexpr const char* kTextNoExitCode = "GetExitCodeProcess fail";

// How far from the launcher's last check the start-up check stays quiet.
constexpr int64_t kStartupQuietSeconds = 21600;

std::string FailedWithCodeText(int code)
{
    return "버전 확인을 실패 하였습니다. - 코드 : " + std::to_string(code)
        + "\n\n강제로 최신 버전 업데이트를 시도해 보시겠습니까?";
}

std::string NotStartedText(int error, const std::string& launcher, const std::string& param)
{
    char code[16];
    std::snprintf(code, sizeof code, "0x%x", static_cast<unsigned>(error));
    return std::string("버전 체크 프로그램 실행을 실패 하였습니다. 에러코드 : ") + code + "\n\n\"" + launcher + "\"/"
        + param;
}

std::string VersionFilePath()
{
    return JoinPath(GetAppDataFolder(), kVersionFile);
}

// The check form begins with a blank and has two blanks after the command;
// the launcher is known to read exactly this.
std::string CheckVersionParameter(const LauncherCheck& check)
{
    std::string param = " <VDLAUNCHER_PARAM Command='checkversion'  AgentName='" + GetLauncherAgentName()
        + "' ProgramID='TAVDJ' ForceCheck='" + (check.bForceCheck ? "1" : "0") + "' CheckMinorVersion='"
        + (check.bCheckMinor ? "1" : "0") + "' LocalVersionFilePath='" + XmlEscape(VersionFilePath()) + "'";
    if (check.nReturnWindow != 0)
        param += " RetWindowHandle='" + std::to_string(check.nReturnWindow) + "'";
    return param + " />";
}

std::string RunParameter(const std::string& command, int checkMinor)
{
    return "<VDLAUNCHER_PARAM Command='" + command + "'  AgentName='" + GetLauncherAgentName()
        + "' ProgramID='TAVDJ' SilentMessage='1' AutoInstall='0' CheckMinorVersion='" + std::to_string(checkMinor)
        + "' LocalVersionFilePath='" + XmlEscape(VersionFilePath()) + "' />";
}

// Why a launcher did not start, as the system's error number.
int NotStartedError(const std::string& launcher)
{
    if (access(launcher.c_str(), X_OK) != 0)
        return errno;
    // It is there and may be run, so the system refused its contents.
    return ENOEXEC;
}

void ShowUnlessSilent(QWidget* pOwner, bool bSilent, const std::string& text)
{
    if (!bSilent)
        MessageDlg(pOwner, text, kCaption, kMbOk);
}

// A launcher that outlasts our wait goes on with its work; it is reaped
// whenever it ends.
void LetRunOn(std::unique_ptr<QProcess> pProcess)
{
    QProcess* pRunning = pProcess.release();
    pRunning->setParent(QCoreApplication::instance());
    QObject::connect(pRunning, &QProcess::finished, pRunning, &QObject::deleteLater);
}

void CopyReplacing(const std::string& from, const std::string& to)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    // The application-data folder may be the program folder itself.
    if (fs::equivalent(from, to, ec))
        return;
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
}

int64_t ReadLastUpdateTime()
{
    const std::string text = IniGetString("GENERAL", "LASTUPDATETIME", VersionFilePath(), "0");
    size_t start = text.find_first_not_of(" \t");
    if (start == std::string::npos)
        return 0;
    if (text[start] == '+')
        ++start;
    int64_t value = 0;
    std::from_chars(text.data() + start, text.data() + text.size(), value);
    return value;
}

} // namespace

platform::MessageId WmVdLauncherResult()
{
    static const platform::MessageId id = platform::RegisterMessage("WM_VDLAUNCHER_RESULT");
    return id;
}

std::string GetLauncherAgentName()
{
    return std::string("TavDJ ") + kAppVersionText;
}

int RunLauncherCheckVersion(QWidget* pOwner, const LauncherCheck& check)
{
    const std::string launcher = JoinPath(GetModuleFolder(), kLauncherFile);
    const std::string param = CheckVersionParameter(check);
    const QString program = QString::fromStdString(launcher);
    const QStringList arguments { QString::fromStdString(param) };

    if (check.bAsynchronous) {
        if (QProcess::startDetached(program, arguments))
            return 1;
        ShowUnlessSilent(pOwner, check.bSilent, NotStartedText(NotStartedError(launcher), launcher, param));
        return 0;
    }

    auto pProcess = std::make_unique<QProcess>();
    pProcess->setProgram(program);
    pProcess->setArguments(arguments);
    pProcess->setStandardInputFile(QProcess::nullDevice());
    pProcess->setStandardOutputFile(QProcess::nullDevice());
    pProcess->setStandardErrorFile(QProcess::nullDevice());
    pProcess->start();
    if (!pProcess->waitForStarted()) {
        ShowUnlessSilent(pOwner, check.bSilent, NotStartedText(NotStartedError(launcher), launcher, param));
        return 0;
    }
    if (!pProcess->waitForFinished(check.nWaitMs)) {
        LetRunOn(std::move(pProcess));
        ShowUnlessSilent(pOwner, check.bSilent, kTextTimeOut);
        return 0;
    }
    // A launcher killed by a signal left no exit code to read.
    if (pProcess->exitStatus() != QProcess::NormalExit) {
        ShowUnlessSilent(pOwner, check.bSilent, kTextNoExitCode);
        return 0;
    }
    return HandleLauncherResult(pOwner, pProcess->exitCode(), check.bSilent);
}

int HandleLauncherResult(QWidget* pOwner, int code, bool bSilent)
{
    if (code == kLauncherUpToDate) {
        ShowUnlessSilent(pOwner, bSilent, kTextUpToDate);
        return 0;
    }

    // A new version is worth a question even in a silent check; a failed
    // check is only offered a forced update when someone is watching.
    std::string text;
    int type = kMbYesNo;
    MessageDlgExtras extras;
    bool bAlwaysAsk = false;
    int checkMinor = 0;
    switch (code) {
    case kLauncherCheckFailed:
        text = kTextCheckFailed;
        break;
    case kLauncherNewVersion:
    case kLauncherNewVersionToo:
        text = std::string(kCaption) + " " + kTextNewVersion;
        type = kMbYesNoCancel;
        extras.captions = kNewVersionCaptions;
        bAlwaysAsk = true;
        break;
    case kLauncherNewMinorVersion:
        text = std::string(kCaption) + " " + kTextNewMinorVersion;
        bAlwaysAsk = true;
        checkMinor = 1;
        break;
    default:
        text = FailedWithCodeText(code);
        break;
    }
    if (bSilent && !bAlwaysAsk)
        return 0;

    const int flags = extras.captions.empty() ? 0 : kMdCustomCaptions;
    if (MessageDlg(pOwner, text, kCaption, type, flags, extras) != kIdYes)
        return 0;
    if (RunLauncherCommand("run", checkMinor))
        return 1;
    MessageDlg(pOwner, kTextRunFailed, kCaption, kMbOk);
    return 0;
}

bool RunLauncherCommand(const std::string& command, int checkMinor)
{
    const std::string programFolder = GetModuleFolder();
    const std::string dataFolder = GetAppDataFolder();
    // The launcher may replace the program folder's files, its own among
    // them, so the copy in the data folder is what runs.
    CopyReplacing(JoinPath(programFolder, kLauncherFile), JoinPath(dataFolder, kLauncherFile));
    CopyReplacing(JoinPath(programFolder, kLauncherIniFile), JoinPath(dataFolder, kLauncherIniFile));
    const std::string param = RunParameter(command, checkMinor);
    return QProcess::startDetached(
        QString::fromStdString(JoinPath(dataFolder, kLauncherFile)), { QString::fromStdString(param) });
}

int CheckUpdateAtStartup(QWidget* pOwner, uint32_t nReturnWindow, const COption& option, int64_t nowSeconds)
{
    // The sums are on our own clock's side: the file may hold any number.
    const int64_t last = ReadLastUpdateTime();
    if (last >= nowSeconds - kStartupQuietSeconds && last <= nowSeconds + kStartupQuietSeconds)
        return 0;
    if (!option.m_bUpdateAllowAutoCheck || !IsInternetConnected())
        return 0;

    LauncherCheck check;
    check.bSilent = true;
    check.bAsynchronous = true;
    if (option.m_bUpdateNoticeImportant && GetUserGroupLevel() >= 2) {
        check.nReturnWindow = nReturnWindow;
        check.bCheckMinor = option.m_bUpdateNoticeMinor;
    }
    return RunLauncherCheckVersion(pOwner, check);
}
