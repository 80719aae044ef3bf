#include "gui/graph_widget.h"

#include <QFontInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QSettings>

namespace vantrel {
namespace {

struct ProfileKey {
    const char* name;
    const char* fallback;
    double GraphLimits::*field;
};
constexpr ProfileKey kProfileKeys[] = {
    {"MaxX", "1000.0", &GraphLimits::maxX},
    {"MaxY", "1000.0", &GraphLimits::maxY},
    {"MinX", "0.0", &GraphLimits::minX},
    {"MinY", "0.0", &GraphLimits::minY},
};

}  // namespace

bool ReadGraphProfile(const QString& file, const QString& section, GraphLimits& limits) {
    if (file.isEmpty()) return false;
    QSettings profile(file, QSettings::IniFormat);
    profile.beginGroup(section);
    for (const ProfileKey& key : kProfileKeys) {
        const QString text = profile.value(key.name, QString::fromLatin1(key.fallback)).toString();
        limits.*key.field = TextToNumber(text.left(250).toStdString());
    }
    return true;
}

void WriteGraphProfile(const QString& file, const QString& section, const GraphLimits& limits) {
    if (file.isEmpty()) return;
    QSettings profile(file, QSettings::IniFormat);
    profile.beginGroup(section);
    for (const ProfileKey& key : kProfileKeys)
        profile.setValue(key.name, QString::asprintf("%g", limits.*key.field));
}

CGraphWidget::CGraphWidget(CGraphModel& model, DefaultMaxima defaults, const QString& profileFile,
                           QWidget* parent)
    : QWidget(parent), m_model(model), m_defaults(std::move(defaults)), m_profileFile(profileFile) {
    setMinimumSize(300, 200);
    // Escape reaches the widget while a band is drawn.
    setFocusPolicy(Qt::ClickFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    GraphLimits limits = m_model.Limits();
    if (ReadGraphProfile(m_profileFile, QString::fromStdString(m_model.Texts().title), limits))
        m_model.SetLimits(limits);
    // Called on whichever thread changed the limits: post, never paint.
    m_model.SetLimitsObserver([this] { QMetaObject::invokeMethod(this, [this] { update(); }); });
}

CGraphWidget::~CGraphWidget() {
    // Waits for an observer call in progress, so none can post to a dead widget.
    m_model.SetLimitsObserver({});
    WriteGraphProfile(m_profileFile, QString::fromStdString(m_model.Texts().title),
                      m_model.Limits());
}

void CGraphWidget::RenderCache() {
    // One image pixel per widget unit: the painter writes squares straight
    // into such an image.
    if (m_cache.size() != size()) m_cache = QImage(size(), QImage::Format_RGB32);
    m_cacheVersion = m_model.Version();
    GraphPaintStyle style;
    style.background = palette().color(QPalette::Button);
    style.fontPixelSize = QFontInfo(font()).pixelSize();
    QPainter p(&m_cache);
    m_painter.Paint(p, m_model, width(), height(), style);
}

void CGraphWidget::paintEvent(QPaintEvent*) {
    // The version is read before painting: a change during the paint makes
    // the next paint draw again.
    if (m_cache.size() != size() || m_cacheVersion != m_model.Version()) RenderCache();
    QPainter p(this);
    p.drawImage(0, 0, m_cache);
    if (m_dragging && m_drawn) {
        p.setCompositionMode(QPainter::RasterOp_NotDestination);
        p.setPen(QPen(Qt::black, 0));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRect(m_start, m_corner).normalized());
    }
}

void CGraphWidget::CancelBand() {
    if (!m_dragging) return;
    m_dragging = m_drawn = false;
    update();
}

void CGraphWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && !m_dragging) {
        m_dragging = true;
        m_drawn = false;
        m_start = m_corner = event->position().toPoint();
    } else if (event->button() == Qt::RightButton && m_dragging) {
        // A right click takes the band back; its release zooms nothing.
        CancelBand();
        m_rightCancelled = true;
    }
}

void CGraphWidget::mouseMoveEvent(QMouseEvent* event) {
    if (!m_dragging) return;
    if (!(event->buttons() & Qt::LeftButton)) {
        CancelBand();  // the release went elsewhere
        return;
    }
    m_corner = event->position().toPoint();
    m_drawn = true;
    update();
}

void CGraphWidget::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        if (!m_dragging) return;
        const bool drawn = m_drawn;
        CancelBand();
        // A click without movement (a double-click's first click, say)
        // leaves no band behind.
        if (drawn && m_model.ZoomTo(m_start.x(), m_start.y(), at.x(), at.y(), Surface()))
            emit limitsChanged();
    } else if (event->button() == Qt::RightButton) {
        if (m_rightCancelled) {
            m_rightCancelled = false;
            return;
        }
        const auto [maxX, maxY] = m_defaults ? m_defaults() : std::pair{100.0, 10.0};
        update();  // the point size is back to 2 even when nothing else changed
        if (m_model.Unzoom(maxX, maxY)) emit limitsChanged();
    }
}

void CGraphWidget::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && m_dragging) {
        CancelBand();
        return;
    }
    QWidget::keyPressEvent(event);
}

void CGraphWidget::changeEvent(QEvent* event) {
    // A dialog coming up (a modal one blocks the window) ends the band.
    if (event->type() == QEvent::ActivationChange && !isActiveWindow()) CancelBand();
    QWidget::changeEvent(event);
}

bool CGraphWidget::event(QEvent* event) {
    if (event->type() == QEvent::WindowBlocked) CancelBand();
    return QWidget::event(event);
}

void CGraphWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const QPoint at = event->position().toPoint();
    emit pointActivated(m_model.HitTest(at.x(), at.y(), Surface()));
}

}  // namespace vantrel
