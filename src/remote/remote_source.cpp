#include "remote/remote_source.h"

#include <QSslSocket>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <condition_variable>
#include <future>
#include <map>
#include <mutex>
#include <optional>

#include "endpoint/endpoint.h"
#include "record/le.h"
#include "record/protocol.h"
#include "remote/frame.h"
#include "remote/tls_setup.h"

namespace vantrel::remote {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
namespace pr = protocol;

constexpr auto kRequestWait = 10s;
constexpr auto kHandshakeWait = 15s;
constexpr auto kHeartbeatEvery = 5s;
constexpr auto kSilenceLimit = 15s;
constexpr auto kBackoffFirst = 100ms;
constexpr auto kBackoffMost = 2s;
constexpr size_t kMaxRows = 4096;

std::string Text(const uint8_t* field, size_t size) {
    const auto* end = std::find(field, field + size, uint8_t{0});
    return std::string(field, end);
}

}  // namespace

class CRemoteCore;

// The network side, living on the session's thread.
class CRemoteLink : public QObject {
public:
    explicit CRemoteLink(CRemoteSession::Shared& shared) : m_shared(shared) {}
    void Start();
    void SendControl(uint64_t id, const ControlRequest& request);
    void Stop();

private:
    void Connect();
    void OnEncrypted();
    void OnReadable();
    bool OnFrame(const Frame& frame, std::string& error);
    bool OnWelcome(const Frame& frame, std::string& error);
    bool OnRefused(const Frame& frame, std::string& error);
    void OnRecords(uint64_t first, std::span<const uint8_t> records);
    void OnLoss(const std::string& why);
    void Finish(ConnectOutcome outcome, const std::string& message);
    void Tick();
    void Write(const std::vector<uint8_t>& bytes);

    CRemoteSession::Shared& m_shared;
    QSslSocket* m_socket = nullptr;
    QTimer* m_tick = nullptr;
    std::optional<CFrameReader> m_reader;
    QSslConfiguration m_tls;
    bool m_welcomed = false, m_everWelcomed = false, m_final = false, m_reconnecting = false;
    uint64_t m_sessionId = 0, m_lastHeld = 0, m_lastAcked = 0;
    Clock::time_point m_lostSince, m_lastHeard, m_lastSent;
    std::chrono::milliseconds m_backoff = kBackoffFirst;
};

struct CRemoteSession::Shared {
    RemoteSourceOptions options;
    std::string name;
    QThread thread;
    CRemoteLink* link = nullptr;

    mutable std::mutex mutex;  // everything below
    std::condition_variable cv;
    std::optional<std::pair<ConnectOutcome, std::string>> firstOutcome;
    std::map<uint64_t, std::promise<ControlReply>> pending;
    uint64_t nextRequest = 1;
    std::shared_ptr<CRemoteCore> core;
    RemoteStatus status;
    std::vector<DeviceRow> rows;
    uint32_t speed = 0;

    void Notice(const std::string& text) {
        if (options.notice) options.notice(text);
    }
    std::optional<ControlReply> Request(uint32_t code, std::vector<uint8_t> data,
                                        uint32_t outLength);
    // Every call for the network thread goes through here.
    void Post(std::function<void()> call, Qt::ConnectionType type = Qt::QueuedConnection) {
        QMetaObject::invokeMethod(link, std::move(call), type);
    }
};

// The driver the application opens: the endpoint writes the ring; filter
// changes go to the server without waiting for its answer (the endpoint's
// hooks must not block).
class CRemoteCore final : public IEndpointSource {
public:
    CRemoteCore(std::shared_ptr<CRemoteSession::Shared> shared, uint32_t speed)
        : m_shared(std::move(shared)), m_endpoint(*this, Options(speed)) {}
    ~CRemoteCore() override { m_endpoint.Shutdown(); }

    bool Control(uint32_t code, uint8_t* buffer, uint32_t inLength, uint32_t outLength) {
        return m_endpoint.Control(code, buffer, inLength, outLength);
    }
    void Shutdown() {
        {
            std::lock_guard lock(m_shared->mutex);
            if (m_shared->core.get() == this) m_shared->core.reset();
        }
        m_endpoint.Shutdown();
    }
    CEndpoint& Endpoint() { return m_endpoint; }

