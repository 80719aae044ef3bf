// vantrel-cli serve and a remote capture on loopback, as two machines would
// run them: what arrives equals a local capture, refusals are logged and
// change nothing, cut connections lose and double nothing, and a server
// killed outright leaves the client everything it sent.

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSslSocket>
#include <atomic>
#include <chrono>
#include <future>
#include <regex>
#include <thread>

#include "record/le.h"
#include "remote/certificates.h"
#include "remote/frame.h"
#include "remote/secret_files.h"
#include "remote/tls_setup.h"
#include "support/cli_runner.h"
#include "support/document_fixture.h"

namespace {

using namespace std::chrono_literals;
using vantrel::testing::CliRun;
using vantrel::testing::ReadFileBytes;
using vantrel::testing::ScratchDir;

// One `serve` process, its standard error in a file.
class ServeProcess {
public:
    ServeProcess(const ScratchDir& dir, const std::string& args,
                 const std::string& log = "serve.log")
        : m_log(dir / log) {
        const std::string command = "exec '" + std::string(VANTREL_CLI) +
                                    "' serve --listen 127.0.0.1:0 --cert '" + dir / "c/server.pem" +
                                    "' --key '" + dir / "c/server-key.pem" + "' --token-file '" +
                                    dir / "c/token" + "' " + args + " 2>'" + m_log + "'";
        m_pid = ::fork();
        if (m_pid == 0) {
            ::execl("/bin/sh", "sh", "-c", command.c_str(), nullptr);
            ::_exit(127);
        }
        const std::regex listening("listening on 127\\.0\\.0\\.1:([0-9]+)");
        for (int i = 0; i < 500 && m_port == 0; ++i) {
            std::smatch m;
            const std::string log = Log();
            if (std::regex_search(log, m, listening)) m_port = std::stoi(m[1]);
            std::this_thread::sleep_for(10ms);
        }
    }
    ~ServeProcess() { Stop(SIGTERM); }
    int Stop(int signal) {
        if (m_pid <= 0) return -1;
        ::kill(m_pid, signal);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        return status;
    }
    std::string Log() const { return ReadFileBytes(m_log); }
    int Port() const { return m_port; }
    std::string Address() const { return "127.0.0.1:" + std::to_string(m_port); }

private:
    std::string m_log;
    pid_t m_pid = -1;
    int m_port = 0;
};

class RemoteLoopbackTest : public ::testing::Test {
protected:
    RemoteLoopbackTest()
        : m_dir(std::string("remote_") +
                ::testing::UnitTest::GetInstance()->current_test_info()->name()) {
        Cli("serve --make-cert '" + m_dir / "c" + "'");
    }
    // `quiet`: the printed records go nowhere (the saved file is checked).
    CliRun Cli(const std::string& args, bool quiet = false) {
        vantrel::testing::CliCall call;
        if (quiet) call.stdoutPath = "/dev/null";
        call.prefix = "env -u VANTREL_DRIVER -u VANTREL_CA -u VANTREL_TOKEN_FILE";
        const std::string scratch = m_dir / ("run" + std::to_string(m_runs++));
        std::filesystem::create_directories(scratch);
        return vantrel::testing::RunCli(VANTREL_CLI, args, scratch, call);
    }
    std::string Connect(const ServeProcess& s, const std::string& ca = "c/ca.pem") {
        return "--connect " + s.Address() + " --ca '" + m_dir / ca + "' --token-file '" +
               m_dir / "c/token" + "' ";
    }
    // The first `limit` records of a saved capture without the local tick
    // column (a capture may take a few more than it was asked for).
    std::string Records(const std::string& file, size_t limit = SIZE_MAX) {
        const CliRun r = Cli("records '" + file + "'");
        EXPECT_EQ(r.exitCode, 0) << r.err;
        std::string out;
        std::istringstream in(r.out);
        std::string line;
        std::getline(in, line);  // the header: its ticks are the capture's own
        for (size_t n = 0; n < limit && std::getline(in, line); ++n) {
            std::vector<std::string> fields;
            std::istringstream f(line);
            for (std::string w; std::getline(f, w, '\t');) fields.push_back(w);
            if (fields.size() > 6) fields.erase(fields.begin() + 6);
            for (const std::string& w : fields) out += w + '\t';
            out += '\n';
        }
        return out;
    }
    // A saved test of `count` simulated records to replay.
    std::string SavedTest(size_t count) {
        std::string file = m_dir / "saved.vtl";
        const CliRun r = Cli("capture --all-devices --rate 0 --count " + std::to_string(count) +
                                 " --save '" + file + "'",
                             true);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return file;
    }
    ScratchDir m_dir;
    std::atomic<int> m_runs{0};
};

TEST_F(RemoteLoopbackTest, MakeCertWritesFourPrivateEnoughFilesAndNeverOverwrites) {
    const std::pair<const char*, unsigned> expected[] = {
        {"ca.pem", 0644}, {"server.pem", 0644}, {"server-key.pem", 0600}, {"token", 0600}};
    for (const auto& [name, mode] : expected) {
        struct stat st {};
        ASSERT_EQ(::stat((m_dir / "c/" + name).c_str(), &st), 0) << name;
        EXPECT_EQ(st.st_mode & 0777, mode) << name;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir / "c"), {}), 4);
    const std::string token = ReadFileBytes(m_dir / "c/token");
    const CliRun again = Cli("serve --make-cert '" + m_dir / "c" + "'");
    EXPECT_EQ(again.exitCode, 2);
    EXPECT_EQ(ReadFileBytes(m_dir / "c/token"), token);
    ::chmod((m_dir / "c/server-key.pem").c_str(), 0640);
    const CliRun open =
        Cli("serve --listen 127.0.0.1:0 --cert '" + m_dir / "c/server.pem" + "' --key '" +
            m_dir / "c/server-key.pem" + "' --token-file '" + m_dir / "c/token" + "'");
    EXPECT_EQ(open.exitCode, 2);
    EXPECT_NE(
        open.err.find("permissions 0640 for '" + m_dir / "c/server-key.pem" + "' are too open"),
        std::string::npos)
        << open.err;
}

