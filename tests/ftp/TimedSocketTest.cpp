#include "ftp/TimedSocket.h"
#include "ftp/FtpControl.h"
#include "ftp/SocketCalls.h"

#include "FtpTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace vistrel;
using namespace vistrel::test;

namespace {

std::atomic<int> g_recvCalls{0};

ssize_t countingRecv(int fd, void* data, size_t length, int flags)
{
    ++g_recvCalls;
    return systemSocketCalls().recv(fd, data, length, flags);
}

int failingPoll(pollfd*, nfds_t, int)
{
    errno = EBADF;
    return -1;
}

// A connected pair: the socket under test (read line by line through a control connection)
// holds one end, the test writes to the other.
struct Pair {
    Pair()
    {
        int fds[2];
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
        control.Attach(fds[0]);
        peer = fds[1];
        sock.SetTimeout(1);
    }
    ~Pair()
    {
        if (peer >= 0)
            ::close(peer);
    }
    void write(const std::string& bytes)
    {
        ASSERT_EQ(::write(peer, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    void closePeer()
    {
        ::close(peer);
        peer = -1;
    }
    std::string readLine(int capacity, int& result)
    {
        std::vector<char> buf(static_cast<size_t>(capacity > 0 ? capacity : 1), '#');
        int length = -1;
        result = control.ReadLine(buf.data(), capacity, length);
        lastLength = length;
        return std::string(buf.data(), static_cast<size_t>(length));
    }
    CFtpControl control;
    CTimedSocket& sock = control.Socket();
    int peer = -1;
    int lastLength = 0;
};

} // namespace

TEST(TimedSocket, ReadLineTurnsCrIntoLfAndHandsOutBufferedLinesWithoutSystemCalls)
{
    SocketCallsGuard guard;
    socketCalls().recv = countingRecv;
    g_recvCalls = 0;
    Pair p;
    p.write("220 Ready\r\n230-A\r\n230 B\r\n");
    int r = 0;
    EXPECT_EQ(p.readLine(7010, r), "220 Ready\n");
    EXPECT_EQ(r, 1);
    EXPECT_EQ(p.lastLength, 10);
    // The LF behind the CR is skipped by the next call, and both lines come from the buffer.
    EXPECT_EQ(p.readLine(7010, r), "230-A\n");
    EXPECT_EQ(p.readLine(7010, r), "230 B\n");
    EXPECT_EQ(g_recvCalls.load(), 1);
}

TEST(TimedSocket, ReadLineJoinsALineSplitOverTwoReceives)
{
    SocketCallsGuard guard;
    socketCalls().recv = countingRecv;
    g_recvCalls = 0;
    Pair p;
    p.write("22");
    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        p.write("0 OK\r\n");
    });
    int r = 0;
    EXPECT_EQ(p.readLine(7010, r), "220 OK\n");
    writer.join();
    EXPECT_EQ(r, 1);
    EXPECT_EQ(g_recvCalls.load(), 2);
}

TEST(TimedSocket, ReadLineSkipsNulAndLoneLfAndNeverEndsALineOnLf)
{
    Pair p;
    p.write(std::string("2\0"
                        "20 x\r\n",
                        8));
    int r = 0;
    EXPECT_EQ(p.readLine(7010, r), "220 x\n");

    // Lines ending in LF alone never complete: the wait expires.
    p.write("220 a\n230 b\n");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(p.readLine(7010, r), "");
    EXPECT_EQ(r, 0);
    EXPECT_EQ(p.lastLength, 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
}

TEST(TimedSocket, ReadLineDeliversLongLinesInPiecesWithoutLosingBytes)
{
    Pair p;
    const std::string longLine(7100, 'a');
    p.write(longLine + "b\r\n");
    int r = 0;
    const std::string first = p.readLine(7010, r);
    EXPECT_EQ(r, 1);
    EXPECT_EQ(first.size(), 7009u);
    EXPECT_EQ(p.readLine(7010, r), std::string(91, 'a') + "b\n");

    p.write("abcdefgh\r\n");
    EXPECT_EQ(p.readLine(5, r), "abcd");
    EXPECT_EQ(p.readLine(5, r), "efgh");
    EXPECT_EQ(p.readLine(5, r), "\n");
    EXPECT_EQ(r, 1);
}

TEST(TimedSocket, ReadLineReportsWhatArrivedBeforeThePeerClosed)
{
    SocketCallsGuard guard;
    socketCalls().recv = countingRecv;
    g_recvCalls = 0;
    Pair p;
    p.write("xyz");
    int r = 1;
    EXPECT_EQ(p.readLine(1, r), ""); // capacity 1: nothing is read
    EXPECT_EQ(r, 0);
    EXPECT_EQ(p.lastLength, 0);
    EXPECT_EQ(g_recvCalls.load(), 0);

    p.closePeer();
    EXPECT_EQ(p.readLine(7010, r), "xyz");
    EXPECT_EQ(r, 0);
    EXPECT_EQ(p.lastLength, 3);
}

TEST(TimedSocket, FailedWaitsReportMinusOne)
{
    Pair p;
    p.write("220 x\r\n");
    SocketCallsGuard guard;
    socketCalls().poll = failingPoll;
    int r = 0;
    EXPECT_EQ(p.readLine(7010, r), "");
    EXPECT_EQ(r, -1);
    char buf[16];
    EXPECT_EQ(p.sock.Receive(buf, sizeof buf), -1);
    EXPECT_EQ(p.sock.Send("x", 1), -1);
}

TEST(TimedSocket, ReceiveWaitsItsOwnLimitNotTheTimeOut)
{
    Pair p;
    p.sock.SetTimeout(90);
    p.sock.SetReceiveWait(1);
    char buf[16];
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(p.sock.Receive(buf, sizeof buf), 0);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(900));
    EXPECT_LT(took, std::chrono::seconds(5));

    p.write("abc");
    EXPECT_EQ(p.sock.Receive(buf, sizeof buf), 3);
    p.closePeer();
    EXPECT_EQ(p.sock.Receive(buf, sizeof buf), 0);
}

TEST(TimedSocket, SendReportsAnExpiredWaitAndAGonePeerWithoutSignals)
{
    Pair p;
    int small = 4096;
    ::setsockopt(p.peer, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    const std::string chunk(65536, 'x');
    int r = 1;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 10000 && r > 0; ++i)
        r = p.sock.Send(chunk.data(), static_cast<int>(chunk.size()));
    EXPECT_EQ(r, -2);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

    p.closePeer();
    EXPECT_EQ(p.sock.SendString("QUIT\r\n"), -1); // EPIPE, and the process lives on
}

TEST(TimedSocket, ConnectResolvesNamesAndReportsUnresolvableOnes)
{
    LoopbackListener server;
    CTimedSocket a;
    a.SetTimeout(2);
    EXPECT_TRUE(a.Connect("127.0.0.1", server.port()));
    CTimedSocket b;
    b.SetTimeout(2);
    EXPECT_TRUE(b.Connect("localhost", server.port()));

    // A space makes the name invalid before any resolver query leaves the machine.
    CTimedSocket c;
    EXPECT_FALSE(c.Connect("no such host.invalid", server.port()));
    EXPECT_EQ(c.LastError(), EINVAL);

    CTimedSocket d;
    EXPECT_FALSE(d.Connect("127.0.0.1", freeLoopbackPort()));
    EXPECT_EQ(d.LastError(), ECONNREFUSED);
    EXPECT_EQ(d.Handle(), INVALID_SOCKET);
}

TEST(TimedSocket, ConnectToABlackHoleEndsWithTheTimeOut)
{
    BlackHole hole;
    CTimedSocket s;
    s.SetTimeout(1);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(s.Connect("127.0.0.1", hole.port()));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(900));
    EXPECT_LT(took, std::chrono::seconds(4));
    EXPECT_EQ(s.LastError(), ETIMEDOUT);
}

