#pragma once
// Dialog units: control positions given in units of the font's average
// character (a quarter of its width across, an eighth of its height down),
// so that a form keeps its proportions with any font.

#include <QFontMetrics>
#include <QRect>
#include <QWidget>

namespace vantrel {

class CDialogUnits {
public:
    explicit CDialogUnits(const QFont& font) {
        const QFontMetrics metrics(font);
        const int alphabet = metrics.horizontalAdvance(
            QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
        m_baseX = (alphabet / 26 + 1) / 2;
        m_baseY = metrics.height();
    }
    int X(int units) const { return units * m_baseX / 4; }
    int Y(int units) const { return units * m_baseY / 8; }
    QRect Rect(int x, int y, int w, int h) const { return QRect(X(x), Y(y), X(w), Y(h)); }

    // Places a control at its dialog-unit rectangle, widened to its own size
    // hint where the text would not fit otherwise.
    void Place(QWidget& control, int x, int y, int w, int h) const {
        QRect r = Rect(x, y, w, h);
        r.setWidth(std::max(r.width(), control.sizeHint().width()));
        r.setHeight(std::max(r.height(), control.minimumSizeHint().height()));
        control.setGeometry(r);
    }

private:
    int m_baseX = 1;
    int m_baseY = 1;
};

}  // namespace vantrel
