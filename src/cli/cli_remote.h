#pragma once
// The CLI on a source served by another machine: `--connect HOST:PORT --ca
// CA.pem --token-file FILE`, or VANTREL_DRIVER=remote:HOST:PORT with
// VANTREL_CA and VANTREL_TOKEN_FILE.

#include <memory>
#include <string>

#include "cli/cli.h"
#include "cli/cli_document.h"

namespace vantrel::cli {

struct RemoteRequest {
    std::string connect, ca, tokenFile;
    double reconnectSeconds = 10;
    bool On() const { return !connect.empty(); }
};

// Takes a remote option at args[i] (moving i past its value); false when
// args[i] is not one. `error` is set when its value is missing or bad.
bool TakeRemoteOption(const Args& args, size_t& i, RemoteRequest& request, std::string& error);

// Fills what the command line left out from the environment.
void RemoteFromEnvironment(RemoteRequest& request);

// Connects and opens the document on the remote source; null with the exit
// code in `exitCode` after one line on stderr (a refused token: "HOST:PORT
// refused the token").
std::unique_ptr<CliDocument> OpenRemoteDocument(const RemoteRequest& request,
                                                const std::string& cataloguePath,
                                                DocumentServices services, int& exitCode);

}  // namespace vantrel::cli
