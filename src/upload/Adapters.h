#pragma once

#include "dialup/CDialUpManager.h"
#include "ftp/FtpSession.h"
#include "upload/UploadThread.h"

#include <memory>

namespace vistrel {

// The worker's FTP session: a real CFtpSession.
class FtpSessionAdapter : public FtpSessionOps {
  public:
    bool OpenLog(const std::string& path) override { return m_session.OpenLog(path); }
    bool LogOn(const FtpConnection& connection) override { return m_session.LogOn(connection); }
    bool ChangeDir(const std::string& dir) override { return m_session.ChangeDir(dir); }
    bool DeleteFile(const std::string& name) override { return m_session.DeleteFile(name); }
    bool RenameTolerant(const std::string& from, const std::string& to) override
    {
        return m_session.RenameTolerant(from, to);
    }
    bool Rename(const std::string& from, const std::string& to) override
    {
        return m_session.Rename(from, to);
    }
    bool MakeDir(const std::string& name) override { return m_session.MakeDir(name); }
    bool UploadFile(const std::string& localPath, const std::string& remoteName) override
    {
        return m_session.UploadFile(localPath, remoteName);
    }
    void Quit() override { m_session.Quit(); }
    std::string Message() const override { return m_session.Message(); }
    std::string ConnectCause() const override { return m_session.ConnectCause(); }

    CFtpSession& session() { return m_session; }

  private:
    CFtpSession m_session;
};

// Made once, when the program starts its worker: the moment to clear away upload copies that an
// earlier version left behind.
inline UploadThread::SessionFactory RealFtpSessions()
{
    RemoveStaleUploadCopies();
    return [] { return std::make_unique<FtpSessionAdapter>(); };
}

// The worker's dial-up manager: the process-wide CDialUpManager.
class DialUpAdapter : public DialUpOps {
  public:
    explicit DialUpAdapter(CDialUpManager& manager) : m_manager(manager) {}
    bool FindConnected() override { return m_manager.FindConnected(); }
    bool Dial(const std::string& entry, const std::string& user, const std::string& password,
              const std::string& phone) override
    {
        return m_manager.Dial(entry, user, password, phone);
    }
    std::string GetErrorText() override { return m_manager.GetErrorText(); }
    void HangUp(bool onlyIfOurs) override { m_manager.HangUp(onlyIfOurs); }

  private:
    CDialUpManager& m_manager;
};

} // namespace vistrel
