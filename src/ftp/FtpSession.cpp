#include "ftp/FtpSession.h"

#include "ftp/LogOnTable.h"
#include "ftp/TlsConnection.h"

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <new>
#include <optional>
#include <unistd.h>

namespace vistrel {

bool HasLineBreak(const std::string& text)
{
    return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

CFtpSession::CFtpSession() = default;

CFtpSession::~CFtpSession()
{
    CloseLog();
    // m_pControl closes a connection still open; no QUIT is sent.
}

bool CFtpSession::SetPassive(bool passive)
{
    const bool old = m_bPassive;
    m_bPassive = passive;
    return old;
}

bool CFtpSession::OpenLog(const std::string& path)
{
    if (m_pLog)
        return false; // one log per session; the open one stays
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    m_pLog = ::fdopen(fd, "w");
    if (!m_pLog) {
        ::close(fd);
        return false;
    }
    return true;
}

void CFtpSession::CloseLog()
{
    if (m_pLog) {
        std::fclose(m_pLog);
        m_pLog = nullptr;
    }
}

void CFtpSession::Log(const std::string& text)
{
    if (!m_pLog)
        return;
    // The log is a text file in the CR LF convention: every LF is written as CR LF, also the LF
    // that ends the CR LF closing each entry.
    for (const char c : text) {
        if (c == '\n')
            std::fputc('\r', m_pLog);
        std::fputc(c, m_pLog);
    }
    std::fflush(m_pLog);
}

bool CFtpSession::RefuseLineBreaks(std::initializer_list<const std::string*> values)
{
    for (const std::string* v : values) {
        if (HasLineBreak(*v)) {
            m_strMessage = ftptext::kLineBreak;
            return true;
        }
    }
    return false;
}

bool CFtpSession::Connect(const std::string& host, int port)
{
    m_strMessage = ftptext::kCreateSocket;
    m_pControl.reset(new (std::nothrow) CTimedSocket(INVALID_SOCKET));
    if (!m_pControl)
        return false;
    m_pControl->SetTimeout(m_nTimeout);
    m_strMessage = ftptext::kConnect;
    return m_pControl->Connect(host, port);
}

bool CFtpSession::AttachControl(int handle)
{
    m_pControl = std::make_unique<CTimedSocket>(INVALID_SOCKET);
    m_pControl->SetTimeout(m_nTimeout);
    return m_pControl->Attach(handle);
}

bool CFtpSession::SendCommand(const std::string& text)
{
    m_strMessage = ftptext::kWrite;
    if (HasLineBreak(text)) {
        m_strMessage = ftptext::kLineBreak;
        return false;
    }
    if (!m_pControl)
        return false;
    try {
        const std::string line = text + "\r\n";
        return m_pControl->SendString(line.c_str()) > 0;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool CFtpSession::ReadLineInto(std::string& line, ReplyDeadline& deadline)
{
    char buf[CTimedSocket::kLineBufferSize];
    int length = 0;
    if (!m_pControl || m_pControl->ReadLine(buf, sizeof buf, length, &deadline) <= 0)
        return false;
    const auto ended = [&] { return length > 0 && buf[length - 1] == '\n'; };
    if (ended()) {
        line.assign(buf, static_cast<size_t>(length));
        return true;
    }
    // A line longer than the buffer: keep its beginning as one line and drop the rest, so that the
    // rest is not taken for further replies.
    line.assign(buf, static_cast<size_t>(length - 1));
    line += '\n';
    do {
        if (m_pControl->ReadLine(buf, sizeof buf, length, &deadline) <= 0)
            return false;
    } while (!ended());
    return true;
}

bool CFtpSession::ReadReply()
{
    m_strMessage = ftptext::kRead;
    try {
        // One deadline for the whole reply, however many lines it has.
        ReplyDeadline deadline;
        std::string line;
        if (!ReadLineInto(line, deadline))
            return false;
        const auto take = [this](const std::string& l) {
            m_strMessage = l;
            if (!l.empty())
                m_nReplyClass = l[0] - '0';
        };
        take(line);
        if (line.size() >= 4 && line[3] == '-') {
            const long code = std::strtol(line.c_str(), nullptr, 10);
            for (;;) {
                if (!ReadLineInto(line, deadline)) {
                    m_strMessage = ftptext::kRead;
                    return false;
                }
                take(line);
                if (line.size() >= 4 && line[3] == ' ' &&
                    std::strtol(line.c_str(), nullptr, 10) == code)
                    break;
            }
        }
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool CFtpSession::Command(const std::string& text)
{
    if (!text.empty()) {
        if (!SendCommand(text))
            return false;
        Log(text + "\r\n");
    }
    const bool ok = ReadReply() && m_nReplyClass == 2;
    Log(m_strMessage + "\r\n");
    return ok;
}

bool CFtpSession::LogOn(const std::string& host, int port, const std::string& user,
                        const std::string& password, const std::string& account,
                        const std::string& proxyHost, const std::string& proxyUser,
                        const std::string& proxyPassword, int proxyPort, int logonType)
{
    const std::span<const int> row = LogOnSequence(logonType);
    if (row.empty()) {
        m_strMessage = ftptext::kProxyType;
        return false;
    }
    if (RefuseLineBreaks(
            {&host, &user, &password, &account, &proxyHost, &proxyUser, &proxyPassword}))
        return false;
    if (!m_security.refusal.empty()) {
        m_strMessage = m_security.refusal;
        return false;
    }
    const int security = m_security.security;
    if (security < 0 || security > static_cast<int>(FtpSecurity::Implicit)) {
        m_strMessage = ftptext::kSecurityValue;
        return false;
    }
    const bool tls = security != static_cast<int>(FtpSecurity::None);
    std::optional<Sha256Digest> pin;
    if (tls && !m_security.fingerprint.empty()) {
        pin.emplace();
        if (!ParseFingerprint(m_security.fingerprint, *pin)) {
            m_strMessage = ftptext::kFingerprint;
            return false;
        }
    }
    if (tls && logonType != 0) {
        m_strMessage = ftptext::kProxyTls;
        return false;
    }

    const bool direct = logonType == 0;
    if (!Connect(direct ? host : proxyHost, direct ? port : proxyPort))
        return false;
    m_pTls.reset();
    if (tls) {
        m_pTls = std::make_unique<CTlsContext>();
        if (!m_pTls->Init(HostWithoutBrackets(host), m_security.verifyCertificate, pin,
                          &m_strMessage))
            return false;
        if (security == static_cast<int>(FtpSecurity::Implicit) && !SecureControl())
            return false;
    }
    if (!Command({}))
        return false;
    if (security == static_cast<int>(FtpSecurity::Explicit) &&
        (!Command("AUTH TLS") || !SecureControl()))
        return false; // a refusal leaves the server's reply; nothing else was sent

    const LogOnValues values{host, port, user, password, account, proxyUser, proxyPassword};
    int step = 0;
    while (step >= 0 && static_cast<size_t>(step) + 2 < row.size()) {
        const std::string text = LogOnCommand(row[step], values);
        if (!SendCommand(text))
            return false;
        // On plain FTP the password is on the wire in clear anyway, and the log shows what was
        // sent; through TLS it is not, and the log must not give it away either.
        Log((tls && text.starts_with("PASS ") ? std::string("PASS ********") : text) + "\r\n");
        if (!ReadReply()) {
            Log(m_strMessage + "\r\n");
            return false;
        }
        Log(m_strMessage + "\r\n");
        int next;
        if (m_nReplyClass == 2)
            next = row[step + 1];
        else if (m_nReplyClass == 3)
            next = row[step + 2];
        else
            return false;
        if (next == kLogOnDone)
            return !tls || ProtectData();
        if (next == kLogOnFail)
            break;
        step = next;
    }
    m_strMessage = ftptext::kLogonFailed;
    return false;
}

bool CFtpSession::SecureControl()
{
    const auto deadline =
        CTimedSocket::Clock::now() + std::chrono::seconds(std::max(0, m_nTimeout));
    const CTimedSocket::TlsResult r = m_pControl->StartTls(*m_pTls, true, deadline);
    const CTlsConnection* tls = m_pControl->Tls();
    const std::string certificate = tls ? tls->CertificateSummary() : std::string();
    if (!certificate.empty())
        Log("Certificate: " + certificate + "\r\n");
    if (r != CTimedSocket::TlsResult::Done) {
        m_strMessage = r == CTimedSocket::TlsResult::TimedOut ? std::string(ftptext::kTlsTimedOut)
                                                              : m_pControl->TlsError();
        Log(m_strMessage + "\r\n");
        return false;
    }
    Log("TLS: " + tls->Description() + "\r\n");
    if (CertificateUnchecked(m_security))
        Log(std::string(ftptext::kNotVerified) + "\r\n");
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
    return m_strMessage.starts_with("550");
}

bool CFtpSession::RenameImpl(const std::string& oldName, const std::string& newName, bool tolerant)
{
    if (RefuseLineBreaks({&oldName, &newName}))
        return false;
    const std::string rnfr = "RNFR " + oldName;
    if (!SendCommand(rnfr))
        return false;
    Log(rnfr + "\r\n");
    if (ReadReply() && m_nReplyClass == 3) {
        Log(m_strMessage + "\r\n");
        return Command("RNTO " + newName);
    }
    Log(m_strMessage + "\r\n");
    return tolerant && m_strMessage.starts_with("550");
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
    if (!m_pControl)
        return;
    // With TLS asked for, nothing but AUTH goes out in clear, not even QUIT.
    if (!m_pTls || m_pControl->IsTls())
        SendCommand("QUIT");
    m_pControl->Reset();
    m_pControl.reset();
}

} // namespace vistrel