TEST_F(RemoteLoopbackTest, ReplayThroughServeEqualsTheSameReplayCapturedLocally) {
    const std::string saved = SavedTest(3000);
    ServeProcess serve(m_dir, "--driver 'replay:" + saved + "' --rate 0");
    ASSERT_NE(serve.Port(), 0) << serve.Log();
    const CliRun devices = Cli("devices " + Connect(serve));
    EXPECT_EQ(devices.exitCode, 0) << devices.err;
    EXPECT_EQ(devices.out, Cli("devices --driver 'replay:" + saved + "'").out);
    const CliRun remote = Cli("capture " + Connect(serve) + "--all-devices --count 3000 --save '" +
                                  m_dir / "remote.vtl" + "'",
                              true);
    ASSERT_EQ(remote.exitCode, 0) << remote.err;
    const CliRun local =
        Cli("capture --driver 'replay:" + saved + "' --rate 0 --all-devices --count 3000 --save '" +
                m_dir / "local.vtl" + "'",
            true);
    ASSERT_EQ(local.exitCode, 0) << local.err;
    EXPECT_EQ(Records(m_dir / "remote.vtl", 3000), Records(m_dir / "local.vtl", 3000));
}

// Sends raw bytes to the server, over TLS or not, and waits for it to close.
void SendRaw(int port, const std::string& ca, const std::vector<uint8_t>& bytes, bool tls) {
    int argc = 1;
    char name[] = "remote_loopback_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    std::string error;
    QSslSocket socket;
    if (tls) {
        QSslConfiguration config;
        ASSERT_TRUE(vantrel::remote::UseOpenSslBackend(error)) << error;
        ASSERT_TRUE(vantrel::remote::ClientTlsConfiguration(ca, config, error)) << error;
        socket.setSslConfiguration(config);
        socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), static_cast<quint16>(port));
        ASSERT_TRUE(socket.waitForEncrypted(5000)) << socket.errorString().toStdString();
    } else {
        socket.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(port));
        ASSERT_TRUE(socket.waitForConnected(5000));
    }
    socket.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    socket.waitForBytesWritten(2000);
    socket.waitForDisconnected(5000);
}

