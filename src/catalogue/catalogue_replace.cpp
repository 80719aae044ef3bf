// Replacing whole tables of a catalogue in one transaction (catalogue import).

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include "catalogue/catalogue.h"
#include "catalogue/db_text.h"

namespace vantrel {

namespace {

bool Exec(QSqlQuery& q, std::string& error) {
    if (q.exec()) return true;
    error = DbErrorText(q.lastError());
    return false;
}

bool StoreIoctls(QSqlDatabase& db, const std::vector<IoctlRow>& rows, std::string& error) {
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("DELETE FROM \"Ioctls\""))) {
        error = DbErrorText(q.lastError());
        return false;
    }
    if (!q.prepare(
            QStringLiteral("INSERT INTO \"Ioctls\" (\"Ioctl\", \"Object\", \"Input Buffer\", "
                           "\"Output Buffer\", \"Ioctl Name\") VALUES (?, ?, ?, ?, ?)"))) {
        error = DbErrorText(q.lastError());
        return false;
    }
    for (const IoctlRow& row : rows) {
        q.addBindValue(QVariant(static_cast<int>(row.ioctl)));
        q.addBindValue(ToDbText(row.object));
        q.addBindValue(ToDbText(row.inputBuffer));
        q.addBindValue(ToDbText(row.outputBuffer));
        q.addBindValue(ToDbText(row.ioctlName));
        if (!Exec(q, error)) return false;
    }
    return true;
}

bool StoreTemplates(QSqlDatabase& db, const std::vector<TemplateRow>& rows, std::string& error) {
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("DELETE FROM \"Templates\""))) {
        error = DbErrorText(q.lastError());
        return false;
    }
    if (!q.prepare(QStringLiteral("INSERT INTO \"Templates\" (\"Name\", \"Type\", \"Value Name\", "
                                  "\"Offset\") VALUES (?, ?, ?, ?)"))) {
        error = DbErrorText(q.lastError());
        return false;
    }
    for (const TemplateRow& row : rows) {
        q.addBindValue(ToDbText(row.name));
        q.addBindValue(ToDbText(row.type));
        q.addBindValue(ToDbText(row.valueName));
        q.addBindValue(QVariant(static_cast<int>(row.offset)));
        if (!Exec(q, error)) return false;
    }
    return true;
}

}  // namespace

bool CCatalogue::ReplaceTables(const std::vector<IoctlRow>* ioctls,
                               const std::vector<TemplateRow>* templates, std::string* error) {
    if (!m_open) return Fail("The catalogue is not open.", error);
    QSqlDatabase db = QSqlDatabase::database(QString::fromStdString(m_connection), false);
    if (!db.transaction()) return Fail(DbErrorText(db.lastError()), error);
    std::string text;
    bool ok = (!ioctls || StoreIoctls(db, *ioctls, text)) &&
              (!templates || StoreTemplates(db, *templates, text));
    if (ok && !db.commit()) {
        text = DbErrorText(db.lastError());
        ok = false;
    }
    if (!ok) db.rollback();
    if (m_ioctls.IsOpen()) m_ioctls.Requery();
    if (m_templates.IsOpen()) m_templates.Requery();
    if (!ok) return Fail(text, error);
    if (templates && m_publisher) Republish();
    m_error.clear();
    return true;
}

}  // namespace vantrel
