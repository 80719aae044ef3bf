#pragma once
// The CLI on a source served by another machine: `--connect HOST:PORT --ca
// CA.pem --token-file FILE [--reconnect-limit S]`, or
// VANTREL_DRIVER=remote:HOST:PORT with VANTREL_CA and VANTREL_TOKEN_FILE.

#include <memory>
#include <string>

#include "cli/cli.h"
#include "endpoint/source_choice.h"
#include "remote/remote_source.h"

namespace vantrel::cli {

struct RemoteRequest {
    std::string connect, ca, tokenFile;
    double reconnectSeconds = 10;
};

// Takes the remote options out of `args` (the words before a `--`); with
// --connect the choice becomes the remote source. For a remote choice the
// address, CA and token file missing from the command line come from the
// environment. Returns kExitOk or the exit code after its message.
int TakeRemoteOptions(Args& args, SourceChoice& choice, RemoteRequest& request);

// Connects; null after one line on stderr (a refused token: "HOST:PORT
// refused the token"; the caller exits 2).
std::unique_ptr<remote::CRemoteSession> ConnectRemote(const RemoteRequest& request);

}  // namespace vantrel::cli
