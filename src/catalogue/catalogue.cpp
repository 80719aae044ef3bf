#include "catalogue/catalogue.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <atomic>
#include <unordered_set>

#include "catalogue/db_text.h"

namespace vantrel {

// ---------------------------------------------------------------- recordsets

CIoctlSet::CIoctlSet()
    : CRecordset("Ioctls", {{kIoctl, FieldKind::Integer},
                            {kObject, FieldKind::Text},
                            {kInputBuffer, FieldKind::Text},
                            {kOutputBuffer, FieldKind::Text},
                            {kIoctlName, FieldKind::Text}}) {}

void CIoctlSet::LoadFields(const std::vector<FieldValue>& row) {
    m_Ioctl = std::get<int32_t>(row[0]);
    m_Object = std::get<std::string>(row[1]);
    m_InputBuffer = std::get<std::string>(row[2]);
    m_OutputBuffer = std::get<std::string>(row[3]);
    m_IoctlName = std::get<std::string>(row[4]);
}

std::vector<FieldValue> CIoctlSet::StoreFields() const {
    return {m_Ioctl, m_Object, m_InputBuffer, m_OutputBuffer, m_IoctlName};
}

void CIoctlSet::ClearFields() {
    m_Ioctl = 0;
    m_Object.clear();
    m_InputBuffer.clear();
    m_OutputBuffer.clear();
    m_IoctlName.clear();
}

CTemplateSet::CTemplateSet()
    : CRecordset("Templates", {{kName, FieldKind::Text},
                               {kType, FieldKind::Text},
                               {kValueName, FieldKind::Text},
                               {kOffset, FieldKind::Integer}}) {}

void CTemplateSet::LoadFields(const std::vector<FieldValue>& row) {
    m_Name = std::get<std::string>(row[0]);
    m_Type = std::get<std::string>(row[1]);
    m_ValueName = std::get<std::string>(row[2]);
    m_Offset = std::get<int32_t>(row[3]);
}

std::vector<FieldValue> CTemplateSet::StoreFields() const {
    return {m_Name, m_Type, m_ValueName, m_Offset};
}

void CTemplateSet::ClearFields() {
    m_Name.clear();
    m_Type.clear();
    m_ValueName.clear();
    m_Offset = 0;
}

// ----------------------------------------------------------------- catalogue

namespace {

std::string NewConnectionName() {
    static std::atomic<unsigned> counter{0};
    return "vantrel.catalogue." + std::to_string(++counter);
}

QString LocalPath(const std::string& path) {
    return QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size())));
}

// A read-write SQLite URI for `path` that never creates the file.
QString ReadWriteUri(const std::string& path) {
    const QString absolute = QFileInfo(LocalPath(path)).absoluteFilePath();
    return QUrl::fromLocalFile(absolute).toString(QUrl::FullyEncoded) + QStringLiteral("?mode=rw");
}

// Opens a connection named `name` on `path`; on failure the connection is
// removed again and `error` holds the engine's text.
bool OpenConnection(const std::string& name, const std::string& path, std::string& error) {
    if (path.empty()) {
        error = "No catalogue file name was given.";
        return false;
    }
    const QString qname = QString::fromStdString(name);
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), qname);
        if (!db.isValid()) {
            error = "The SQLite driver of Qt Sql is not available.";
        } else {
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI"));
            db.setDatabaseName(ReadWriteUri(path));
            ok = db.open();
            if (!ok) error = DbErrorText(db.lastError());
        }
    }
    if (!ok) QSqlDatabase::removeDatabase(qname);
    return ok;
}

bool SchemaReadable(const std::string& name, std::string& error) {
    QSqlDatabase db = QSqlDatabase::database(QString::fromStdString(name), false);
    QSqlQuery query(db);
    if (query.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) && query.next())
        return true;
    error = DbErrorText(query.lastError());
    return false;
}

void CloseConnection(const std::string& name) {
    const QString qname = QString::fromStdString(name);
    {
        QSqlDatabase db = QSqlDatabase::database(qname, false);
        if (db.isValid()) db.close();
    }
    QSqlDatabase::removeDatabase(qname);
}

}  // namespace

CCatalogue::CCatalogue() : m_connection(NewConnectionName()) {
    m_templates.SetChangeHook([this] {
        if (m_publisher) Republish();
    });
}

CCatalogue::~CCatalogue() {
    Close();
}

bool CCatalogue::Fail(std::string message, std::string* error) {
    m_error = std::move(message);
    if (error) *error = m_error;
    return false;
}

