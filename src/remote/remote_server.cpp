#include "remote/remote_server.h"

#include <QHostAddress>
#include <QSslSocket>
#include <QTimer>
#include <algorithm>
#include <random>

#include "record/protocol.h"
#include "remote/certificates.h"
#include "remote/frame.h"

namespace vantrel::remote {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kTokenWait = 5s;
constexpr auto kSilenceLimit = 15s;
constexpr auto kPulseEvery = 5s;
constexpr auto kFailureMemory = std::chrono::minutes(10);
constexpr qint64 kWriteAhead = 1 << 20;  // bytes handed to the socket ahead of the network
constexpr size_t kReadChunk = 64 * 1024;

std::string PeerOf(const QSslSocket* s) {
    QHostAddress a = s->peerAddress();
    bool v4 = false;
    const quint32 ip4 = a.toIPv4Address(&v4);
    if (v4) a = QHostAddress(ip4);
    const std::string host = a.toString().toStdString();
    const std::string shown =
        a.protocol() == QAbstractSocket::IPv6Protocol ? "[" + host + "]" : host;
    return shown + ":" + std::to_string(s->peerPort());
}

// Delay before answering the next token from an address that failed
// `failures` times: nothing at first, then 250 ms doubling up to 32 s.
std::chrono::milliseconds FailureDelay(unsigned failures) {
    if (failures == 0) return 0ms;
    return std::chrono::milliseconds(250LL << std::min(failures - 1, 7u));
}

uint64_t NewSessionId() {
    std::random_device device;
    uint64_t id = 0;
    while (id == 0) id = (uint64_t{device()} << 32) | device();
    return id;
}

}  // namespace

struct CRemoteServer::Connection {
    QSslSocket* socket = nullptr;
    std::string peer, address;
    CFrameReader reader{Reader::Server};
    Clock::time_point opened, lastHeard, lastSent;
    bool encrypted = false, helloSeen = false, admitted = false, closing = false;
    uint64_t nextToSend = 1, loggedSent = 0, lastSentSequence = 0;
};

CRemoteServer::CRemoteServer(ServeOptions options, CHostedSource& source, Log log)
    : m_options(std::move(options)), m_source(source), m_log(std::move(log)) {}

CRemoteServer::~CRemoteServer() {
    for (auto& c : m_connections) c->socket->disconnect();
}

bool CRemoteServer::Start(std::string& error) {
    const QHostAddress address(QString::fromStdString(m_options.host));
    const bool ok = m_options.host == "localhost"
                        ? listen(QHostAddress::LocalHost, m_options.port)
                        : listen(address.isNull() ? QHostAddress::Any : address, m_options.port);
    if (!ok) {
        error = "cannot listen on " + m_options.host + ":" + std::to_string(m_options.port) + ": " +
                errorString().toStdString();
        return false;
    }
    m_tick = new QTimer(this);
    connect(m_tick, &QTimer::timeout, this, [this] { Tick(); });
    m_tick->start(250);
    return true;
}

void CRemoteServer::RecordsReady() {
    if (m_pumpQueued.exchange(true)) return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_pumpQueued.store(false);
            Pump();
        },
        Qt::QueuedConnection);
}

void CRemoteServer::incomingConnection(qintptr descriptor) {
    auto c = std::make_unique<Connection>();
    auto* socket = new QSslSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    c->socket = socket;
    c->peer = PeerOf(socket);
    c->address = c->peer.substr(0, c->peer.rfind(':'));
    c->opened = c->lastHeard = c->lastSent = Clock::now();
    Connection* raw = c.get();
    m_connections.push_back(std::move(c));
    m_log(raw->peer + " connected");
    socket->setSslConfiguration(m_options.tls);
    connect(socket, &QSslSocket::encrypted, this, [raw] { raw->encrypted = true; });
    connect(socket, &QSslSocket::readyRead, this, [this, raw] { OnReadable(raw); });
    connect(socket, &QSslSocket::encryptedBytesWritten, this, [this] { Pump(); });
    connect(socket, &QSslSocket::sslErrors, this, [this, raw](const QList<QSslError>& errors) {
        Drop(raw,
             "TLS handshake failed: " +
                 (errors.isEmpty() ? std::string("error") : errors[0].errorString().toStdString()));
    });
    connect(socket, &QAbstractSocket::errorOccurred, this,
            [this, raw](QAbstractSocket::SocketError e) {
                if (e == QAbstractSocket::RemoteHostClosedError) return;  // disconnected says it
                const std::string what =
                    raw->encrypted ? "connection error: " : "TLS handshake failed: ";
                Drop(raw, what + raw->socket->errorString().toStdString());
            });
    connect(socket, &QAbstractSocket::disconnected, this, [this, raw] {
        if (!raw->closing)
            m_log(raw->peer +
                  (raw->encrypted ? " disconnected" : " disconnected during the TLS handshake"));
        Forget(raw);
    });
    socket->startServerEncryption();
}

