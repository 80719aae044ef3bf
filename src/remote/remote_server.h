#pragma once
// CRemoteServer: the network side of `serve`. It accepts TLS connections,
// wants the token in the first frame within 5 s, lets one client control
// the hosted source at a time, answers its control requests from the
// source and sends it the source's records in numbered frames, resuming
// after the last record a reconnecting client holds.
//
// Thread: everything here runs on the thread of the Qt event loop that
// created the server; the hosted source's drain thread only posts a wake-up
// to it. Log lines (one per connection, refusal, disconnection) go to the
// given function on that thread.

#include <QSslConfiguration>
#include <QTcpServer>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "remote/hosted_source.h"

class QSslSocket;
class QTimer;

namespace vantrel::remote {

struct ServeOptions {
    std::string host;  // address to listen on
    uint16_t port = 0;
    QSslConfiguration tls;
    std::string token;
    bool logSent = false;  // a log line for every records frame handed to the network
};

class CRemoteServer final : public QTcpServer {
public:
    using Log = std::function<void(const std::string&)>;
    CRemoteServer(ServeOptions options, CHostedSource& source, Log log);
    ~CRemoteServer() override;

    bool Start(std::string& error);
    // Tells every client that the server stops and closes the connections.
    void Close(const std::string& reason);
    // Called from any thread when the source has new records.
    void RecordsReady();
    uint16_t Port() const { return serverPort(); }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    struct Connection;
    void OnReadable(Connection* c);
    bool OnFrame(Connection* c, const struct Frame& frame, std::string& error);
    void OnHello(Connection* c, const struct Hello& hello);
    void Admit(Connection* c, const struct Hello& hello);
    void Refuse(Connection* c, uint8_t kind, const std::string& text, const std::string& why);
    void Drop(Connection* c, const std::string& why);
    void Forget(Connection* c);
    bool Alive(const Connection* c) const;
    void Send(Connection* c, const std::vector<uint8_t>& bytes);
    void Pump();
    void Tick();

    ServeOptions m_options;
    CHostedSource& m_source;
    Log m_log;
    std::vector<std::unique_ptr<Connection>> m_connections;
    Connection* m_controlling = nullptr;
    uint64_t m_sessionId = 0;
    uint64_t m_toldDropped = 0;
    std::map<std::string, std::pair<unsigned, std::chrono::steady_clock::time_point>> m_failures;
    QTimer* m_tick = nullptr;
    std::atomic<bool> m_pumpQueued{false};
};

}  // namespace vantrel::remote
