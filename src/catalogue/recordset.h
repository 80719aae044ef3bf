#pragma once
// CRecordset: an updatable view of one catalogue table, in the manner of a
// dynaset: a filter and a sort, a requery that loads the matching rows, a
// current position with BOF and EOF, moves, find-first, and add-new / edit /
// update / delete on the current row. Field values are bound to members of
// the derived class (CIoctlSet, CTemplateSet).
//
// Every value reaches SQL as a bound parameter. Filters are lists of
// (column, value) equalities over the table's own columns, so a name that
// contains quotes, brackets or SQL text is matched exactly and can change
// nothing else.
//
// A recordset belongs to the thread of its catalogue connection.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace vantrel {

// Longest text a catalogue field holds, in characters.
inline constexpr size_t kMaxCatalogueText = 255;

enum class FieldKind { Integer, Text };

struct FieldDef {
    const char* name;  // column name as in the table, e.g. "Value Name"
    FieldKind kind;
};

// A 32-bit signed integer or a text.
using FieldValue = std::variant<int32_t, std::string>;

// One equality: column = value.
struct FilterTerm {
    std::string column;
    FieldValue value;
};

// All terms must hold; an empty filter takes every row.
using RecordFilter = std::vector<FilterTerm>;

class CRecordset {
public:
    enum class EditMode { None, Edit, Add };

    CRecordset(std::string table, std::vector<FieldDef> fields);
    virtual ~CRecordset();
    CRecordset(const CRecordset&) = delete;
    CRecordset& operator=(const CRecordset&) = delete;

    const std::string& GetTableName() const { return m_table; }
    const std::vector<FieldDef>& GetFields() const { return m_fields; }

    // Ties the recordset to a catalogue connection (by Qt connection name).
    // Detaching closes it.
    void Attach(const std::string& connectionName);
    void Detach();

    // Opens the recordset with the current filter and sort: the table and its
    // fields must exist. An open recordset stays open until Close or Detach.
    bool Open();
    bool IsOpen() const { return m_open; }
    void Close();

    // Filter and sort take effect at the next Requery. A filter or sort that
    // names an unknown column, or gives a text for an integer column (or the
    // other way round), is refused and leaves the old one in place.
    bool SetFilter(RecordFilter filter);
    void ClearFilter() { m_filter.clear(); }
    const RecordFilter& GetFilter() const { return m_filter; }
    bool SetSort(std::vector<std::string> columns);
    void ClearSort() { m_sort.clear(); }
    const std::vector<std::string>& GetSort() const { return m_sort; }

    // Reloads the matching rows in sort order (rows that sort equal, or all
    // rows without a sort, come in table order) and moves to the first.
    // Cancels an edit in progress.
    bool Requery();

    // Navigation. With no rows, both BOF and EOF are true.
    bool IsBOF() const;
    bool IsEOF() const;
    bool IsEmpty() const { return m_live == 0; }
    size_t GetRecordCount() const { return m_live; }
    void MoveFirst();
    void MoveLast();
    void MoveNext();  // at EOF: nothing
    void MovePrev();  // at BOF: nothing
    // Moves to the first row that matches `criteria`; false (position kept)
    // when none does or the criteria are malformed.
    bool FindFirst(const RecordFilter& criteria);
    // Whether the position is on a row that exists (not BOF/EOF, not deleted).
    bool HasCurrent() const;

    // Editing. AddNew empties the bound members for a new row; Edit works on
    // the current row. Update stores the members (a new row is appended to
    // the recordset, the position stays where it was); CancelUpdate drops
    // them. Delete removes the current row; the position stays on the
    // deleted row until the next move. Texts longer than 255 characters are
    // refused, the edit stays in progress.
    bool AddNew();
    bool Edit();
    bool Update();
    void CancelUpdate();
    bool Delete();
    EditMode GetEditMode() const { return m_editMode; }

    // The text of the last failure ("" after a success).
    const std::string& GetLastError() const { return m_error; }

    // Called after every stored change (update or delete).
    void SetChangeHook(std::function<void()> hook) { m_onChange = std::move(hook); }

protected:
    // Copies a row (values in field order) into the bound members.
    virtual void LoadFields(const std::vector<FieldValue>& row) = 0;
    // The bound members as a row, in field order.
    virtual std::vector<FieldValue> StoreFields() const = 0;
    // Empties the bound members (texts "", integers 0).
    virtual void ClearFields() = 0;

private:
    struct Row {
        int64_t rowid = 0;
        bool deleted = false;
        std::vector<FieldValue> values;
    };

    bool Fail(std::string message);
    bool Succeed() {
        m_error.clear();
        return true;
    }
    int FieldIndex(std::string_view column) const;
    bool CheckTerms(const RecordFilter& terms);
    bool Matches(const Row& row, const RecordFilter& criteria) const;
    bool CheckTexts(const std::vector<FieldValue>& values);
    void LoadCurrent();
    bool Select(const RecordFilter& filter, const std::vector<std::string>& sort,
                std::vector<Row>& rows);

    std::string m_table;
    std::vector<FieldDef> m_fields;
    std::string m_connection;
    bool m_open = false;

    RecordFilter m_filter;
    std::vector<std::string> m_sort;

    std::vector<Row> m_rows;
    size_t m_live = 0;
    ptrdiff_t m_pos = -1;  // -1 BOF, m_rows.size() EOF
    EditMode m_editMode = EditMode::None;

    std::string m_error;
    std::function<void()> m_onChange;
};

}  // namespace vantrel