    std::vector<DeviceRow> Rows() override {
        std::lock_guard lock(m_shared->mutex);
        return m_shared->rows;
    }
    void FilterChanged(uint32_t deviceObject, uint32_t mask, size_t) override {
        ControlRequest request;
        request.code = pr::IOCTL_ACTIVATE_FILTER;
        request.outLength = pr::kActivateSize;
        request.data.assign(pr::kActivateSize, 0);
        le::Put32(request.data.data() + pr::kActivateDeviceObject, deviceObject);
        for (size_t i = 0; i < pr::kMajorCount; ++i)
            request.data[pr::kActivateFlags + i] = (mask >> i) & 1;
        CRemoteSession::Shared* shared = m_shared.get();
        shared->Post([shared, request] { shared->link->SendControl(0, request); });
    }

private:
    static EndpointOptions Options(uint32_t speed) {
        EndpointOptions o;
        o.processorSpeed = speed;
        o.kickEvery = 2ms;
        return o;
    }
    std::shared_ptr<CRemoteSession::Shared> m_shared;
    CEndpoint m_endpoint;
};

std::optional<ControlReply> CRemoteSession::Shared::Request(uint32_t code,
                                                            std::vector<uint8_t> data,
                                                            uint32_t outLength) {
    std::future<ControlReply> reply;
    uint64_t id = 0;
    {
        std::lock_guard lock(mutex);
        id = nextRequest++;
        reply = pending[id].get_future();
    }
    ControlRequest request{code, outLength, std::move(data)};
    Post([this, id, request] { link->SendControl(id, request); });
    if (reply.wait_for(kRequestWait) != std::future_status::ready) {
        std::lock_guard lock(mutex);
        pending.erase(id);
        return std::nullopt;
    }
    return reply.get();
}

void CRemoteLink::Start() {
    m_tick = new QTimer(this);
    connect(m_tick, &QTimer::timeout, this, [this] { Tick(); });
    m_tick->start(50);
    std::string error;
    if (!UseOpenSslBackend(error) ||
        !ClientTlsConfiguration(m_shared.options.caPath, m_tls, error)) {
        Finish(ConnectOutcome::Failed, error);
        return;
    }
    Connect();
}

void CRemoteLink::Connect() {
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket->deleteLater();
    }
    m_reader.emplace(Reader::Client);
    m_welcomed = false;
    m_socket = new QSslSocket(this);
    m_socket->setSslConfiguration(m_tls);
    connect(m_socket, &QSslSocket::encrypted, this, [this] { OnEncrypted(); });
    connect(m_socket, &QSslSocket::readyRead, this, [this] { OnReadable(); });
    connect(m_socket, &QSslSocket::sslErrors, this, [this](const QList<QSslError>& errors) {
        OnLoss("TLS handshake failed: " +
               (errors.isEmpty() ? std::string("error") : errors[0].errorString().toStdString()));
    });
    connect(m_socket, &QAbstractSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        OnLoss(m_socket->errorString().toStdString());
    });
    connect(m_socket, &QAbstractSocket::disconnected, this,
            [this] { OnLoss("the server closed the connection"); });
    m_lastHeard = m_lastSent = Clock::now();
    m_socket->connectToHostEncrypted(QString::fromStdString(m_shared.options.host),
                                     m_shared.options.port);
}

void CRemoteLink::OnEncrypted() {
    std::vector<uint8_t> out;
    AppendHello(out, {m_shared.options.token, m_sessionId, m_lastHeld});
    Write(out);
}

void CRemoteLink::Write(const std::vector<uint8_t>& bytes) {
    if (!m_socket || !m_socket->isEncrypted()) return;
    m_socket->write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    m_lastSent = Clock::now();
}

void CRemoteLink::SendControl(uint64_t id, const ControlRequest& request) {
    if (!m_welcomed) {
        // Not connected now: the request fails at once, as a driver call
        // on a broken link would.
        std::lock_guard lock(m_shared.mutex);
        if (auto it = m_shared.pending.find(id); it != m_shared.pending.end()) {
            it->second.set_value({});
            m_shared.pending.erase(it);
        }
        return;
    }
    std::vector<uint8_t> out;
    AppendControl(out, id, request);
    Write(out);
}

