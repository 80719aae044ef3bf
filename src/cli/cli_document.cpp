#include "cli/cli_document.h"

namespace vantrel::cli {
namespace {

std::unique_ptr<CliDocument> OpenWith(std::unique_ptr<CliDocument> cli, DriverOpener opener,
                                      const std::string& cataloguePath, DocumentServices services) {
    services.openDriver = std::move(opener);
    services.prompts = &cli->prompts;
    services.settings = nullptr;
    services.results = &cli->out;
    services.notices = &cli->notices;
    services.catalogue = CataloguePolicy::PathIfGiven;
    services.cataloguePath = cataloguePath;
    cli->doc = std::make_unique<CVantrelDoc>(std::move(services));
    if (!cli->doc->OnNewDocument()) return nullptr;
    return cli;
}

}  // namespace

std::unique_ptr<CliDocument> OpenCliDocument(const SimulatedDriverOptions& options,
                                             const std::string& cataloguePath,
                                             DocumentServices services) {
    auto cli = std::make_unique<CliDocument>();
    cli->driver = std::make_unique<CSimulatedDriverSession>(options);
    DriverOpener opener = cli->driver->Opener();
    return OpenWith(std::move(cli), std::move(opener), cataloguePath, std::move(services));
}

std::unique_ptr<CliDocument> OpenCliRemoteDocument(std::unique_ptr<remote::CRemoteSession> session,
                                                   const std::string& cataloguePath,
                                                   DocumentServices services) {
    auto cli = std::make_unique<CliDocument>();
    cli->remote = std::move(session);
    DriverOpener opener = cli->remote->Opener();
    return OpenWith(std::move(cli), std::move(opener), cataloguePath, std::move(services));
}

std::unique_ptr<CliDocument> OpenCliTraceDocument(const TraceDriverOptions& options,
                                                  const std::string& cataloguePath,
                                                  DocumentServices services) {
    auto cli = std::make_unique<CliDocument>();
    cli->trace = std::make_unique<CTraceDriverSession>(options);
    DriverOpener opener = cli->trace->Opener();
    return OpenWith(std::move(cli), std::move(opener), cataloguePath, std::move(services));
}

}  // namespace vantrel::cli
