#include "framework/widgets/showavi.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>

using namespace Qt::Literals::StringLiterals;

namespace kpr {

namespace {

class ShowAviOverlay : public QWidget
{
public:
    explicit ShowAviOverlay(QWidget *form) : QWidget(form)
    {
        setObjectName(u"kprShowAvi"_s);
        setAttribute(Qt::WA_NoSystemBackground);
        // The screen below stays visible but takes no clicks while the step runs.
        setAttribute(Qt::WA_TransparentForMouseEvents, false);
        setFocusPolicy(Qt::NoFocus);
        form->installEventFilter(this);
        setGeometry(form->rect());
    }

    int kind = 1;
    QString text;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == parentWidget() && event->type() == QEvent::Resize)
            setGeometry(parentWidget()->rect());
        return false;
    }

    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.fillRect(rect(), QColor(255, 255, 255, 140));

        const QFontMetrics fm(font());
        const int w = qMin(width() - 20, qMax(220, fm.horizontalAdvance(text) + 40));
        const int h = 70 + (text.isEmpty() ? 0 : fm.height() + 8);
        const QRect box((width() - w) / 2, (height() - h) / 2, w, h);
        p.setPen(QColor(120, 120, 120));
        p.setBrush(palette().color(QPalette::Window));
        p.drawRoundedRect(box, 6, 6);

        // The busy mark: twelve spokes fading round a circle, the host's spinning wheel
        // caught in one frame.
        const QPointF c(box.center().x(), box.top() + 35);
        for (int i = 0; i < 12; ++i) {
            p.save();
            p.translate(c);
            p.rotate(i * 30.0);
            QColor col = palette().color(QPalette::Highlight);
            col.setAlpha(40 + i * 18);
            p.setPen(QPen(col, 3, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(0, -8), QPointF(0, -16));
            p.restore();
        }
        if (!text.isEmpty()) {
            p.setPen(palette().color(QPalette::WindowText));
            p.drawText(QRect(box.left() + 10, box.top() + 60, box.width() - 20, fm.height() + 8),
                       Qt::AlignCenter | Qt::TextSingleLine, text);
        }
    }
};

ShowAviOverlay *overlayOf(QWidget *form)
{
    if (!form)
        return nullptr;
    return dynamic_cast<ShowAviOverlay *>(form->findChild<QWidget *>(u"kprShowAvi"_s, Qt::FindDirectChildrenOnly));
}

} // namespace

QWidget *showAviOverlay(QWidget *form)
{
    return overlayOf(form);
}

QString showAviText(QWidget *form)
{
    const ShowAviOverlay *o = overlayOf(form);
    return o ? o->text : QString();
}

namespace {
ShowAviObserver &observer()
{
    static ShowAviObserver o;
    return o;
}
} // namespace

void setShowAviObserver(ShowAviObserver o)
{
    observer() = std::move(o);
}

void ActiveShowAvi(QWidget *form, int kind, const QString &text)
{
    if (observer() && !text.isEmpty())
        observer()(text);
    if (!form)
        return;
    ShowAviOverlay *o = overlayOf(form);
    if (!o)
        o = new ShowAviOverlay(form);
    o->kind = kind;
    o->text = text;
    o->setGeometry(form->rect());
    o->show();
    o->raise();
    o->repaint();
}

void DeactiveShowAvi(QWidget *form)
{
    if (ShowAviOverlay *o = overlayOf(form)) {
        o->hide();
        // Not deleteLater(): the event loop may not run before the next one is shown.
        delete o;
    }
}

ShowAviGuard::ShowAviGuard(QWidget *form, int kind, const QString &text) : m_form(form)
{
    if (const ShowAviOverlay *o = overlayOf(form)) {
        m_wasShown = true;
        m_previousKind = o->kind;
        m_previousText = o->text;
    }
    ActiveShowAvi(form, kind, text);
}

ShowAviGuard::~ShowAviGuard()
{
    if (!m_form)
        return;
    if (m_wasShown)
        ActiveShowAvi(m_form, m_previousKind, m_previousText);
    else
        DeactiveShowAvi(m_form);
}

} // namespace kpr
