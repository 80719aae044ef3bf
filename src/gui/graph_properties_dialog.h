#pragma once
// CGraphPropertiesDialog ("Graph Properties"): the four axis limits as text
// and the number of samples fed at the last refresh. The dialog only holds
// five strings; reading them into limits is the caller's business.

#include <QDialog>
#include <QString>

#include "analysis/graph_model.h"

class QLineEdit;
class QPushButton;

namespace vantrel {

struct GraphPropertiesTexts {
    QString samples;
    QString maxX, maxY, minX, minY;
};

// The dialog's texts for the graph's limits ("%.2f") and sample count ("%i").
GraphPropertiesTexts GraphPropertiesFor(const GraphLimits& limits, int32_t samples);
// The limits the texts give: each the leading number of its text, 0 without
// one. Nothing is validated: inverted or equal limits are taken as typed.
GraphLimits LimitsFromProperties(const GraphPropertiesTexts& texts);

class CGraphPropertiesDialog : public QDialog {
    Q_OBJECT
public:
    // Control ids of the fields.
    static constexpr int kSamples = 1005;
    static constexpr int kMaxY = 1007;
    static constexpr int kMaxX = 1008;
    static constexpr int kMinY = 1009;
    static constexpr int kMinX = 1010;

    explicit CGraphPropertiesDialog(const GraphPropertiesTexts& texts, QWidget* parent = nullptr);

    GraphPropertiesTexts Texts() const;
    QLineEdit* Field(int id) const;
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }

private:
    QLineEdit* m_samples;
    QLineEdit* m_maxX;
    QLineEdit* m_maxY;
    QLineEdit* m_minX;
    QLineEdit* m_minY;
    QPushButton* m_ok;
    QPushButton* m_cancel;
};

}  // namespace vantrel
