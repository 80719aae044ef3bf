#include "gui/vantrel_app.h"

#include <QCoreApplication>
#include <QSettings>

#include "document/document.h"
#include "document/settings.h"
#include "gui/dialog_runner.h"
#include "gui/qt_prompts.h"
#include "gui/results_pane.h"

namespace vantrel {

QString CommandLineFile(const QStringList& arguments) {
    for (const QString& argument : arguments) {
        if (argument.isEmpty() || argument.startsWith(QLatin1Char('-'))) continue;
        return argument;
    }
    return {};
}

CVantrelApp::CVantrelApp(AppServices services)
    : m_services(std::move(services)), m_recent(kRecentFileCount) {
    if (!m_services.prompts) {
        m_qtPrompts = std::make_unique<CQtPrompts>();
        m_services.prompts = m_qtPrompts.get();
    }
    if (!m_services.dialogs) {
        m_modal = std::make_unique<CModalDialogRunner>();
        m_services.dialogs = m_modal.get();
    }
    if (m_services.helpDir.isEmpty()) m_services.helpDir = QCoreApplication::applicationDirPath();
}

CVantrelApp::~CVantrelApp() = default;

void CVantrelApp::AddRecentFile(const std::string& path) {
    if (!m_services.settings) return;
    m_recent.Add(path);
    if (const auto profile = m_services.settings->OpenFrameworkProfile()) m_recent.Write(*profile);
}

bool CVantrelApp::InitInstance(const QStringList& arguments, int showCmd) {
    if (m_services.settings) {
        if (const auto profile = m_services.settings->OpenFrameworkProfile())
            m_recent.Read(*profile);
    }

    FrameServices frameServices;
    frameServices.prompts = m_services.prompts;
    frameServices.dialogs = m_services.dialogs;
    frameServices.settings = m_services.settings;
    frameServices.helpDir = m_services.helpDir;
    frameServices.fileUsed = [this](const std::string& path) { AddRecentFile(path); };
    frameServices.driverDropped = m_services.driverDropped;
    auto frame = std::make_unique<CMainFrame>(std::move(frameServices));
    if (m_qtPrompts) m_qtPrompts->SetParent(frame.get());

    DocumentServices documentServices;
    documentServices.openDriver = m_services.openDriver;
    documentServices.driverHost = m_services.driverHost;
    documentServices.prompts = m_services.prompts;
    documentServices.settings = m_services.settings;
    documentServices.results = frame->GetResultsPane();
    documentServices.view = frame.get();
    documentServices.catalogue = CataloguePolicy::DefaultOrAsk;
    auto document = std::make_unique<CVantrelDoc>(std::move(documentServices));
    if (!document->OnNewDocument()) {
        if (m_qtPrompts) m_qtPrompts->SetParent(nullptr);
        return false;
    }
    frame->AttachDocument(std::move(document));

    const QString file = CommandLineFile(arguments);
    if (!file.isEmpty()) {
        if (!frame->Document()->OpenFile(file.toStdString())) {
            if (m_qtPrompts) m_qtPrompts->SetParent(nullptr);
            return false;
        }
        AddRecentFile(frame->Document()->PathName());
    }

    m_frame = std::move(frame);
    m_frame->ActivateFrame(showCmd);
    return true;
}

}  // namespace vantrel