TEST_F(RemoteLoopbackTest, RefusedClientsAreLoggedWithTheirReasonAndChangeNothing) {
    // A second certificate authority, and a server certificate that expired.
    Cli("serve --make-cert '" + m_dir / "other" + "'");
    vantrel::remote::CertificateRequest request;
    request.dnsNames = {"localhost"};
    request.validFromDays = -30;
    request.validToDays = -1;
    vantrel::remote::CertificateFiles expired;
    std::string error;
    ASSERT_TRUE(vantrel::remote::MakeCertificateFiles(request, expired, error)) << error;
    std::filesystem::create_directories(m_dir / "old");
    ASSERT_TRUE(vantrel::remote::WriteNewFile(m_dir / "old/ca.pem", expired.caPem, 0644, error));

    ServeProcess serve(m_dir, "--rate 1000");
    ASSERT_NE(serve.Port(), 0) << serve.Log();
    const std::string address = serve.Address();
    std::vector<uint8_t> oversized(vantrel::remote::kFrameHeaderSize, 0);
    vantrel::le::Put32(oversized.data(), 1u << 30);
    oversized[4] = vantrel::remote::kProtocolVersion;
    oversized[5] = static_cast<uint8_t>(vantrel::remote::FrameType::Hello);

    std::filesystem::create_directories(m_dir / "bad");
    ASSERT_TRUE(vantrel::remote::WriteNewFile(m_dir / "bad/token", "not-the-token\n", 0600, error));
    const CliRun wrongToken = Cli("devices --connect " + address + " --ca '" + m_dir / "c/ca.pem" +
                                  "' --token-file '" + m_dir / "bad/token" + "'");
    EXPECT_EQ(wrongToken.exitCode, 2);
    EXPECT_EQ(wrongToken.err, address + " refused the token\n");
    const CliRun wrongCa = Cli("devices " + Connect(serve, "other/ca.pem"));
    EXPECT_EQ(wrongCa.exitCode, 2);
    EXPECT_NE(wrongCa.err.find("TLS handshake failed"), std::string::npos) << wrongCa.err;
    SendRaw(serve.Port(), {}, {'G', 'E', 'T', ' ', '/', '\r', '\n', '\r', '\n'}, false);
    SendRaw(serve.Port(), m_dir / "c/ca.pem", oversized, true);

    const std::string log = serve.Log();
    const std::string expectedLines[] = {
        "refused: wrong token (failure 1 from 127.0.0.1, the next answer waits 250 ms)",
        "TLS handshake failed",
        "closed: frame of 1073741824 bytes exceeds the limit of 126980",
    };
    for (const std::string& line : expectedLines)
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    EXPECT_EQ(log.find("authenticated"), std::string::npos) << log;
    // None of them left a trace: a rightful client is served as before, and
    // while it watches, a second one is told who does; a connection that
    // never says anything is closed after 5 s.
    const int silent = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(serve.Port()));
    ASSERT_EQ(::connect(silent, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    auto watching = std::async(std::launch::async, [&] {
        return Cli("capture " + Connect(serve) + "--all-devices --seconds 3", true);
    });
    for (int i = 0; i < 300 && serve.Log().find("authenticated") == std::string::npos; ++i)
        std::this_thread::sleep_for(10ms);
    const CliRun busy = Cli("devices " + Connect(serve));
    EXPECT_EQ(busy.exitCode, 2);
    EXPECT_TRUE(std::regex_match(
        busy.err, std::regex("busy: " + std::regex_replace(address, std::regex("\\."), "\\.") +
                             " is watched from 127\\.0\\.0\\.1:[0-9]+\n")))
        << busy.err;
    EXPECT_EQ(watching.get().exitCode, 0);
    for (int i = 0; i < 800 && serve.Log().find("no token") == std::string::npos; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_NE(serve.Log().find("closed: no token within 5 s"), std::string::npos) << serve.Log();
    ::close(silent);

    // The expired certificate: a server of its own.
    serve.Stop(SIGTERM);
    std::filesystem::remove(m_dir / "c/server.pem");
    std::filesystem::remove(m_dir / "c/server-key.pem");
    ASSERT_TRUE(
        vantrel::remote::WriteNewFile(m_dir / "c/server.pem", expired.serverPem, 0644, error));
    ASSERT_TRUE(vantrel::remote::WriteNewFile(m_dir / "c/server-key.pem", expired.serverKeyPem,
                                              0600, error));
    ServeProcess old(m_dir, "--rate 1000", "expired.log");
    ASSERT_NE(old.Port(), 0) << old.Log();
    const CliRun late = Cli("devices " + Connect(old, "old/ca.pem"));
    EXPECT_EQ(late.exitCode, 2);
    EXPECT_NE(late.err.find("expired"), std::string::npos) << late.err;
    EXPECT_NE(old.Log().find("disconnected during the TLS handshake"), std::string::npos)
        << old.Log();
}

// A TCP relay that cuts every connection after `every`.
class CuttingProxy {
public:
    CuttingProxy(int target, std::chrono::milliseconds every) : m_target(target), m_every(every) {
        m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            ::listen(m_listen, 8) != 0)
            ADD_FAILURE() << "the relay cannot listen";
        socklen_t n = sizeof a;
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &n);
        m_port = ntohs(a.sin_port);
        m_thread = std::thread([this] { Run(); });
    }
    ~CuttingProxy() {
        m_stop = true;
        ::shutdown(m_listen, SHUT_RDWR);
        m_thread.join();
        ::close(m_listen);
    }
    int Port() const { return m_port; }
    int Cuts() const { return m_cuts; }

private:
    void Run() {
        while (!m_stop) {
            pollfd p{m_listen, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            const int client = ::accept(m_listen, nullptr, nullptr);
            if (client < 0) continue;
            const int server = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            a.sin_port = htons(static_cast<uint16_t>(m_target));
            if (::connect(server, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
                Relay(client, server);
            ::close(client);
            ::close(server);
        }
    }
    void Relay(int client, int server) {
        const auto end = std::chrono::steady_clock::now() + m_every;
        char buffer[65536];
        while (!m_stop && std::chrono::steady_clock::now() < end) {
            pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
            if (::poll(p, 2, 20) <= 0) continue;
            for (int i = 0; i < 2; ++i) {
                if (!(p[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
                const ssize_t n = ::read(p[i].fd, buffer, sizeof buffer);
                if (n <= 0) return;
                if (::send(p[1 - i].fd, buffer, static_cast<size_t>(n), MSG_NOSIGNAL) != n) return;
            }
        }
        ++m_cuts;
    }
    int m_target, m_listen = -1, m_port = 0;
    std::chrono::milliseconds m_every;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_cuts{0};
    std::thread m_thread;
};

TEST_F(RemoteLoopbackTest, ConnectionsCutEveryFewHundredMillisecondsLoseAndDoubleNothing) {
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
    const size_t count = 20000;  // the sanitizers slow every record down tenfold
#else
    const size_t count = 200000;
#endif
    const std::string saved = SavedTest(count);
    ServeProcess serve(m_dir, "--driver 'replay:" + saved + "' --rate " +
                                  std::to_string(count / 5));  // 5 s of playback
    ASSERT_NE(serve.Port(), 0) << serve.Log();
    CuttingProxy proxy(serve.Port(), 300ms);
    const std::string via = "--connect 127.0.0.1:" + std::to_string(proxy.Port()) + " --ca '" +
                            m_dir / "c/ca.pem" + "' --token-file '" + m_dir / "c/token" + "' ";
    const CliRun remote = Cli("capture " + via + "--all-devices --count " + std::to_string(count) +
                                  " --save '" + m_dir / "remote.vtl" + "'",
                              true);
    ASSERT_EQ(remote.exitCode, 0) << remote.err;
    EXPECT_GE(proxy.Cuts(), 3);
    EXPECT_NE(remote.err.find("Reconnected"), std::string::npos);
    const CliRun local =
        Cli("capture --driver 'replay:" + saved + "' --rate 0 --all-devices --count " +
                std::to_string(count) + " --save '" + m_dir / "local.vtl" + "'",
            true);
    ASSERT_EQ(local.exitCode, 0) << local.err;
    EXPECT_EQ(Records(m_dir / "remote.vtl", count), Records(m_dir / "local.vtl", count));
}

TEST_F(RemoteLoopbackTest, AServerKilledOutrightLeavesTheClientEveryRecordItSent) {
    ServeProcess serve(m_dir, "--rate 20000 --log-sent");
    ASSERT_NE(serve.Port(), 0) << serve.Log();
    auto client = std::async(std::launch::async, [&] {
        return Cli("capture " + Connect(serve) +
                       "--all-devices --seconds 30 --reconnect-limit 1 "
                       "--save '" +
                       m_dir / "kept.vtl" + "'",
                   true);
    });
    // Killed mid-capture, once a few thousand records have gone out.
    for (int i = 0; i < 2000 && serve.Log().find("sent records up to ") == std::string::npos; ++i)
        std::this_thread::sleep_for(10ms);
    std::this_thread::sleep_for(500ms);
    serve.Stop(SIGKILL);
    const CliRun r = client.get();
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("Connection to " + serve.Address() + " lost\n"), std::string::npos)
        << r.err;
    const std::string log = serve.Log();
    const std::regex sent("sent records up to ([0-9]+)");
    uint64_t last = 0;
    for (auto it = std::sregex_iterator(log.begin(), log.end(), sent); it != std::sregex_iterator();
         ++it)
        last = std::stoull((*it)[1]);
    ASSERT_GT(last, 0u) << log;
    const std::string records = Records(m_dir / "kept.vtl");
    EXPECT_GE(static_cast<uint64_t>(std::count(records.begin(), records.end(), '\n')), last);
}

}  // namespace
