#include "catalogue/recordset.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <limits>

#include "catalogue/db_text.h"

namespace vantrel {

namespace {

QString Quoted(std::string_view identifier) {
    QString q = QStringLiteral("\"");
    for (char c : identifier) {
        if (c == '"') q += QLatin1Char('"');
        q += QLatin1Char(c);
    }
    q += QLatin1Char('"');
    return q;
}

QVariant Bound(const FieldValue& v) {
    if (const int32_t* i = std::get_if<int32_t>(&v)) return QVariant(static_cast<int>(*i));
    return QVariant(ToDbText(std::get<std::string>(v)));
}

}  // namespace

CRecordset::CRecordset(std::string table, std::vector<FieldDef> fields)
    : m_table(std::move(table)), m_fields(std::move(fields)) {}

CRecordset::~CRecordset() = default;

void CRecordset::Attach(const std::string& connectionName) {
    if (connectionName != m_connection) Close();
    m_connection = connectionName;
}

void CRecordset::Detach() {
    Close();
    m_connection.clear();
}

bool CRecordset::Open() {
    if (m_open) return Succeed();
    if (m_connection.empty()) return Fail("The catalogue is not open.");
    m_open = true;
    if (!Requery()) {
        m_open = false;
        return false;
    }
    return true;
}

void CRecordset::Close() {
    m_open = false;
    m_rows.clear();
    m_live = 0;
    m_pos = -1;
    m_editMode = EditMode::None;
}

bool CRecordset::Fail(std::string message) {
    m_error = std::move(message);
    return false;
}

int CRecordset::FieldIndex(std::string_view column) const {
    for (size_t i = 0; i < m_fields.size(); ++i) {
        if (column == m_fields[i].name) return static_cast<int>(i);
    }
    return -1;
}

bool CRecordset::CheckTerms(const RecordFilter& terms) {
    for (const FilterTerm& t : terms) {
        const int i = FieldIndex(t.column);
        if (i < 0) return Fail("The table " + m_table + " has no field named " + t.column + ".");
        const bool isInt = std::holds_alternative<int32_t>(t.value);
        if (isInt != (m_fields[static_cast<size_t>(i)].kind == FieldKind::Integer))
            return Fail("The field " + t.column + " cannot be compared with a value of that type.");
    }
    return true;
}

bool CRecordset::SetFilter(RecordFilter filter) {
    if (!CheckTerms(filter)) return false;
    m_filter = std::move(filter);
    return Succeed();
}

bool CRecordset::SetSort(std::vector<std::string> columns) {
    for (const std::string& c : columns) {
        if (FieldIndex(c) < 0)
            return Fail("The table " + m_table + " has no field named " + c + ".");
    }
    m_sort = std::move(columns);
    return Succeed();
}

bool CRecordset::Select(const RecordFilter& filter, const std::vector<std::string>& sort,
                        std::vector<Row>& rows) {
    QSqlDatabase db = QSqlDatabase::database(QString::fromStdString(m_connection), false);
    if (!db.isOpen()) return Fail("The catalogue is not open.");

    QString sql = QStringLiteral("SELECT rowid");
    for (const FieldDef& f : m_fields) sql += QStringLiteral(", ") + Quoted(f.name);
    sql += QStringLiteral(" FROM ") + Quoted(m_table);
    for (size_t i = 0; i < filter.size(); ++i) {
        sql += (i == 0 ? QStringLiteral(" WHERE ") : QStringLiteral(" AND ")) +
               Quoted(filter[i].column) + QStringLiteral(" = ?");
    }
    sql += QStringLiteral(" ORDER BY ");
    for (const std::string& c : sort) sql += Quoted(c) + QStringLiteral(", ");
    sql += QStringLiteral("rowid");

    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.prepare(sql)) return Fail(DbErrorText(q.lastError()));
    for (const FilterTerm& t : filter) q.addBindValue(Bound(t.value));
    if (!q.exec()) return Fail(DbErrorText(q.lastError()));

