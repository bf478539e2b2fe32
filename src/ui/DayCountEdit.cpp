// DayCountEdit: a date or time picker that keeps the part of the day count it does not show.
#include "ui/DayCountEdit.h"

#include <QLocale>
#include <QString>

namespace qv {

DayCountEdit::DayCountEdit(Part part, QWidget *parent) : QDateTimeEdit(parent), m_part(part)
{
    setMinimumDate(QDate(100, 1, 1));
    setMaximumDate(QDate(9999, 12, 31));
    if (part == DatePart) {
        setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        setCalendarPopup(true);
    } else if (part == LongDatePart) {
        setDisplayFormat(QLocale().dateFormat(QLocale::LongFormat));
        setCalendarPopup(true);
    } else {
        setDisplayFormat(QStringLiteral("HH:mm:ss"));
    }
    connect(this, &QDateTimeEdit::dateTimeChanged, this, [this] {
        if (!m_programmatic) {
            m_edited = true;
            emit storedValueChanged();
        }
    });
}

void DayCountEdit::setStoredValue(TDateTime value)
{
    m_stored = value;
    m_edited = false;
    m_programmatic = true;
    setDate(dateOfDayCount(value));
    setTime(timeOfDayCount(value));
    m_programmatic = false;
}

TDateTime DayCountEdit::storedValue() const
{
    if (!m_edited) {
        return m_stored;
    }
    if (m_part != TimePart) {
        return encodeDayCount(date(), timeOfDayCount(m_stored));
    }
    return encodeDayCount(dateOfDayCount(m_stored), time());
}

} // namespace qv