bool CCatalogue::Open(const std::string& path, std::string* error) {
    Close();
    std::string text;
    if (!OpenConnection(m_connection, path, text)) return Fail(text, error);
    // The engine reads the schema on first use: a file that is not a
    // database fails here, as an open fails for the engine itself.
    if (!SchemaReadable(m_connection, text)) {
        CloseConnection(m_connection);
        return Fail(text, error);
    }
    m_ioctls.Attach(m_connection);
    m_templates.Attach(m_connection);
    m_recordsetError.clear();
    if (!m_ioctls.Open()) m_recordsetError = m_ioctls.GetLastError();
    if (!m_templates.Open() && m_recordsetError.empty())
        m_recordsetError = m_templates.GetLastError();
    m_open = true;
    m_path = path;
    m_error.clear();
    if (m_publisher) Republish();
    return true;
}

bool CCatalogue::OpenRecordset(CRecordset& set, std::string* error) {
    if (!m_open) return Fail("The catalogue is not open.", error);
    set.Attach(m_connection);
    if (!set.Open()) return Fail(set.GetLastError(), error);
    return true;
}

void CCatalogue::Close() {
    if (!m_open) return;
    m_ioctls.Detach();
    m_templates.Detach();
    CloseConnection(m_connection);
    m_open = false;
    m_path.clear();
}

std::vector<std::string> SplitSqlScript(std::string_view s) {
    std::vector<std::string> out;
    std::string cur;
    auto flush = [&] {
        if (cur.find_first_not_of(" \t\r\n") != std::string::npos) out.push_back(cur);
        cur.clear();
    };
    for (size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
            while (i < s.size() && s[i] != '\n') ++i;
            cur += '\n';
        } else if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
            const size_t end = s.find("*/", i + 2);
            i = end == std::string_view::npos ? s.size() : end + 1;
            cur += ' ';
        } else if (c == '\'' || c == '"' || c == '[') {
            const char close = c == '[' ? ']' : c;
            cur += c;
            for (++i; i < s.size(); ++i) {
                cur += s[i];
                if (s[i] != close) continue;
                if (close != ']' && i + 1 < s.size() && s[i + 1] == close) {
                    cur += s[++i];  // doubled quote inside the literal
                    continue;
                }
                break;
            }
        } else if (c == ';') {
            flush();
        } else {
            cur += c;
        }
    }
    flush();
    return out;
}

bool CCatalogue::Create(const std::string& path, bool withSample, std::string* error) {
    auto fail = [&](std::string message) {
        if (error) *error = std::move(message);
        return false;
    };
    if (path.empty()) return fail("No catalogue file name was given.");
    QFile file(LocalPath(path));
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        if (QFileInfo::exists(file.fileName()) || QFileInfo(file.fileName()).isSymLink())
            return fail("The file " + path + " already exists.");
        return fail("Cannot create " + path + ": " + file.errorString().toStdString());
    }
    file.close();

    const std::string name = NewConnectionName();
    std::string text;
    bool ok = OpenConnection(name, path, text);
    if (ok) {
        QSqlDatabase db = QSqlDatabase::database(QString::fromStdString(name), false);
        ok = db.transaction();
        if (!ok) text = DbErrorText(db.lastError());
        std::vector<std::string> statements = SplitSqlScript(CatalogueSchemaSql());
        if (withSample) {
            for (std::string& st : SplitSqlScript(SampleCatalogueSql())) statements.push_back(st);
        }
        for (size_t i = 0; ok && i < statements.size(); ++i) {
            QSqlQuery q(db);
            ok = q.exec(QString::fromStdString(statements[i]));
            if (!ok) text = DbErrorText(q.lastError());
        }
        if (ok) {
            ok = db.commit();
            if (!ok) text = DbErrorText(db.lastError());
        } else {
            db.rollback();
        }
        db = QSqlDatabase();
        CloseConnection(name);
    }
    if (!ok) {
        QFile::remove(file.fileName());
        return fail("Cannot create the catalogue " + path + ": " + text);
    }
    return true;
}

bool CCatalogue::FindIoctl(uint32_t code, std::string_view objectName) {
    if (!m_open || !m_ioctls.IsOpen()) return false;
    if (m_ioctls.IsBOF() && m_ioctls.IsEOF()) return false;
    return m_ioctls.FindFirst({{CIoctlSet::kIoctl, StoredIoctlCode(code)},
                               {CIoctlSet::kObject, std::string(objectName)}});
}

