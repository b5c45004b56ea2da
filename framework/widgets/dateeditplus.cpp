#include "framework/widgets/dateeditplus.h"

#include "framework/core/abort.h"
#include "framework/core/dates.h"
#include "framework/core/strings.h"

#include <QAction>
#include <QApplication>
#include <QCalendarWidget>
#include <QFocusEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QStyle>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace kpr {

QValidator::State DateBRValidator::validate(QString &input, int &pos) const
{
    static constexpr int maxLen[3] = {2, 2, 4};
    QString parts[3];
    bool closed[2] = {false, false}; // a slash follows the part
    int idx = 0;
    int digitsBeforeCursor = 0;
    for (qsizetype i = 0; i < input.size(); ++i) {
        const QChar c = input[i];
        if (c.isDigit()) {
            if (parts[idx].size() == maxLen[idx]) {
                if (idx == 2)
                    return Invalid;
                closed[idx] = true;
                ++idx;
            }
            parts[idx] += c;
            if (i < pos)
                ++digitsBeforeCursor;
        } else if (c == u'/') {
            // A slash after one digit pads it ("1/" -> "01/"); a slash with nothing to
            // close, or a second one in a row, is dropped.
            if (idx < 2 && !parts[idx].isEmpty() && !closed[idx]) {
                if (parts[idx].size() == 1) {
                    parts[idx].prepend(u'0');
                    if (i < pos)
                        ++digitsBeforeCursor;
                }
                closed[idx] = true;
                ++idx;
            }
        } else if (!c.isSpace()) {
            return Invalid;
        }
    }

    QString out = parts[0];
    if (closed[0])
        out += u'/' + parts[1];
    if (closed[1])
        out += u'/' + parts[2];

    // The cursor stays after the same number of digits; slashes do not count.
    int newPos = 0;
    int seen = 0;
    while (newPos < out.size() && seen < digitsBeforeCursor) {
        if (out[newPos].isDigit())
            ++seen;
        ++newPos;
    }
    // Right after a slash that closes the part before the cursor, stand behind the slash.
    if (newPos < out.size() && out[newPos] == u'/' && pos >= input.size())
        ++newPos;
    input = out;
    pos = newPos;

    if (out.isEmpty() || out.size() == 10)
        return Acceptable;
    return Intermediate;
}

TDateEditPlus::TDateEditPlus(QWidget *parent) : QLineEdit(parent)
{
    setValidator(new DateBRValidator(this));
    setMaxLength(10);
    setPlaceholderText(u"dd/mm/aaaa"_s);
    m_calendarAction = addAction(style()->standardIcon(QStyle::SP_ArrowDown), TrailingPosition);
    m_calendarAction->setObjectName(u"actCalendario"_s);
    m_calendarAction->setToolTip(u"Calendário"_s);
    connect(m_calendarAction, &QAction::triggered, this, guarded([this](bool) { showCalendar(); }));
    connect(this, &QLineEdit::textChanged, this, [this] { updateColour(); });
    updateColour();
}

QDate TDateEditPlus::GetDate() const
{
    const QString t = text().trimmed();
    if (t.size() != 10)
        return {};
    return parseDateBR(t);
}

void TDateEditPlus::SetDate(const QDate &date)
{
    setText(date.isValid() ? formatDateBR(date) : QString());
}

void TDateEditPlus::CheckValidDate()
{
    if (EmptyString(text()))
        return;
    if (GetDate().isValid())
        return;
    setFocus(Qt::OtherFocusReason);
    MensErro(u"Data inválida: %1."_s.arg(text().trimmed()), true);
}

QDate TDateEditPlus::GetPrimDia() const
{
    const QDate d = GetDate();
    return d.isValid() ? QDate(d.year(), d.month(), 1) : QDate();
}

QStringList TDateEditPlus::weekdayNames()
{
    return {u"Domingo"_s, u"Segunda"_s, u"Terça"_s, u"Quarta"_s, u"Quinta"_s, u"Sexta"_s, u"Sábado"_s};
}

void TDateEditPlus::updateColour()
{
    QPalette p = palette();
    p.setColor(QPalette::Text, hasValidDate() ? QColor(Qt::blue) : QApplication::palette(this).color(QPalette::Text));
    setPalette(p);
}

QWidget *TDateEditPlus::calendarPopup()
{
    if (m_popup)
        return m_popup;
    auto *popup = new QFrame(this, Qt::Popup);
    popup->setObjectName(u"calDateEditPlus"_s);
    popup->setFrameShape(QFrame::StyledPanel);
    auto *layout = new QVBoxLayout(popup);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(0);

    // QCalendarWidget takes its weekday names from the locale and cannot be given others,
    // so its own header is hidden and a row of labels over its seven equal columns stands
    // in for it.
    auto *header = new QHBoxLayout;
    header->setSpacing(0);
    const QStringList names = weekdayNames();
    for (int i = 0; i < names.size(); ++i) {
        auto *l = new QLabel(names[i], popup);
        l->setObjectName(u"lblDiaSemana%1"_s.arg(i));
        l->setAlignment(Qt::AlignCenter);
        header->addWidget(l, 1);
    }
    m_calendar = new QCalendarWidget(popup);
    m_calendar->setObjectName(u"calendario"_s);
    m_calendar->setLocale(QLocale(QLocale::Portuguese, QLocale::Brazil));
    m_calendar->setFirstDayOfWeek(Qt::Sunday);
    m_calendar->setHorizontalHeaderFormat(QCalendarWidget::NoHorizontalHeader);
    m_calendar->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    m_calendar->setGridVisible(true);
    // The labels go between the navigation bar and the day grid.
    layout->addWidget(m_calendar);
    if (auto *calLayout = qobject_cast<QVBoxLayout *>(m_calendar->layout()))
        calLayout->insertLayout(1, header);
    else
        layout->insertLayout(0, header);

    connect(m_calendar, &QCalendarWidget::clicked, this, [this](QDate d) {
        SetDate(d);
        m_popup->hide();
        setFocus(Qt::PopupFocusReason);
    });
    connect(m_calendar, &QCalendarWidget::activated, this, [this](QDate d) {
        SetDate(d);
        m_popup->hide();
        setFocus(Qt::PopupFocusReason);
    });
    m_popup = popup;
    return popup;
}

void TDateEditPlus::showCalendar()
{
    QWidget *popup = calendarPopup();
    const QDate d = GetDate();
    m_calendar->setSelectedDate(d.isValid() ? d : QDate::currentDate());
    popup->adjustSize();
    popup->move(mapToGlobal(QPoint(0, height())));
    popup->show();
    m_calendar->setFocus(Qt::PopupFocusReason);
}

void TDateEditPlus::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    // Opening the calendar takes the focus for a moment; that is no exit from the field.
    // Nor is the window losing activation: the error box of a check run on exit would
    // otherwise run the check again, and open a second box over the first.
    if (event->reason() != Qt::PopupFocusReason && event->reason() != Qt::ActiveWindowFocusReason)
        emit Exit();
}

void TDateEditPlus::keyPressEvent(QKeyEvent *event)
{
    if ((event->modifiers() & Qt::AltModifier) && event->key() == Qt::Key_Down) {
        showCalendar();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

} // namespace kpr