TEST(TimedSocket, ListenerAcceptsWithinTheTimeOutOnly)
{
    CTimedSocket listener;
    listener.SetTimeout(1);
    ASSERT_TRUE(listener.CreateListener(0));
    EXPECT_TRUE(listener.Listen()); // a second listen is harmless
    char addr[16];
    int port = 0;
    ASSERT_TRUE(listener.GetLocalAddress(addr, sizeof addr, port));
    EXPECT_STREQ(addr, "0.0.0.0");
    EXPECT_GT(port, 0);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(listener.Accept(), INVALID_SOCKET);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));

    CTimedSocket client;
    ASSERT_TRUE(client.Connect("127.0.0.1", port));
    CFtpControl accepted;
    EXPECT_FALSE(accepted.Socket().Attach(INVALID_SOCKET));
    EXPECT_TRUE(accepted.Attach(listener.Accept()));
    EXPECT_EQ(client.SendString("hi\r\n"), 4);
    char line[16];
    int length = 0;
    EXPECT_EQ(accepted.ReadLine(line, sizeof line, length), 1);
    EXPECT_STREQ(line, "hi\n");
}

TEST(TimedSocket, GetLocalAddressNeedsRoomForTheTerminator)
{
    LoopbackListener server;
    // 127.100.100.200 is a loopback address as long as the longest dotted IPv4 address.
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    ::inet_pton(AF_INET, "127.100.100.200", &local.sin_addr);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(static_cast<uint16_t>(server.port()));
    ::inet_pton(AF_INET, "127.0.0.1", &remote.sin_addr);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote), 0);
    CTimedSocket s;
    s.Attach(fd);

    char addr[32];
    int port = 0;
    EXPECT_FALSE(s.GetLocalAddress(addr, 0, port));
    EXPECT_FALSE(s.GetLocalAddress(addr, 15, port));
    EXPECT_TRUE(s.GetLocalAddress(addr, 16, port));
    EXPECT_STREQ(addr, "127.100.100.200");
    EXPECT_GT(port, 0);
}

TEST(TimedSocket, ResetForgetsBufferedBytes)
{
    Pair p;
    p.write("220 a\r\n221 b\r\n");
    int r = 0;
    EXPECT_EQ(p.readLine(7010, r), "220 a\n");
    p.control.Reset();
    EXPECT_EQ(p.sock.Handle(), INVALID_SOCKET);
    char buf[16];
    int length = 0;
    // Nothing of the old connection is handed out; the wait on no socket fails or expires.
    EXPECT_LE(p.control.ReadLine(buf, sizeof buf, length), 0);
    EXPECT_EQ(length, 0);
}