bool CCatalogue::SaveIoctl(uint32_t code, std::string_view objectName, std::string_view ioctlName,
                           std::string_view inputTemplate, std::string_view outputTemplate,
                           std::string* error) {
    if (!m_open) return Fail("The catalogue is not open.", error);
    CIoctlSet& set = m_ioctls;
    // See rows that were stored since the last look, so that an existing
    // pair is edited rather than added a second time.
    if (set.GetFilter().empty() && !set.Requery()) return Fail(set.GetLastError(), error);
    const bool ok = FindIoctl(code, objectName) ? set.Edit() : set.AddNew();
    if (!ok) return Fail(set.GetLastError(), error);
    set.m_Ioctl = StoredIoctlCode(code);
    set.m_IoctlName = std::string(ioctlName);
    set.m_Object = std::string(objectName);
    set.m_OutputBuffer = std::string(outputTemplate);
    set.m_InputBuffer = std::string(inputTemplate);
    if (!set.Update()) {
        std::string text = set.GetLastError();
        set.CancelUpdate();
        return Fail(std::move(text), error);
    }
    m_error.clear();
    return true;
}

std::vector<std::string> CCatalogue::TemplateNames() {
    std::vector<std::string> names;
    if (!m_open) return names;
    CTemplateSet& set = m_templates;
    set.ClearFilter();
    if (!set.Requery()) return names;
    std::unordered_set<std::string> seen;
    for (set.MoveFirst(); !set.IsEOF(); set.MoveNext()) {
        if (seen.insert(set.m_Name).second) names.push_back(set.m_Name);
    }
    return names;
}

bool CCatalogue::SelectTemplate(std::string_view name) {
    if (!m_open) return false;
    CTemplateSet& set = m_templates;
    set.SetFilter({{CTemplateSet::kName, std::string(name)}});
    set.SetSort({CTemplateSet::kOffset});
    if (!set.Requery()) return Fail(set.GetLastError(), nullptr);
    set.MoveFirst();
    return true;
}

void CCatalogue::SetTemplatePublisher(TemplatePublisher publisher) {
    m_publisher = std::move(publisher);
    if (m_publisher && m_open) Republish();
}

void CCatalogue::Republish() {
    if (auto snapshot = ReadTemplateSnapshot(nullptr)) m_publisher(std::move(snapshot));
}

std::vector<TemplateRow> CCatalogue::ReadTemplateRows(std::string* error) {
    std::vector<TemplateRow> rows;
    if (!m_open) {
        Fail("The catalogue is not open.", error);
        return rows;
    }
    CTemplateSet reader;
    reader.Attach(m_connection);
    if (!reader.Open()) {
        Fail(reader.GetLastError(), error);
        return rows;
    }
    rows.reserve(reader.GetRecordCount());
    for (reader.MoveFirst(); !reader.IsEOF(); reader.MoveNext()) {
        rows.push_back({reader.m_Name, reader.m_Type, reader.m_ValueName, reader.m_Offset});
    }
    return rows;
}

std::shared_ptr<const CTemplateSnapshot> CCatalogue::ReadTemplateSnapshot(std::string* error) {
    std::string text;
    std::vector<TemplateRow> rows = ReadTemplateRows(&text);
    if (!text.empty()) {
        if (error) *error = text;
        return nullptr;
    }
    return std::make_shared<const CTemplateSnapshot>(std::move(rows));
}

std::vector<IoctlRow> CCatalogue::ReadIoctls(std::string* error) {
    std::vector<IoctlRow> rows;
    if (!m_open) {
        Fail("The catalogue is not open.", error);
        return rows;
    }
    CIoctlSet reader;
    reader.Attach(m_connection);
    if (!reader.Open()) {
        Fail(reader.GetLastError(), error);
        return rows;
    }
    for (reader.MoveFirst(); !reader.IsEOF(); reader.MoveNext()) {
        rows.push_back({reader.m_Ioctl, reader.m_Object, reader.m_InputBuffer,
                        reader.m_OutputBuffer, reader.m_IoctlName});
    }
    return rows;
}

std::shared_ptr<const CTemplateSnapshot> LoadTemplateSnapshot(const std::string& dbPath,
                                                              std::string* error) {
    CCatalogue catalogue;
    if (!catalogue.Open(dbPath, error)) return nullptr;
    return catalogue.ReadTemplateSnapshot(error);
}

}  // namespace vantrel
