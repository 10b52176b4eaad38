#include "app/DaemonHost.h"

namespace vistrel {

DaemonHost::DaemonHost(std::FILE* out, std::function<std::time_t()> clock)
    : m_out(out), m_clock(std::move(clock))
{
}

std::string DaemonHost::FormatLine(std::time_t when, const std::string& kind,
                                   const std::string& text)
{
    std::tm local{};
    localtime_r(&when, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    std::string line = std::string(stamp) + " " + kind + ": ";
    // One entry, one line: FTP replies end in a line feed, some texts hold several lines.
    std::string body = text;
    while (!body.empty() && (body.back() == '\n' || body.back() == '\r'))
        body.pop_back();
    for (char c : body) {
        if (c == '\n')
            line += " / ";
        else if (c != '\r')
            line += c;
    }
    return line + "\n";
}

void DaemonHost::Log(const std::string& kind, const std::string& text)
{
    const std::string line = FormatLine(m_clock(), kind, text);
    std::lock_guard lock(m_mutex);
    std::fputs(line.c_str(), m_out);
    std::fflush(m_out);
}

void DaemonHost::Attach(Hub& hub)
{
    QObject::connect(&hub, &Hub::statusChanged, &hub,
                     [this](const QString& text) { Log("status", text.toStdString()); });
    QObject::connect(&hub, &Hub::driverInfoChanged, &hub,
                     [this](const QString& text) { Log("device", text.toStdString()); });
}

bool DaemonHost::askYesNo(const std::string& question)
{
    Log("question", question + " (answered No: no one is there to answer)");
    return false;
}

void DaemonHost::message(const std::string& text, PromptIcon icon)
{
    Log(icon == PromptIcon::Stop ? "error" : "message", text);
}

void DaemonHost::OpenHelpTopic(int context)
{
    Log("message", "help topic " + std::to_string(context) +
                       " would open here; see the README for the settings file");
}

bool DaemonHost::RunSettingsSheet()
{
    Log("message", "the settings sheet needs the desktop program; running with the settings "
                   "file as it is");
    return false;
}

} // namespace vistrel
