// The low-delay option on the sockets this process connects: raw sockets of each kind, and the
// session's own connections to the development service, before and after a session reset.
#include "core/AppInfo.h"
#include "net/ClientVersionTO_v1.h"
#include "net/LowDelaySockets.h"
#include "net/R7Session.h"
#include "net/ServerInfo.h"
#include "tests/support/AwaitResult.h"
#include "tests/support/DevService.h"
#include "tests/support/TestEnv.h"

#include <QDir>
#include <QTcpServer>
#include <QtTest>

#include <cerrno>
#include <cstddef>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
// The descriptors of this process whose TCP peer is 127.0.0.1:port, with their low-delay option.
QMap<int, int> connectionsTo(int port)
{
    QMap<int, int> out;
    for (const QString &name : QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::System | QDir::NoDotAndDotDot)) {
        const int fd = name.toInt();
        sockaddr_in peer{};
        socklen_t len = sizeof(peer);
        if (getpeername(fd, reinterpret_cast<sockaddr *>(&peer), &len) != 0 || peer.sin_family != AF_INET ||
            ntohs(peer.sin_port) != port || peer.sin_addr.s_addr != htonl(INADDR_LOOPBACK)) {
            continue;
        }
        out.insert(fd, LowDelaySockets::noDelayOf(fd));
    }
    return out;
}

sockaddr_in loopback(int port)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(quint16(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return addr;
}

// The loopback address of either family, and the length connect(2) is told; a `length` of -1
// tells the whole address.
socklen_t loopback(int family, int port, int length, sockaddr_storage *out)
{
    *out = {};
    socklen_t whole = sizeof(sockaddr_in);
    if (family == AF_INET6) {
        auto *in6 = reinterpret_cast<sockaddr_in6 *>(out);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(quint16(port));
        in6->sin6_addr = in6addr_loopback;
        whole = sizeof(sockaddr_in6);
    } else {
        *reinterpret_cast<sockaddr_in *>(out) = loopback(port);
    }
    return length < 0 ? whole : socklen_t(length);
}

// A port nothing listens on: bound once, then closed.
int closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const int port = probe.serverPort();
    probe.close();
    return port;
}
} // namespace