void CRemoteServer::OnReadable(Connection* c) {
    std::vector<uint8_t> chunk(kReadChunk);
    while (!c->closing && c->socket->bytesAvailable() > 0) {
        const qint64 n = c->socket->read(reinterpret_cast<char*>(chunk.data()), kReadChunk);
        if (n <= 0) break;
        c->lastHeard = Clock::now();
        c->reader.Feed(std::span<const uint8_t>(chunk.data(), static_cast<size_t>(n)));
        std::string error;
        while (!c->closing) {
            const std::optional<Frame> frame = c->reader.Next(error);
            if (!frame) break;
            if (!OnFrame(c, *frame, error)) break;
        }
        if (!error.empty()) {
            Refuse(c, static_cast<uint8_t>(RefusalKind::Protocol), error, "closed: " + error);
            return;
        }
    }
}

bool CRemoteServer::OnFrame(Connection* c, const Frame& frame, std::string& error) {
    if (!c->helloSeen && frame.type != FrameType::Hello) {
        error = "the first frame is not the token";
        return false;
    }
    switch (frame.type) {
        case FrameType::Hello: {
            if (c->helloSeen) {
                error = "a second token";
                return false;
            }
            const std::optional<Hello> hello = DecodeHello(frame.payload, error);
            if (!hello) return false;
            c->helloSeen = true;
            const auto it = m_failures.find(c->address);
            const auto delay = it == m_failures.end() ? 0ms : FailureDelay(it->second.first);
            QTimer::singleShot(delay, c->socket, [this, c, h = *hello] {
                if (Alive(c)) OnHello(c, h);
            });
            return true;
        }
        case FrameType::Control: {
            if (!c->admitted) {
                error = "a control request before the token was accepted";
                return false;
            }
            std::optional<ControlRequest> request = DecodeControl(frame.payload, error);
            if (!request) return false;
            const auto inLength = static_cast<uint32_t>(request->data.size());
            request->data.resize(std::max<size_t>(request->data.size(), request->outLength));
            ControlReply reply;
            reply.ok = m_source.Control(request->code,
                                        request->data.empty() ? nullptr : request->data.data(),
                                        inLength, request->outLength);
            request->data.resize(request->outLength);
            reply.data = std::move(request->data);
            std::vector<uint8_t> out;
            AppendControlReply(out, frame.sequence, reply);
            Send(c, out);
            return true;
        }
        case FrameType::Ack: {
            const std::optional<uint64_t> held = DecodeCounter(frame.payload, error);
            if (!held) return false;
            if (!c->admitted || *held >= c->nextToSend) {
                error = "acknowledgement of record " + std::to_string(*held) + " never sent";
                return false;
            }
            m_source.Acknowledge(*held);
            return true;
        }
        default:
            return true;  // a heartbeat: hearing it is all
    }
}

void CRemoteServer::OnHello(Connection* c, const Hello& hello) {
    if (c->closing) return;
    if (!TokensEqual(hello.token, m_options.token)) {
        auto& [failures, last] = m_failures[c->address];
        ++failures;
        last = Clock::now();
        Refuse(c, static_cast<uint8_t>(RefusalKind::Token), "wrong token",
               "refused: wrong token (failure " + std::to_string(failures) + " from " + c->address +
                   ", the next answer waits " + std::to_string(FailureDelay(failures).count()) +
                   " ms)");
        return;
    }
    m_failures.erase(c->address);
    if (m_controlling && m_controlling != c) {
        if (hello.sessionId == 0 || hello.sessionId != m_sessionId) {
            Refuse(c, static_cast<uint8_t>(RefusalKind::Busy), m_controlling->peer,
                   "refused: busy, watched from " + m_controlling->peer);
            return;
        }
        Connection* old = m_controlling;
        m_controlling = nullptr;
        Drop(old, "replaced by " + c->peer + " resuming the session");
    }
    Admit(c, hello);
}

void CRemoteServer::Admit(Connection* c, const Hello& hello) {
    const bool resume = hello.sessionId != 0 && hello.sessionId == m_sessionId &&
                        hello.lastHeld + 1 >= m_source.OldestKept() &&
                        hello.lastHeld < m_source.NextSequence();
    Welcome welcome;
    if (resume) {
        m_source.Acknowledge(hello.lastHeld);
        welcome.nextSequence = hello.lastHeld + 1;
        m_log(c->peer + " authenticated, session resumed after record " +
              std::to_string(hello.lastHeld));
    } else {
        m_sessionId = NewSessionId();
        m_toldDropped = m_source.Dropped();
        welcome.nextSequence = m_source.NewSession();
        m_log(c->peer + " authenticated, new session");
    }
    welcome.sessionId = m_sessionId;
    c->admitted = true;
    c->nextToSend = welcome.nextSequence;
    c->loggedSent = welcome.nextSequence - 1;
    m_controlling = c;
    std::vector<uint8_t> out;
    AppendWelcome(out, welcome);
    Send(c, out);
    Pump();
}

