#pragma once
// The IOCTL catalogue: a SQLite file (default "Vantrel.db" in the current
// directory) with two tables, `Ioctls` (names and template choices for IOCTL
// codes seen on device objects) and `Templates` (named lists of typed values
// at byte offsets). The document owns one CCatalogue for its lifetime; the
// IOCTL selector and the template editor work on its two recordsets.
//
// A catalogue and its recordsets belong to the thread that opened it (the
// GUI thread). The printing thread reads templates only from the published
// snapshot (template_snapshot.h), which the catalogue republishes after it
// opens and after every stored change to `Templates`.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/recordset.h"
#include "decode/template_snapshot.h"

namespace vantrel {

inline constexpr const char* kCatalogueFileName = "Vantrel.db";
inline constexpr const char* kCatalogueFileFilter =
    "Catalogue Files (*.db)|*.db|All Files (*.*)|*.*||";
inline constexpr const char* kCatalogueDefaultExtension = ".db";

// An IOCTL code as the catalogue stores it: the same 32 bits, signed (a code
// with the top bit set is a negative number).
constexpr int32_t StoredIoctlCode(uint32_t code) {
    return static_cast<int32_t>(code);
}
constexpr uint32_t IoctlCodeFromStored(int32_t stored) {
    return static_cast<uint32_t>(stored);
}

// Table `Ioctls`: one row per (code, device object).
class CIoctlSet : public CRecordset {
public:
    static constexpr const char* kIoctl = "Ioctl";
    static constexpr const char* kObject = "Object";
    static constexpr const char* kInputBuffer = "Input Buffer";
    static constexpr const char* kOutputBuffer = "Output Buffer";
    static constexpr const char* kIoctlName = "Ioctl Name";

    CIoctlSet();

    int32_t m_Ioctl = 0;
    std::string m_Object;
    std::string m_InputBuffer;
    std::string m_OutputBuffer;
    std::string m_IoctlName;

protected:
    void LoadFields(const std::vector<FieldValue>& row) override;
    std::vector<FieldValue> StoreFields() const override;
    void ClearFields() override;
};

// Table `Templates`: a template is the set of rows with one `Name`.
class CTemplateSet : public CRecordset {
public:
    static constexpr const char* kName = "Name";
    static constexpr const char* kType = "Type";
    static constexpr const char* kValueName = "Value Name";
    static constexpr const char* kOffset = "Offset";

    CTemplateSet();

    std::string m_Name;
    std::string m_Type;
    std::string m_ValueName;
    int32_t m_Offset = 0;

protected:
    void LoadFields(const std::vector<FieldValue>& row) override;
    std::vector<FieldValue> StoreFields() const override;
    void ClearFields() override;
};

// One row of `Ioctls`, detached from any recordset.
struct IoctlRow {
    int32_t ioctl = 0;
    std::string object;
    std::string inputBuffer;
    std::string outputBuffer;
    std::string ioctlName;
};

class CCatalogue {
public:
    CCatalogue();
    ~CCatalogue();
    CCatalogue(const CCatalogue&) = delete;
    CCatalogue& operator=(const CCatalogue&) = delete;

    // Opens an existing catalogue read-write; never creates a file. Fails
    // with the engine's error text when the file is missing or is not a
    // database. A table that is missing or unreadable does not fail the
    // open: the recordset stays closed with the engine's text, which the
    // window that uses it reports (RecordsetError). Open recordsets have no
    // filter or sort.
    bool Open(const std::string& path, std::string* error = nullptr);
    void Close();
    bool IsOpen() const { return m_open; }
    const std::string& GetPath() const { return m_path; }
    const std::string& GetLastError() const { return m_error; }
    // The engine's text when a table could not be opened; empty when both
    // recordsets are open.
    const std::string& RecordsetError() const { return m_recordsetError; }

    // Creates a new catalogue file with both tables, and with the sample
    // IOCTLs and templates when `withSample`. Refuses an existing path.
    static bool Create(const std::string& path, bool withSample, std::string* error = nullptr);

    CIoctlSet& Ioctls() { return m_ioctls; }
    CTemplateSet& Templates() { return m_templates; }

    // Opens one of the two recordsets if it is not open yet (an open one
    // keeps its filter, sort and position): what a window does when it
    // starts. False with the engine's text when the catalogue is not open or
    // the table cannot be read.
    bool OpenRecordset(CRecordset& set, std::string* error = nullptr);

    // Positions the Ioctls recordset on the row of (code, object name):
    // exact, case-sensitive name comparison. False when the catalogue is not
    // open, the recordset is empty, or no row matches.
    bool FindIoctl(uint32_t code, std::string_view objectName);

    // Edits the row of (code, object name), or adds one when there is none:
    // never a second row for a pair.
    bool SaveIoctl(uint32_t code, std::string_view objectName, std::string_view ioctlName,
                   std::string_view inputTemplate, std::string_view outputTemplate,
                   std::string* error = nullptr);

    // Distinct template names in table order (clears the Templates filter and
    // requeries). Empty when the catalogue is not open.
    std::vector<std::string> TemplateNames();

    // Filters Templates to one name (exact), sorts by Offset (equal offsets
    // in table order), requeries and moves to the first row.
    bool SelectTemplate(std::string_view name);

    // Where this catalogue republishes the template snapshot after it opens
    // and after every stored change to `Templates` (the document's
    // catalogue feeds the printing thread this way). Setting a publisher
    // publishes at once when the catalogue is open; empty: none.
    using TemplatePublisher = std::function<void(std::shared_ptr<const CTemplateSnapshot>)>;
    void SetTemplatePublisher(TemplatePublisher publisher);

    // Every Templates row, read afresh (the shared recordset is untouched).
    std::shared_ptr<const CTemplateSnapshot> ReadTemplateSnapshot(std::string* error = nullptr);
    // The same rows in table order.
    std::vector<TemplateRow> ReadTemplateRows(std::string* error = nullptr);
    // Every Ioctls row in table order, read afresh.
    std::vector<IoctlRow> ReadIoctls(std::string* error = nullptr);

    // Replaces every row of the tables given (a null table is left alone) in
    // one transaction: either all rows are stored or nothing changes. Open
    // recordsets are requeried afterwards; new Templates rows are published.
    bool ReplaceTables(const std::vector<IoctlRow>* ioctls,
                       const std::vector<TemplateRow>* templates, std::string* error = nullptr);

private:
    bool Fail(std::string message, std::string* error);
    void Republish();

    std::string m_connection;
    std::string m_path;
    bool m_open = false;
    TemplatePublisher m_publisher;
    std::string m_error;
    std::string m_recordsetError;
    CIoctlSet m_ioctls;
    CTemplateSet m_templates;
};

// Reads the template snapshot of a catalogue file on the calling thread
// (for the CLI). Null with an error text when the file cannot be opened.
std::shared_ptr<const CTemplateSnapshot> LoadTemplateSnapshot(const std::string& dbPath,
                                                              std::string* error);

// The embedded SQL scripts: the schema of a new catalogue, and the sample
// IOCTLs and templates. Statements are separated by ';'.
std::string_view CatalogueSchemaSql();
std::string_view SampleCatalogueSql();
// Splits a script into statements (';' outside quotes and comments).
std::vector<std::string> SplitSqlScript(std::string_view script);

}  // namespace vantrel
