#pragma once
// The desktop program on a source served by another machine: `vantrel
// --connect HOST:PORT --ca CA.pem --token-file FILE` (or
// VANTREL_DRIVER=remote:HOST:PORT with VANTREL_CA and VANTREL_TOKEN_FILE).
// The connection is made before any window; its notices become grey lines
// in the results pane of the document that the relay is given.

#include <memory>
#include <mutex>
#include <string>

#include "remote/remote_source.h"

namespace vantrel {

class CVantrelDoc;

// Hands the network thread's notices to the document on the GUI thread.
class CNoticeRelay {
public:
    void Attach(CVantrelDoc* doc);
    void Post(const std::string& text);  // any thread

private:
    std::shared_ptr<std::mutex> m_mutex = std::make_shared<std::mutex>();
    std::shared_ptr<CVantrelDoc*> m_doc = std::make_shared<CVantrelDoc*>(nullptr);
};

struct RemoteStart {
    std::string address, ca, tokenFile;
};

// Connects (the Qt application exists already); null after one line on
// stderr ("HOST:PORT refused the token", or why it failed).
std::unique_ptr<remote::CRemoteSession> ConnectDesktop(RemoteStart start, CNoticeRelay& relay);

}  // namespace vantrel
