#pragma once
// The host's date edit: a line edit holding a pt-BR date "dd/MM/yyyy" or nothing. Typing
// takes digits, puts the slashes in by itself and pads a day or month followed by "/"
// ("1/2/2026" becomes "01/02/2026"); a complete, real date is shown in blue. A button at the
// right opens a calendar whose weekday names are the host's ("Domingo" ... "Sábado").
// An empty text is an empty date.

#include <QDate>
#include <QLineEdit>
#include <QPointer>
#include <QValidator>

class QCalendarWidget;
class QAction;

namespace kpr {

// Keeps the text a prefix of "dd/MM/yyyy", putting the slashes in.
class DateBRValidator : public QValidator
{
    Q_OBJECT

public:
    using QValidator::QValidator;
    State validate(QString &input, int &pos) const override;
};

class TDateEditPlus : public QLineEdit
{
    Q_OBJECT

public:
    explicit TDateEditPlus(QWidget *parent = nullptr);

    // The date shown; an invalid QDate for an empty, incomplete or impossible text.
    QDate GetDate() const;
    // Shows the date; an invalid date empties the field.
    void SetDate(const QDate &date);
    // A text that is not empty and not a real date: shows "Data inválida: <text>.", puts the
    // focus back in the field and ends the action with the silent abort. An empty field
    // passes: whether a date is required is the caller's rule.
    void CheckValidDate();
    // The first day of the month of the date shown (invalid when there is none).
    QDate GetPrimDia() const;

    // True when the text is a complete, real date (shown in blue).
    bool hasValidDate() const { return GetDate().isValid(); }

    // The calendar popup, created on first use (objectName "calDateEditPlus").
    QWidget *calendarPopup();
    void showCalendar();

    // The weekday names of the calendar, Sunday first.
    static QStringList weekdayNames();

signals:
    // Focus left the field (the host's OnExit).
    void Exit();

protected:
    void focusOutEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void updateColour();

    QPointer<QWidget> m_popup;
    QCalendarWidget *m_calendar = nullptr;
    QAction *m_calendarAction = nullptr;
};

} // namespace kpr
