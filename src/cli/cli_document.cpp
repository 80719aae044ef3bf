#include "cli/cli_document.h"

#include "catalogue/catalogue.h"
#include "cli/cli.h"
#include "decode/template_buffers.h"
#include "winlink/win32_device.h"

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

std::unique_ptr<CliDocument> OpenCliDocument(CliSource source, const std::string& cataloguePath,
                                             DocumentServices services) {
    auto cli = std::make_unique<CliDocument>();
    DriverOpener opener;
    switch (source.choice.kind) {
        case SourceKind::Trace:
            cli->trace = std::make_unique<CTraceDriverSession>(std::move(source.trace));
            opener = cli->trace->Opener();
            break;
        case SourceKind::Replay: {
            std::string error;
            cli->replay = CReplayDriverSession::Load({source.choice.file, source.rate}, error);
            if (!cli->replay) {
                Fail(kExitBadInput, error);
                return nullptr;
            }
            opener = cli->replay->Opener();
            break;
        }
        case SourceKind::Kernel:
            opener = OpenCliKernelSession(*cli, source);
            if (!opener) return nullptr;
            break;
        case SourceKind::Remote:
            cli->remote = ConnectRemote(source.remote);
            if (!cli->remote) return nullptr;
            opener = cli->remote->Opener();
            break;
        case SourceKind::Device:
            opener = Win32DriverOpener();
            break;
        case SourceKind::Simulated:
        case SourceKind::None:
            source.sim.absent = source.choice.kind == SourceKind::None;
            cli->driver = std::make_unique<CSimulatedDriverSession>(std::move(source.sim));
            opener = cli->driver->Opener();
            break;
    }
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
