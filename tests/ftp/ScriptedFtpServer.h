#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vistrel::test {

// An FTP server inside the test process, on 127.0.0.1 and an ephemeral port, that answers from a
// script: per command verb a queue of replies (each used once, then the verb's default), the
// greeting, and how the data side behaves. It records every command line it receives, so a test
// asserts the exact transcript the client sent.
//
// Defaults: greeting "220 Scripted server ready"; USER 331, PASS 230, ACCT 230, CWD 250, MKD 257,
// DELE 250, RNFR 350, RNTO 250, TYPE 200, PORT 200, PWD 257, QUIT 221 (and the server closes);
// PASV opens a data listener and answers 227 with its address; STOR and LIST answer 150, move the
// data and then send the final reply (226). Any other verb gets "500 Unknown command".
class ScriptedFtpServer {
  public:
    // What the server does instead of a plain reply.
    struct Action {
        enum Kind { Reply, Stall, Drop } kind = Reply;
        std::vector<std::string> chunks; // sent as they are, one send each
        int pauseMs = 0;                 // pause between two chunks
    };
    enum class DataFault {
        None,
        PasvRefused,        // PASV names a port where nothing listens
        PasvBlackHole,      // PASV names a port whose connects never complete
        NeverConnect,       // active mode: the server never connects back
        StallRead,          // the STOR data connection is accepted but never read
        DropMidStore,       // after dropAfterBytes of STOR data, data and control are closed
        StallListing,       // the listing is sent, the final reply follows, the data stays open
        PasvNamesOtherHost, // PASV names 127.0.0.2, while the data port listens on 127.0.0.1 only
        IntruderFirst,  // active mode: a connection from 127.0.0.2 comes before the server's own
        EndlessListing, // the listing never ends: lines as fast as the client takes them
        DripListing,    // the listing comes a byte every 300 ms and never ends
    };

    ScriptedFtpServer();
    ~ScriptedFtpServer();
    ScriptedFtpServer(const ScriptedFtpServer&) = delete;
    ScriptedFtpServer& operator=(const ScriptedFtpServer&) = delete;

    // A reply line; "\r\n" is added (text may hold inner "\r\n" for a multi-line reply).
    void greeting(const std::string& text) { m_greeting = line(text); }
    void greeting(const Action& action) { m_greeting = action; }
    void reply(const std::string& verb, const std::string& text) { reply(verb, line(text)); }
    void reply(const std::string& verb, const Action& action) { m_replies[verb].push_back(action); }
    void stall(const std::string& verb) { reply(verb, Action{Action::Stall, {}, 0}); }
    void drop(const std::string& verb) { reply(verb, Action{Action::Drop, {}, 0}); }
    // The reply after the data of the next STOR or LIST.
    void finalReply(const std::string& text) { m_finals.push_back(line(text)); }
    void finalReply(const Action& action) { m_finals.push_back(action); }
    void listing(const std::string& bytes) { m_listing = bytes; }
    void dataFault(DataFault fault, long long dropAfterBytes = 0)
    {
        m_fault = fault;
        m_dropAfter = dropAfterBytes;
    }
    // After the reply to verb (with "": from the start, without a greeting) the server sends
    // nothing more on the control connection; it still reads and records what comes.
    void silentAfter(const std::string& verb)
    {
        m_silentAfter = verb;
        m_silent = verb.empty();
    }
    // Receive buffer of accepted data connections (small: a stalled reader fills up quickly).
    void dataReceiveBuffer(int bytes) { m_rcvBuf = bytes; }

    static Action line(const std::string& text)
    {
        return Action{Action::Reply, {text + "\r\n"}, 0};
    }
    static Action raw(std::vector<std::string> chunks, int pauseMs = 0)
    {
        return Action{Action::Reply, std::move(chunks), pauseMs};
    }

    // Starts listening and serving; false when no socket could be had.
    bool start();
    int port() const { return m_port; }

    // Waits (at most 3 s) until the client has closed its control connection, then returns the
    // command lines received, without their CR LF.
    std::vector<std::string> transcript();
    // Every byte received on control connections.
    std::string rawInput();
    // The bytes of the last STOR data connection (complete once the client has the final reply).
    std::string stored();
    // Number of data connections the server accepted or made.
    int dataConnections();
    // Endless or dripping listings that ended because the client let go of them.
    int listingsLetGo() const { return m_listingsLetGo.load(); }
    // What the intruder of IntruderFirst was sent before the client closed its connection, and
    // whether it was closed (false: still open after 3 s).
    std::string intruderReceived();
    bool intruderClosed();

  private:
    void run();
    void serve(int control);
    bool sendAction(int control, const Action& action);
    Action nextReply(const std::string& verb, const std::string& arg);
    enum class DataEnd { Final, NoFinal, Drop };
    DataEnd dataPhase(const std::string& verb);
    int openDataConnection();
    int makeListener(int backlog);
    void closeData();
    void intrude();
    bool stopping() const { return m_stop.load(); }

    Action m_greeting = line("220 Scripted server ready");
    std::map<std::string, std::deque<Action>> m_replies;
    std::deque<Action> m_finals;
    std::string m_listing;
    DataFault m_fault = DataFault::None;
    long long m_dropAfter = 0;
    int m_rcvBuf = 0;
    std::string m_silentAfter;
    bool m_silent = false;

    int m_listenFd = -1;
    int m_port = 0;
    int m_pasvFd = -1;          // passive data listener
    int m_fillerFd = -1;        // fills the black hole's backlog
    std::vector<int> m_heldFds; // data connections kept open on purpose
    std::string m_portHost;     // active mode: where to connect back
    int m_portPort = 0;
    bool m_havePort = false;

    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_listingsLetGo{0};
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_connected = false;
    std::vector<std::string> m_transcript;
    std::string m_raw;
    std::string m_stored;
    int m_dataConnections = 0;
    std::string m_intruderReceived;
    bool m_intruderClosed = false;
};

} // namespace vistrel::test
