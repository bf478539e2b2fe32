// RangedField: a number edit box with up-down arrows and a range, for stored values.
//
// A stored value may lie outside the range the dialog offers (an older version's limit, a hand-edited
// store). The field shows it clamped into the range, but reading it back gives the stored value
// unchanged unless the user edited the field: merely opening and closing a dialog with OK never
// rewrites a setting. Once the user types or steps, the field's (in-range) value is what is read.
//
// Usage:
//     auto *port = new RangedField(0, 65535, parent);
//     port->setObjectName("ProxyPortEdit");
//     port->setStoredValue(conn.ProxyPort);      // shows 8080; 70000 would show 65535
//     ...
//     conn.ProxyPort = port->storedValue();      // 8080 (or 70000) unless the user changed it
#pragma once

#include <QSpinBox>

namespace qv {

class RangedField : public QSpinBox
{
    Q_OBJECT
public:
    explicit RangedField(QWidget *parent = nullptr);
    RangedField(int minimum, int maximum, QWidget *parent = nullptr);

    // Takes the value from the store: shows it clamped into the range, keeps the original and clears
    // the edited flag.
    void setStoredValue(qint64 value);
    // The value to store: the original one until the user edits the field, afterwards the shown one.
    qint64 storedValue() const;
    // True once the user has changed the shown number (typing, arrows, wheel, keys).
    bool isEdited() const { return m_edited; }

    // The range; a stored value is re-clamped for display but kept unchanged.
    void setFieldRange(int minimum, int maximum);

private:
    void onValueChanged(int value);

    qint64 m_stored = 0;
    bool m_edited = false;
    bool m_programmatic = false;
};

} // namespace qv