void CRemoteLink::OnReadable() {
    std::vector<uint8_t> chunk(64 * 1024);
    while (m_socket && m_socket->bytesAvailable() > 0) {
        QSslSocket* socket = m_socket;
        const qint64 n = socket->read(reinterpret_cast<char*>(chunk.data()), 64 * 1024);
        if (n <= 0) break;
        m_lastHeard = Clock::now();
        m_reader->Feed(std::span<const uint8_t>(chunk.data(), static_cast<size_t>(n)));
        std::string error;
        while (socket == m_socket && !m_final) {
            const std::optional<Frame> frame = m_reader->Next(error);
            if (!frame || !OnFrame(*frame, error)) break;
        }
        if (!error.empty()) {
            m_shared.Notice(m_shared.name + " sent a frame that breaks the protocol: " + error);
            OnLoss(error);
            return;
        }
        if (socket != m_socket || m_final) return;
    }
}

bool CRemoteLink::OnWelcome(const Frame& frame, std::string& error) {
    const std::optional<Welcome> w = DecodeWelcome(frame.payload, error);
    if (!w) return false;
    if (m_everWelcomed && w->sessionId != m_sessionId) {
        m_shared.Notice(m_shared.name + " started a new session: records may be missing");
    } else if (m_everWelcomed && w->nextSequence != m_lastHeld + 1) {
        error = "the server resumes at record " + std::to_string(w->nextSequence) +
                ", not after record " + std::to_string(m_lastHeld);
        return false;
    }
    m_sessionId = w->sessionId;
    m_lastHeld = m_lastAcked = w->nextSequence - 1;
    m_welcomed = true;
    m_backoff = kBackoffFirst;
    if (m_reconnecting) {
        m_reconnecting = false;
        std::lock_guard lock(m_shared.mutex);
        ++m_shared.status.reconnects;
    }
    if (m_everWelcomed) m_shared.Notice("Reconnected");
    if (!m_everWelcomed) Finish(ConnectOutcome::Connected, {});
    m_everWelcomed = true;
    return true;
}

bool CRemoteLink::OnRefused(const Frame& frame, std::string& error) {
    const std::optional<Refusal> r = DecodeRefusal(frame.payload, error);
    if (!r) return false;
    if (r->kind == RefusalKind::Token)
        Finish(ConnectOutcome::Refused, m_shared.name + " refused the token");
    else if (r->kind == RefusalKind::Busy)
        Finish(ConnectOutcome::Refused, "busy: " + m_shared.name + " is watched from " + r->text);
    else
        Finish(ConnectOutcome::Refused, m_shared.name + " closed the connection: " + r->text);
    return true;
}

bool CRemoteLink::OnFrame(const Frame& frame, std::string& error) {
    if (!m_welcomed && frame.type != FrameType::Welcome && frame.type != FrameType::Refused) {
        error = "the first frame is neither welcome nor refusal";
        return false;
    }
    switch (frame.type) {
        case FrameType::Welcome:
            return OnWelcome(frame, error);
        case FrameType::Refused:
            return OnRefused(frame, error);
        case FrameType::ControlReply: {
            std::optional<ControlReply> reply = DecodeControlReply(frame.payload, error);
            if (!reply) return false;
            std::lock_guard lock(m_shared.mutex);
            if (auto it = m_shared.pending.find(frame.sequence); it != m_shared.pending.end()) {
                it->second.set_value(std::move(*reply));
                m_shared.pending.erase(it);
            } else if (frame.sequence == 0 && !reply->ok) {
                m_shared.Notice(m_shared.name + ": IOCTL_ACTIVATE_FILTER failed");
            }
            return true;
        }
        case FrameType::Records: {
            const auto records = DecodeRecords(frame.payload, error);
            if (!records) return false;
            if (frame.sequence == 0 || frame.sequence > m_lastHeld + 1) {
                error = "records from " + std::to_string(frame.sequence) + " arrive after record " +
                        std::to_string(m_lastHeld);
                return false;
            }
            OnRecords(frame.sequence, *records);
            return true;
        }
        case FrameType::Dropped: {
            const std::optional<uint64_t> n = DecodeCounter(frame.payload, error);
            if (!n) return false;
            {
                std::lock_guard lock(m_shared.mutex);
                m_shared.status.dropped += *n;
            }
            m_shared.Notice(m_shared.name + " dropped " + std::to_string(*n) +
                            " records: its backlog of unacknowledged records was full");
            return true;
        }
        case FrameType::Closing: {
            const std::optional<std::string> why = DecodeClosing(frame.payload, error);
            if (!why) return false;
            // No new try: the server is going away.
            Finish(ConnectOutcome::Failed, "Connection to " + m_shared.name + " lost");
            return true;
        }
        default:
            return true;  // the server's heartbeat
    }
}