    rows.clear();
    while (q.next()) {
        Row row;
        row.rowid = q.value(0).toLongLong();
        row.values.reserve(m_fields.size());
        for (size_t i = 0; i < m_fields.size(); ++i) {
            const QVariant v = q.value(static_cast<int>(i + 1));
            if (m_fields[i].kind == FieldKind::Text) {
                row.values.emplace_back(FromDbText(v));
                continue;
            }
            int32_t n = 0;
            if (!FromDbInteger(v, n)) {
                return Fail(std::string("The field ") + m_fields[i].name + " of table " + m_table +
                            " holds a value that is not a 32-bit number.");
            }
            row.values.emplace_back(n);
        }
        rows.push_back(std::move(row));
    }
    if (q.lastError().isValid()) return Fail(DbErrorText(q.lastError()));
    return true;
}

bool CRecordset::Requery() {
    if (!m_open) return Fail("The recordset is not open.");
    m_editMode = EditMode::None;
    std::vector<Row> rows;
    if (!Select(m_filter, m_sort, rows)) return false;
    m_rows = std::move(rows);
    m_live = m_rows.size();
    m_pos = m_rows.empty() ? -1 : 0;
    LoadCurrent();
    return Succeed();
}

bool CRecordset::IsBOF() const {
    return m_live == 0 || m_pos < 0;
}

bool CRecordset::IsEOF() const {
    return m_live == 0 || m_pos >= static_cast<ptrdiff_t>(m_rows.size());
}

bool CRecordset::HasCurrent() const {
    return !IsBOF() && !IsEOF() && !m_rows[static_cast<size_t>(m_pos)].deleted;
}

void CRecordset::LoadCurrent() {
    if (HasCurrent()) LoadFields(m_rows[static_cast<size_t>(m_pos)].values);
}

void CRecordset::MoveFirst() {
    m_editMode = EditMode::None;
    m_pos = -1;
    for (size_t i = 0; i < m_rows.size(); ++i) {
        if (!m_rows[i].deleted) {
            m_pos = static_cast<ptrdiff_t>(i);
            break;
        }
    }
    LoadCurrent();
}

void CRecordset::MoveLast() {
    m_editMode = EditMode::None;
    m_pos = static_cast<ptrdiff_t>(m_rows.size());
    for (size_t i = m_rows.size(); i-- > 0;) {
        if (!m_rows[i].deleted) {
            m_pos = static_cast<ptrdiff_t>(i);
            break;
        }
    }
    LoadCurrent();
}

void CRecordset::MoveNext() {
    if (IsEOF()) return;
    m_editMode = EditMode::None;
    const auto size = static_cast<ptrdiff_t>(m_rows.size());
    ptrdiff_t i = m_pos + 1;
    while (i < size && m_rows[static_cast<size_t>(i)].deleted) ++i;
    m_pos = i;
    LoadCurrent();
}

void CRecordset::MovePrev() {
    if (IsBOF()) return;
    m_editMode = EditMode::None;
    ptrdiff_t i = m_pos - 1;
    while (i >= 0 && m_rows[static_cast<size_t>(i)].deleted) --i;
    m_pos = i;
    LoadCurrent();
}

bool CRecordset::Matches(const Row& row, const RecordFilter& criteria) const {
    for (const FilterTerm& t : criteria) {
        if (row.values[static_cast<size_t>(FieldIndex(t.column))] != t.value) return false;
    }
    return true;
}

bool CRecordset::FindFirst(const RecordFilter& criteria) {
    if (!CheckTerms(criteria)) return false;
    for (size_t i = 0; i < m_rows.size(); ++i) {
        if (!m_rows[i].deleted && Matches(m_rows[i], criteria)) {
            m_editMode = EditMode::None;
            m_pos = static_cast<ptrdiff_t>(i);
            LoadCurrent();
            return Succeed();
        }
    }
    m_error.clear();
    return false;
}

bool CRecordset::AddNew() {
    if (!m_open) return Fail("The recordset is not open.");
    m_editMode = EditMode::Add;
    ClearFields();
    return Succeed();
}

bool CRecordset::Edit() {
    if (!m_open) return Fail("The recordset is not open.");
    if (!HasCurrent()) return Fail("No current record.");
    m_editMode = EditMode::Edit;
    return Succeed();
}