class TestLowDelaySockets : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(m_env.isValid());
        QVERIFY2(m_svc.start(), qPrintable(m_svc.errorString()));
        QVERIFY(m_svc.trustTestCa());
        AppInfo::publish(&m_info);
    }
    void cleanupTestCase()
    {
        AppInfo::publish(nullptr);
        LowDelaySockets::enable();
    }

    void rawSockets_data()
    {
        QTest::addColumn<int>("family");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<bool>("listening");
        QTest::addColumn<int>("length"); // of the address as connect is told; -1: all of it
        QTest::addColumn<int>("noDelay");
        QTest::addColumn<int>("connectErrno");
        QTest::newRow("enabled, accepted") << AF_INET << true << true << -1 << 1 << 0;
        QTest::newRow("disabled, accepted") << AF_INET << false << true << -1 << 0 << 0;
        // A refused connection still reports its own error, not that of the option.
        QTest::newRow("enabled, refused") << AF_INET << true << false << -1 << 1 << int(ECONNREFUSED);
        QTest::newRow("IPv6, enabled, accepted") << AF_INET6 << true << true << -1 << 1 << 0;
        // Only what the caller's length covers is read.
        QTest::newRow("length short of the family") << AF_INET << true << true << 1 << 0 << int(EINVAL);
        QTest::newRow("IPv4 address cut short")
                << AF_INET << true << true << int(sizeof(sockaddr_in)) - 1 << 0 << int(EINVAL);
        const int withoutScope = int(offsetof(sockaddr_in6, sin6_scope_id));
        QTest::newRow("IPv6 address without its scope") << AF_INET6 << true << true << withoutScope << 1 << 0;
        QTest::newRow("IPv6 address cut short") << AF_INET6 << true << true << withoutScope - 1 << 0 << int(EINVAL);
    }
    void rawSockets()
    {
        QFETCH(int, family);
        QFETCH(bool, enabled);
        QFETCH(bool, listening);
        QFETCH(int, length);
        QFETCH(int, noDelay);
        QFETCH(int, connectErrno);
        const QHostAddress host = family == AF_INET6 ? QHostAddress::LocalHostIPv6 : QHostAddress::LocalHost;
        QTcpServer server;
        int port = closedPort();
        if (listening) {
            if (!server.listen(host) && family == AF_INET6)
                QSKIP("no IPv6 loopback address here");
            QVERIFY(server.isListening());
            port = server.serverPort();
        }
        if (enabled)
            LowDelaySockets::enable();
        else
            LowDelaySockets::disable();
        const int fd = socket(family, SOCK_STREAM, 0);
        QVERIFY(fd >= 0);
        sockaddr_storage addr;
        const socklen_t len = loopback(family, port, length, &addr);
        errno = 0;
        const int rc = ::connect(fd, reinterpret_cast<const sockaddr *>(&addr), len);
        const int err = errno;
        LowDelaySockets::enable();
        QCOMPARE(rc == 0 ? 0 : err, connectErrno);
        QCOMPARE(LowDelaySockets::noDelayOf(fd), noDelay);
        ::close(fd);
    }

    // Sockets that are not TCP connect as before and keep their own error.
    void otherSockets()
    {
        QVERIFY(LowDelaySockets::enable());
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        QVERIFY(fd >= 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        qstrncpy(addr.sun_path, qPrintable(m_env.home() + "/no-such-socket"), sizeof(addr.sun_path));
        errno = 0;
        QCOMPARE(::connect(fd, reinterpret_cast<const sockaddr *>(&addr), sizeof(addr)), -1);
        QCOMPARE(errno, ENOENT);
        QCOMPARE(LowDelaySockets::noDelayOf(fd), -1);
        ::close(fd);

        const int udp = socket(AF_INET, SOCK_DGRAM, 0);
        const sockaddr_in to = loopback(closedPort());
        QCOMPARE(::connect(udp, reinterpret_cast<const sockaddr *>(&to), sizeof(to)), 0);
        ::close(udp);
    }

    // The session's connections, over plain HTTP and HTTPS, and those of the manager a reset makes.
    void sessionConnections_data()
    {
        QTest::addColumn<bool>("https");
        QTest::newRow("http") << false;
        QTest::newRow("https") << true;
    }
    void sessionConnections()
    {
        QFETCH(bool, https);
        R7Session *session = R7Session::instance();
        const int port = https ? m_svc.httpsPort() : m_svc.httpPort();
        const auto version = [session] {
            return awaitResult<ClientVersionTO_v1>([session](auto cb) { session->getClientVersion(cb); });
        };
        // Off until a manager of the session turns it on; switched off only while no connection is
        // being opened (the managers open theirs on a thread of their own).
        LowDelaySockets::disable();
        session->resetSession();
        session->setServer(ServerInfo("LOCALDEV", "dev", "dev", https ? m_svc.httpsUrl() : m_svc.httpUrl(), false));
        const Result<ClientVersionTO_v1> first = version();
        QVERIFY2(first.isOk(), qPrintable(first.message()));
        const QMap<int, int> before = connectionsTo(port);
        QVERIFY(!before.isEmpty());
        QCOMPARE(before.values().count(1), before.size());

        // The old manager lives on for a while with its connection; the new one opens its own.
        LowDelaySockets::disable();
        session->resetSession();
        const Result<ClientVersionTO_v1> second = version();
        QVERIFY2(second.isOk(), qPrintable(second.message()));
        const QMap<int, int> after = connectionsTo(port);
        QVERIFY2(after.size() > before.size(), "the new manager made no connection of its own");
        QCOMPARE(after.values().count(1), after.size());
    }

private:
    TestEnv m_env;
    DevService m_svc;
    AppInfo m_info = AppInfo::forThisBuild();
};

QTEST_GUILESS_MAIN(TestLowDelaySockets)
#include "tst_lowdelaysockets.moc"
