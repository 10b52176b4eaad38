#include "ftp/FtpSession.h"

#include "ftp/LogOnTable.h"
#include "ftp/TlsConnection.h"

#include <optional>

namespace vistrel {

CFtpSession::CFtpSession() = default;

// The control connection closes a connection still open; no QUIT is sent.
CFtpSession::~CFtpSession() = default;

bool CFtpSession::SetPassive(bool passive)
{
    const bool old = m_bPassive;
    m_bPassive = passive;
    return old;
}

bool CFtpSession::RefuseLineBreaks(std::initializer_list<const std::string*> values)
{
    for (const std::string* v : values) {
        if (HasLineBreak(*v)) {
            m_control.Fail(FtpFailure::Settings, ftptext::kLineBreak);
            return true;
        }
    }
    return false;
}

bool CFtpSession::Connect(const std::string& host, int port)
{
    m_control.SetTimeout(m_nTimeout);
    return m_control.Connect(host, port);
}

bool CFtpSession::AttachControl(int handle)
{
    m_control.SetTimeout(m_nTimeout);
    return m_control.Attach(handle);
}

bool CFtpSession::Expect(const std::string& text, int wantedClass)
{
    if (!(text.empty() ? m_control.Read() : m_control.Exchange(text)))
        return false;
    return m_control.ReplyClass() == wantedClass || m_control.Refused();
}

bool CFtpSession::Command(const std::string& text)
{
    return Expect(text, 2);
}

bool CFtpSession::ReadPreliminary()
{
    return Expect({}, 1);
}

bool CFtpSession::LogOn(const FtpConnection& c)
{
    SetTimeout(c.timeout);
    SetPassive(c.passive);
    SetSecurity(c.security);
    return LogOn(c.host, c.port, c.user, c.password, "", c.proxyHost, c.proxyUser, c.proxyPassword,
                 c.proxyPort, c.logonType);
}

bool CFtpSession::LogOn(const std::string& host, int port, const std::string& user,
                        const std::string& password, const std::string& account,
                        const std::string& proxyHost, const std::string& proxyUser,
                        const std::string& proxyPassword, int proxyPort, int logonType)
{
    m_strConnectCause.clear();
    const std::span<const int> row = LogOnSequence(logonType);
    if (row.empty())
        return m_control.Fail(FtpFailure::Settings, ftptext::kProxyType);
    if (RefuseLineBreaks(
            {&host, &user, &password, &account, &proxyHost, &proxyUser, &proxyPassword}))
        return false;
    std::optional<Sha256Digest> pin;
    if (!SecurityUsable(logonType, pin))
        return false;
    const int security = m_security.security;
    const bool tls = security != static_cast<int>(FtpSecurity::None);

    const bool direct = logonType == 0;
    const std::string& to = direct ? host : proxyHost;
    const int toPort = direct ? port : proxyPort;
    if (!Connect(to, toPort)) {
        m_strConnectCause =
            DescribeConnectFailure(m_control.Socket().Failure(), to, toPort, m_nTimeout);
        return false;
    }
    m_pTls.reset();
    if (tls) {
        m_pTls = std::make_unique<CTlsContext>();
        std::string error;
        if (!m_pTls->Init(HostWithoutBrackets(host), m_security.verifyCertificate, pin, &error))
            return m_control.Fail(FtpFailure::Tls, error);
        if (security == static_cast<int>(FtpSecurity::Implicit) && !SecureControl())
            return false;
    }
    if (!Command({}))
        return false;
    if (security == static_cast<int>(FtpSecurity::Explicit) &&
        (!Command("AUTH TLS") || !SecureControl()))
        return false; // a refusal leaves the server's reply; nothing else was sent

    return RunLogOnSequence(row, {host, port, user, password, account, proxyUser, proxyPassword});
}

bool CFtpSession::SecurityUsable(int logonType, std::optional<Sha256Digest>& pin)
{
    const auto refuse = [this](std::string text) {
        return m_control.Fail(FtpFailure::Settings, std::move(text));
    };
    if (!m_security.refusal.empty())
        return refuse(m_security.refusal);
    const int security = m_security.security;
    if (security < 0 || security > static_cast<int>(FtpSecurity::Implicit))
        return refuse(ftptext::kSecurityValue);
    const bool tls = security != static_cast<int>(FtpSecurity::None);
    if (tls && !m_security.fingerprint.empty()) {
        pin.emplace();
        if (!ParseFingerprint(m_security.fingerprint, *pin))
            return refuse(ftptext::kFingerprint);
    }
    if (tls && logonType != 0)
        return refuse(ftptext::kProxyTls);
    return true;
}

bool CFtpSession::RunLogOnSequence(std::span<const int> row, const LogOnValues& values)
{
    const bool tls = m_pTls != nullptr;
    int step = 0;
    while (step >= 0 && static_cast<size_t>(step) + 2 < row.size()) {
        if (!m_control.Exchange(LogOnCommand(row[step], values)))
            return false;
        int next;
        if (m_control.ReplyClass() == 2)
            next = row[step + 1];
        else if (m_control.ReplyClass() == 3)
            next = row[step + 2];
        else
            return m_control.Refused();
        if (next == kLogOnDone)
            return !tls || ProtectData();
        if (next == kLogOnFail)
            break;
        step = next;
    }
    return m_control.Fail(FtpFailure::Refused, ftptext::kLogonFailed);
}

bool CFtpSession::SecureControl()
{
    const CTimedSocket::TlsResult r = m_control.StartTls(*m_pTls);
    const CTlsConnection* tls = m_control.Socket().Tls();
    const std::string certificate = tls ? tls->CertificateSummary() : std::string();
    if (!certificate.empty())
        m_control.Log("Certificate: " + certificate);
    if (r != CTimedSocket::TlsResult::Done) {
        if (r == CTimedSocket::TlsResult::TimedOut)
            m_control.Fail(FtpFailure::Tls, ftptext::kTlsTimedOut);
        else
            m_control.Fail(FtpFailure::Tls, m_control.Socket().TlsError());
        m_control.Log(Message());
        return false;
    }
    m_control.Log("TLS: " + tls->Description());
    if (CertificateUnchecked(m_security))
        m_control.Log(ftptext::kNotVerified);
    return true;
}

bool CFtpSession::ProtectData()
{
    return Command("PBSZ 0") && Command("PROT P");
}

bool CFtpSession::ChangeDir(const std::string& dir)
{
    if (RefuseLineBreaks({&dir}))
        return false;
    return Command("CWD " + dir);
}

bool CFtpSession::MakeDir(const std::string& name)
{
    if (RefuseLineBreaks({&name}))
        return false;
    return Command("MKD " + name);
}

bool CFtpSession::DeleteFile(const std::string& name)
{
    if (RefuseLineBreaks({&name}))
        return false;
    if (Command("DELE " + name))
        return true;
    return Message().starts_with("550");
}

bool CFtpSession::RenameImpl(const std::string& oldName, const std::string& newName, bool tolerant)
{
    if (RefuseLineBreaks({&oldName, &newName}))
        return false;
    if (Expect("RNFR " + oldName, 3))
        return Command("RNTO " + newName);
    return tolerant && Message().starts_with("550");
}

bool CFtpSession::RenameTolerant(const std::string& oldName, const std::string& newName)
{
    return RenameImpl(oldName, newName, true);
}

bool CFtpSession::Rename(const std::string& oldName, const std::string& newName)
{
    return RenameImpl(oldName, newName, false);
}

void CFtpSession::Quit()
{
    if (!m_control.Connected())
        return;
    // With TLS asked for, nothing but AUTH goes out in clear, not even QUIT.
    if (!m_pTls || m_control.Socket().IsTls())
        SendCommand("QUIT");
    m_control.Reset();
}

} // namespace vistrel
