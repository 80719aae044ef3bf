#include "cli/cli_document.h"

namespace vantrel::cli {

std::unique_ptr<CliDocument> OpenCliDocument(const SimulatedDriverOptions& options,
                                             const std::string& cataloguePath,
                                             DocumentServices services) {
    auto cli = std::make_unique<CliDocument>();
    cli->driver = std::make_unique<CSimulatedDriverSession>(options);
    services.openDriver = cli->driver->Opener();
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

}  // namespace vantrel::cli
