// DayCountEdit: a date picker or a time picker over a stored day count that keeps the other part.
//
// A stored day count holds a date and a time of day. A date picker shows and edits only the date,
// a time picker only the time; the part it does not show is kept exactly as stored. Until the user
// changes the picker, storedValue() gives the stored number unchanged.
#pragma once

#include "core/settings/DateTime.h"

#include <QDateTimeEdit>

namespace qv {

class DayCountEdit : public QDateTimeEdit
{
    Q_OBJECT
public:
    enum Part { DatePart, LongDatePart, TimePart };
    DayCountEdit(Part part, QWidget *parent = nullptr);

    void setStoredValue(TDateTime value);
    // The stored value with the shown part replaced by the picker's, once the user changed it.
    TDateTime storedValue() const;
    bool isEdited() const { return m_edited; }
    Part part() const { return m_part; }

signals:
    void storedValueChanged();

private:
    Part m_part;
    TDateTime m_stored = 0;
    bool m_edited = false;
    bool m_programmatic = false;
};

} // namespace qv