bool CRecordset::CheckTexts(const std::vector<FieldValue>& values) {
    for (size_t i = 0; i < m_fields.size(); ++i) {
        const std::string* s = std::get_if<std::string>(&values[i]);
        if (s && s->size() > kMaxCatalogueText) {
            return Fail(std::string("The text for the field ") + m_fields[i].name + " is " +
                        std::to_string(s->size()) + " characters long; at most " +
                        std::to_string(kMaxCatalogueText) + " characters are allowed.");
        }
    }
    return true;
}

bool CRecordset::Update() {
    if (m_editMode == EditMode::None) return Fail("Update without AddNew or Edit.");
    QSqlDatabase db = QSqlDatabase::database(QString::fromStdString(m_connection), false);
    if (!m_open || !db.isOpen()) return Fail("The catalogue is not open.");

    std::vector<FieldValue> values = StoreFields();
    if (!CheckTexts(values)) return false;

    QSqlQuery q(db);
    QString sql;
    if (m_editMode == EditMode::Add) {
        QString names, marks;
        for (size_t i = 0; i < m_fields.size(); ++i) {
            if (i) {
                names += QStringLiteral(", ");
                marks += QStringLiteral(", ");
            }
            names += Quoted(m_fields[i].name);
            marks += QLatin1Char('?');
        }
        sql = QStringLiteral("INSERT INTO ") + Quoted(m_table) + QStringLiteral(" (") + names +
              QStringLiteral(") VALUES (") + marks + QStringLiteral(")");
    } else {
        if (!HasCurrent()) return Fail("No current record.");
        sql = QStringLiteral("UPDATE ") + Quoted(m_table) + QStringLiteral(" SET ");
        for (size_t i = 0; i < m_fields.size(); ++i) {
            if (i) sql += QStringLiteral(", ");
            sql += Quoted(m_fields[i].name) + QStringLiteral(" = ?");
        }
        sql += QStringLiteral(" WHERE rowid = ?");
    }
    if (!q.prepare(sql)) return Fail(DbErrorText(q.lastError()));
    for (const FieldValue& v : values) q.addBindValue(Bound(v));

    if (m_editMode == EditMode::Add) {
        if (!q.exec()) return Fail(DbErrorText(q.lastError()));
        Row row;
        row.rowid = q.lastInsertId().toLongLong();
        row.values = std::move(values);
        const bool atEof = m_pos >= static_cast<ptrdiff_t>(m_rows.size());
        m_rows.push_back(std::move(row));
        ++m_live;
        if (atEof) m_pos = static_cast<ptrdiff_t>(m_rows.size());
    } else {
        Row& row = m_rows[static_cast<size_t>(m_pos)];
        q.addBindValue(QVariant(static_cast<qlonglong>(row.rowid)));
        if (!q.exec()) return Fail(DbErrorText(q.lastError()));
        if (q.numRowsAffected() == 0) return Fail("The current record no longer exists.");
        row.values = std::move(values);
    }
    m_editMode = EditMode::None;
    LoadCurrent();
    Succeed();
    if (m_onChange) m_onChange();
    return true;
}

void CRecordset::CancelUpdate() {
    m_editMode = EditMode::None;
    LoadCurrent();
}

bool CRecordset::Delete() {
    QSqlDatabase db = QSqlDatabase::database(QString::fromStdString(m_connection), false);
    if (!m_open || !db.isOpen()) return Fail("The catalogue is not open.");
    if (!HasCurrent()) return Fail("No current record.");
    Row& row = m_rows[static_cast<size_t>(m_pos)];
    QSqlQuery q(db);
    if (!q.prepare(QStringLiteral("DELETE FROM ") + Quoted(m_table) +
                   QStringLiteral(" WHERE rowid = ?")))
        return Fail(DbErrorText(q.lastError()));
    q.addBindValue(QVariant(static_cast<qlonglong>(row.rowid)));
    if (!q.exec()) return Fail(DbErrorText(q.lastError()));
    m_editMode = EditMode::None;
    row.deleted = true;
    --m_live;
    Succeed();
    if (m_onChange) m_onChange();
    return true;
}

}  // namespace vantrel
