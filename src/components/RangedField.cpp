// RangedField: shows a stored value clamped into its range and gives it back unchanged unless edited.
#include "components/RangedField.h"

#include <algorithm>

namespace qv {

RangedField::RangedField(QWidget *parent) : RangedField(0, 100, parent) {}

RangedField::RangedField(int minimum, int maximum, QWidget *parent) : QSpinBox(parent)
{
    setRange(minimum, maximum);
    setAccelerated(true);
    connect(this, &QSpinBox::valueChanged, this, &RangedField::onValueChanged);
    setStoredValue(minimum);
}

void RangedField::setStoredValue(qint64 value)
{
    m_stored = value;
    m_edited = false;
    m_programmatic = true;
    setValue(static_cast<int>(std::clamp<qint64>(value, minimum(), maximum())));
    m_programmatic = false;
}

qint64 RangedField::storedValue() const
{
    return m_edited ? value() : m_stored;
}

void RangedField::setFieldRange(int minimum, int maximum)
{
    const bool edited = m_edited;
    m_programmatic = true;
    setRange(minimum, maximum);
    m_programmatic = false;
    if (!edited) {
        setStoredValue(m_stored);
    }
}

void RangedField::onValueChanged(int)
{
    if (!m_programmatic) {
        m_edited = true;
    }
}

} // namespace qv