void CRemoteLink::OnRecords(uint64_t first, std::span<const uint8_t> records) {
    std::shared_ptr<CRemoteCore> core;
    {
        std::lock_guard lock(m_shared.mutex);
        core = m_shared.core;
    }
    const size_t count = records.size() / pr::kRecordSize;
    // A resent frame may start before what is held: those are skipped.
    for (size_t i = m_lastHeld + 1 - first; i < count; ++i) {
        IRP_CAPTURE_RECORD record;
        record.Read(records.data() + i * pr::kRecordSize);
        const bool wanted =
            core && record.MajorFunction < pr::kMajorCount &&
            (core->Endpoint().MaskFor(record.DeviceObject) >> record.MajorFunction) & 1u;
        if (wanted && !core->Endpoint().Put(record)) return;  // the application closed the driver
        m_lastHeld = first + i;
    }
    std::lock_guard lock(m_shared.mutex);
    m_shared.status.held = m_lastHeld;
}

void CRemoteLink::OnLoss(const std::string& why) {
    if (m_final) return;
    if (!m_everWelcomed) {
        Finish(ConnectOutcome::Failed, "cannot connect to " + m_shared.name + ": " + why);
        return;
    }
    const auto now = Clock::now();
    if (m_welcomed || !m_reconnecting) {
        m_welcomed = false;
        if (!m_reconnecting) {
            m_reconnecting = true;
            m_lostSince = now;
            m_shared.Notice("Connection to " + m_shared.name + " lost, reconnecting...");
        }
    }
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
    const auto limit = m_shared.options.reconnectLimit;
    if (limit.count() >= 0 && now - m_lostSince >= limit) {
        Finish(ConnectOutcome::Failed, "Connection to " + m_shared.name + " lost");
        return;
    }
    QTimer::singleShot(m_backoff, this, [this] {
        if (!m_final) Connect();
    });
    m_backoff = std::min<std::chrono::milliseconds>(m_backoff * 2, kBackoffMost);
}

void CRemoteLink::Finish(ConnectOutcome outcome, const std::string& message) {
    {
        std::lock_guard lock(m_shared.mutex);
        if (!m_shared.firstOutcome) m_shared.firstOutcome.emplace(outcome, message);
        if (outcome != ConnectOutcome::Connected) {
            m_shared.status.lost = true;
            for (auto& [id, promise] : m_shared.pending) promise.set_value({});
            m_shared.pending.clear();
        }
    }
    m_shared.cv.notify_all();
    if (outcome == ConnectOutcome::Connected) return;
    const bool wasConnected = m_everWelcomed;
    m_final = true;
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
    if (wasConnected) m_shared.Notice(message);
}

void CRemoteLink::Tick() {
    if (!m_welcomed || m_final) return;
    const auto now = Clock::now();
    if (now - m_lastHeard > kSilenceLimit) {
        OnLoss("silent for 15 s");
        return;
    }
    std::vector<uint8_t> out;
    if (m_lastHeld != m_lastAcked) {
        AppendCounter(out, FrameType::Ack, m_lastHeld);
        m_lastAcked = m_lastHeld;
    } else if (now - m_lastSent > kHeartbeatEvery) {
        AppendEmpty(out, FrameType::Heartbeat);
    }
    if (!out.empty()) Write(out);
}

void CRemoteLink::Stop() {
    m_final = true;
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
}

CRemoteSession::CRemoteSession(RemoteSourceOptions options) : m_shared(std::make_shared<Shared>()) {
    m_shared->options = std::move(options);
    const bool v6 = m_shared->options.host.find(':') != std::string::npos;
    m_shared->name = (v6 ? "[" + m_shared->options.host + "]" : m_shared->options.host) + ":" +
                     std::to_string(m_shared->options.port);
    m_shared->link = new CRemoteLink(*m_shared);
    m_shared->link->moveToThread(&m_shared->thread);
    QObject::connect(&m_shared->thread, &QThread::finished, m_shared->link, &QObject::deleteLater);
    m_shared->thread.start();
}