void CRemoteServer::Refuse(Connection* c, uint8_t kind, const std::string& text,
                           const std::string& why) {
    std::vector<uint8_t> out;
    AppendRefusal(out, {static_cast<RefusalKind>(kind), text});
    if (c->socket->isEncrypted()) Send(c, out);
    Drop(c, why);
}

void CRemoteServer::Drop(Connection* c, const std::string& why) {
    if (c->closing) return;
    m_log(c->peer + " " + why);
    c->closing = true;
    if (m_controlling == c) m_controlling = nullptr;
    c->socket->disconnectFromHost();  // after what is written so far
    if (c->socket->state() == QAbstractSocket::UnconnectedState) Forget(c);
}

bool CRemoteServer::Alive(const Connection* c) const {
    return std::any_of(m_connections.begin(), m_connections.end(),
                       [c](const auto& p) { return p.get() == c; });
}

void CRemoteServer::Forget(Connection* c) {
    if (m_controlling == c) m_controlling = nullptr;
    c->closing = true;
    c->socket->disconnect(this);
    // Erased from the event loop, never under a caller that still uses it.
    QMetaObject::invokeMethod(
        this,
        [this, c] {
            const auto it = std::find_if(m_connections.begin(), m_connections.end(),
                                         [c](const auto& p) { return p.get() == c; });
            if (it == m_connections.end()) return;
            c->socket->deleteLater();
            m_connections.erase(it);
        },
        Qt::QueuedConnection);
}

void CRemoteServer::Send(Connection* c, const std::vector<uint8_t>& bytes) {
    c->socket->write(reinterpret_cast<const char*>(bytes.data()),
                     static_cast<qint64>(bytes.size()));
    c->lastSent = Clock::now();
}

void CRemoteServer::Pump() {
    Connection* c = m_controlling;
    if (!c || !c->admitted || c->closing) return;
    QSslSocket* s = c->socket;
    std::vector<uint8_t> records, out;
    while (s->bytesToWrite() + s->encryptedBytesToWrite() < kWriteAhead) {
        records.clear();
        const uint32_t n = m_source.Take(c->nextToSend, kMaxRecordsPerFrame, records);
        if (n == 0) break;
        out.clear();
        AppendRecords(out, c->nextToSend, records);
        Send(c, out);
        c->nextToSend += n;
    }
    if (const uint64_t dropped = m_source.Dropped(); dropped != m_toldDropped) {
        out.clear();
        AppendCounter(out, FrameType::Dropped, dropped - m_toldDropped);
        m_toldDropped = dropped;
        Send(c, out);
    }
    s->flush();
    // What has left the process for the network is what a crash cannot
    // take back: that is the sent record a log names.
    if (m_options.logSent && c->nextToSend - 1 > c->loggedSent && s->bytesToWrite() == 0 &&
        s->encryptedBytesToWrite() == 0) {
        c->loggedSent = c->nextToSend - 1;
        m_log(c->peer + " sent records up to " + std::to_string(c->loggedSent));
    }
}

void CRemoteServer::Tick() {
    const auto now = Clock::now();
    std::vector<std::pair<Connection*, std::string>> drops;
    for (auto& c : m_connections) {
        if (c->closing) continue;
        if (!c->helloSeen && now - c->opened > kTokenWait)
            drops.emplace_back(c.get(), "closed: no token within 5 s");
        else if (now - c->lastHeard > kSilenceLimit)
            drops.emplace_back(c.get(), "closed: silent for 15 s");
        else if (c->admitted && now - c->lastSent > kPulseEvery) {
            std::vector<uint8_t> out;
            AppendEmpty(out, FrameType::Pulse);
            Send(c.get(), out);
        }
    }
    for (auto& [c, why] : drops) Drop(c, why);
    for (auto it = m_failures.begin(); it != m_failures.end();)
        it = now - it->second.second > kFailureMemory ? m_failures.erase(it) : std::next(it);
    Pump();
}

void CRemoteServer::Close(const std::string& reason) {
    close();
    std::vector<Connection*> open;
    for (auto& c : m_connections) open.push_back(c.get());
    for (Connection* c : open) {
        if (c->admitted && !c->closing) {
            std::vector<uint8_t> out;
            AppendClosing(out, reason);
            Send(c, out);
            c->socket->flush();
        }
        Drop(c, "closed: " + reason);
    }
}

}  // namespace vantrel::remote
