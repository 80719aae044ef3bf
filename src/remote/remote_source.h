#pragma once
// CRemoteSession: a capture source on another machine, served there by
// `vantrel-cli serve`, as a driver behind "\\.\KLAVDRIVER" here. The
// server's answers stand for the driver's: its device rows and processor
// speed are read once at connection, its filters follow the application's;
// the ring and the data-ready event stay here, where this machine's
// endpoint writes the arriving records, with the server's tick values.
//
// Nothing lost, nothing doubled: every record arrives numbered; a record
// counts as held once it is in the application's ring, and the server is
// told so. A connection that drops is made again, with backoff, resuming
// after the last record held, until the reconnect limit passes.
//
// Threads: the network runs on a thread of its own (ordinary priority),
// which also writes the records into the ring. Connect and the opener's
// device are called from the creator's thread; notices come from the
// network thread.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "record/driver_device.h"

namespace vantrel::remote {

struct RemoteSourceOptions {
    std::string host;
    uint16_t port = 0;
    std::string caPath;
    std::string token;
    // How long a lost connection is tried again; negative: forever.
    std::chrono::milliseconds reconnectLimit{10'000};
    // "Connection to HOST:PORT lost, reconnecting...", "Reconnected",
    // "Connection to HOST:PORT lost", and what the server says about drops.
    std::function<void(const std::string&)> notice;
};

enum class ConnectOutcome { Connected, Refused, Failed };

struct RemoteStatus {
    bool lost = false;     // the connection is gone for good
    uint64_t held = 0;     // records written into the ring
    uint64_t dropped = 0;  // records the server lost (its backlog was full)
    unsigned reconnects = 0;
};

class CRemoteSession {
public:
    explicit CRemoteSession(RemoteSourceOptions options);
    ~CRemoteSession();
    CRemoteSession(const CRemoteSession&) = delete;
    CRemoteSession& operator=(const CRemoteSession&) = delete;

    // Connects and reads the server's device rows and processor speed.
    // Refused: `message` is the one line to show ("HOST:PORT refused the
    // token", "busy: HOST:PORT is watched from ADDRESS"); Failed: why not.
    ConnectOutcome Connect(std::string& message);
    // Opens "\\.\KLAVDRIVER" as this session's source (null for any other
    // path or before Connect succeeded).
    DriverOpener Opener();
    RemoteStatus Status() const;
    std::string Name() const;  // HOST:PORT

    struct Shared;

private:
    std::shared_ptr<Shared> m_shared;
};

}  // namespace vantrel::remote
