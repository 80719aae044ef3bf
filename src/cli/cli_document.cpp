#include "cli/cli_document.h"

#include "catalogue/catalogue.h"
#include "decode/template_buffers.h"

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

std::unique_ptr<CliDocument> OpenCliTraceDocument(const TraceDriverOptions& options,
                                                  const std::string& cataloguePath,
                                                  DocumentServices services) {
    auto cli = std::make_unique<CliDocument>();
    cli->trace = std::make_unique<CTraceDriverSession>(options);
    DriverOpener opener = cli->trace->Opener();
    return OpenWith(std::move(cli), std::move(opener), cataloguePath, std::move(services));
}

std::string CheckTemplateNames(const std::string& cataloguePath, const std::string& inputTemplate,
                               const std::string& outputTemplate,
                               std::shared_ptr<const CTemplateSnapshot>* snapshot) {
    std::string error;
    auto templates = LoadTemplateSnapshot(cataloguePath, &error);
    if (!templates) return "cannot open the catalogue " + cataloguePath + ": " + error;
    for (const std::string* name : {&inputTemplate, &outputTemplate}) {
        if (TemplateNameIsOn(*name) && templates->RowsOf(*name).empty())
            return "no template named \"" + *name + "\" in the catalogue " + cataloguePath;
    }
    if (snapshot) *snapshot = std::move(templates);
    return {};
}

}  // namespace vantrel::cli