CRemoteSession::~CRemoteSession() {
    std::shared_ptr<CRemoteCore> core;
    {
        std::lock_guard lock(m_shared->mutex);
        core = m_shared->core;
    }
    if (core) core->Endpoint().Shutdown();  // a record writer waiting for room lets go
    CRemoteLink* link = m_shared->link;
    m_shared->Post([link] { link->Stop(); }, Qt::BlockingQueuedConnection);
    m_shared->thread.quit();
    m_shared->thread.wait();
}

ConnectOutcome CRemoteSession::Connect(std::string& message) {
    CRemoteLink* link = m_shared->link;
    m_shared->Post([link] { link->Start(); });
    {
        std::unique_lock lock(m_shared->mutex);
        if (!m_shared->cv.wait_for(lock, kHandshakeWait,
                                   [&] { return m_shared->firstOutcome.has_value(); })) {
            message = "cannot connect to " + m_shared->name + ": no answer within 15 s";
            return ConnectOutcome::Failed;
        }
        if (m_shared->firstOutcome->first != ConnectOutcome::Connected) {
            message = m_shared->firstOutcome->second;
            return m_shared->firstOutcome->first;
        }
    }
    std::vector<uint8_t> speed(pr::kProcSpeedSize, 0);
    const auto speedReply = m_shared->Request(pr::IOCTL_PROCSPEED, speed, pr::kProcSpeedSize);
    std::vector<DeviceRow> rows;
    std::vector<uint8_t> buffer(pr::kEnumSize, 0);
    le::Put32(buffer.data() + pr::kEnumState, static_cast<uint32_t>(pr::kEnumStart));
    while (rows.size() < kMaxRows) {
        const auto reply = m_shared->Request(pr::IOCTL_ENUMDEVICES, buffer, pr::kEnumSize);
        if (!reply || !reply->ok || reply->data.size() != pr::kEnumSize) break;
        buffer = reply->data;
        const uint8_t* b = buffer.data();
        DeviceRow row;
        row.state = static_cast<int32_t>(le::U32(b + pr::kEnumState));
        if (row.state == pr::kEnumDone) break;
        row.deviceObject = le::U32(b + pr::kEnumDeviceObject);
        row.description = Text(b + pr::kEnumDescription, pr::kEnumDescriptionSize);
        row.secondName = Text(b + pr::kEnumSecondName, pr::kEnumSecondNameSize);
        row.objectName = Text(b + pr::kEnumObjectName, pr::kEnumObjectNameSize);
        row.flag = le::U32(b + pr::kEnumFlag);
        rows.push_back(std::move(row));
    }
    std::lock_guard lock(m_shared->mutex);
    m_shared->rows = std::move(rows);
    if (speedReply && speedReply->ok && speedReply->data.size() == pr::kProcSpeedSize)
        m_shared->speed = le::U32(speedReply->data.data());
    return ConnectOutcome::Connected;
}

DriverOpener CRemoteSession::Opener() {
    std::weak_ptr<Shared> weak = m_shared;
    return [weak](const std::string& path) -> std::unique_ptr<IDriverDevice> {
        std::string upper = path;
        std::transform(upper.begin(), upper.end(), upper.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        const std::shared_ptr<Shared> shared = weak.lock();
        if (!shared || upper != pr::kDevicePath) return nullptr;
        std::lock_guard lock(shared->mutex);
        if (!shared->firstOutcome || shared->firstOutcome->first != ConnectOutcome::Connected)
            return nullptr;
        auto core = std::make_shared<CRemoteCore>(shared, shared->speed);
        shared->core = core;
        return std::make_unique<CCoreDeviceHandle<CRemoteCore>>(core);
    };
}

RemoteStatus CRemoteSession::Status() const {
    std::lock_guard lock(m_shared->mutex);
    return m_shared->status;
}

std::string CRemoteSession::Name() const {
    return m_shared->name;
}

}  // namespace vantrel::remote
