#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace vistrel {

// The updater's HTTP client, on libcurl: connect to a host, then fetch one resource into a local
// file with an HTTP/1.x GET (over TLS for https), reporting progress through a callback. Failures
// are values: the call returns false or -1 and GetLastErrorCode / GetErrorText tell why (libcurl's
// codes and messages).
//
// Download streams to a hidden temporary file beside the target (nothing of the body is kept in
// memory) and renames it into place only when the transfer is complete, so an interrupted or
// abandoned download never leaves a truncated file under the target's name. Any answer other than
// 2xx fails (3xx is not followed). A download may be given a size limit; a transfer that stalls
// (less than a byte a second for the time-out given to Connect) ends with the library's message.
//
// Connect and Download may run on a worker thread; GetProgress and AbandonDownload may be called
// from another thread meanwhile.
class CHttpClient {
  public:
    // Called during a download, on the downloading thread, with the event value and the user value
    // given to SetCallback.
    using Callback = void (*)(int nEvent, void* pUserValue);

    // The error code of a download refused for its size (libcurl's "maximum file size exceeded").
    static constexpr int kTooLarge = 63;

    CHttpClient();
    ~CHttpClient();
    CHttpClient(const CHttpClient&) = delete;
    CHttpClient& operator=(const CHttpClient&) = delete;

    // Non-zero when libcurl is ready.
    std::intptr_t IsInitialized() const { return reinterpret_cast<std::intptr_t>(m_pCurl); }

    // Opens a TCP connection to host:port to learn whether it can be reached. nTimeoutSeconds
    // bounds each connection attempt and each stall of later downloads, nAttempts is how many
    // attempts are made, nBufferSize is the receive buffer of later downloads. False (and the error
    // code kept) when the host cannot be reached or the host name is not a plain host name.
    bool Connect(const std::string& host, std::uint16_t port, int nTimeoutSeconds, int nAttempts,
                 int nBufferSize);

    int SetCallback(int nEvent, Callback callback, void* pUserValue);
    // HTTPS (true) or plain HTTP for the next Connect and Download. Over HTTPS libcurl checks the
    // server's certificate and name against the system's certificate authorities (or those of
    // SetCertificateAuthorities) and fails when they do not prove it.
    void SetSecure(bool secure) { m_bSecure = secure; }
    bool Secure() const { return m_bSecure; }
    void SetCertificateAuthorities(const std::string& pemFile) { m_strCaFile = pemFile; }

    // Bytes received so far by the running (or last) download; *pTotal gets the size the server
    // announced, 0 when unknown.
    std::int64_t GetProgress(std::int64_t* pTotal) const;

    // GETs resourcePath from the connected host into localPath. 0 on success, -1 on failure.
    // With nMaxBytes > 0 a body larger than that fails with the code kTooLarge as soon as the size
    // is announced or exceeded, and localPath is left as it was.
    int Download(const std::string& localPath, const std::string& resourcePath,
                 std::int64_t nMaxBytes = 0);

    int GetLastErrorCode() const { return m_nLastError; }

    // The message for an error code, at most 127 bytes; for the last error the detailed text.
    void GetErrorText(int nCode, std::string& text) const;

    // Stops the running download (and refuses later ones) and removes its partial file. Safe to
    // call from any thread.
    void AbandonDownload();

    int GetConnection() const { return m_nConnection; }

  private:
    friend struct HttpClientCallbacks;
    int OnTransferInfo(std::int64_t total, std::int64_t now);
    void PrepareTransfer();
    void SetError(int nCode, const std::string& text = {});

    void* m_pCurl = nullptr;
    char m_szCurlError[256] = {};
    int m_nConnection = -1;
    int m_nConnections = 0;
    std::string m_strHost;
    std::uint16_t m_nPort = 0;
    int m_nTimeoutSeconds = 30;
    int m_nBufferSize = 0;

    int m_nEvent = 0;
    Callback m_pCallback = nullptr;
    void* m_pUserValue = nullptr;
    bool m_bDownloading = false;
    bool m_bSecure = false;
    std::string m_strCaFile;
    std::atomic<std::int64_t> m_nCopied{0};
    std::atomic<std::int64_t> m_nTotal{0};
    std::atomic<bool> m_bAbandoned{false};

    std::mutex m_partialMutex;
    std::string m_strPartialPath; // the temporary file of the running download

    int m_nLastError = 0;
    std::string m_strLastError;
};

} // namespace vistrel
