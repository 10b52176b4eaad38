#include "ui/sheet/UpDownEdit.h"

#include "ui/sheet/PageRules.h"

#include <QLineEdit>

#include <algorithm>

namespace vistrel {

CUpDownEdit::CUpDownEdit(QWidget* parent) : QAbstractSpinBox(parent)
{
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    setKeyboardTracking(true);
    connect(lineEdit(), &QLineEdit::textChanged, this, &CUpDownEdit::textChanged);
    // Room for five digits beside the arrows.
    setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 28);
}

void CUpDownEdit::setUpDownRange(int first, int last)
{
    m_nFirst = first;
    m_nLast = last;
    update();
}

void CUpDownEdit::setNumber(int value)
{
    lineEdit()->setText(QString::number(value));
}

int CUpDownEdit::leadingNumber() const
{
    const QString t = lineEdit()->text().trimmed();
    qsizetype end = 0;
    if (end < t.size() && (t[end] == u'-' || t[end] == u'+'))
        ++end;
    while (end < t.size() && t[end] >= u'0' && t[end] <= u'9')
        ++end;
    bool ok = false;
    const int v = t.left(end).toInt(&ok);
    return ok ? v : 0;
}

void CUpDownEdit::stepBy(int steps)
{
    const int low = std::min(m_nFirst, m_nLast);
    const int high = std::max(m_nFirst, m_nLast);
    const long long direction = m_nLast >= m_nFirst ? 1 : -1;
    const auto current = ParseInteger(lineEdit()->text());
    const long long from = current ? std::clamp<long long>(*current, low, high) : m_nFirst;
    const long long to = std::clamp<long long>(from + direction * steps, low, high);
    setNumber(static_cast<int>(to));
    lineEdit()->selectAll();
}

QAbstractSpinBox::StepEnabled CUpDownEdit::stepEnabled() const
{
    if (isReadOnly() || !isEnabled())
        return StepNone;
    const auto current = ParseInteger(lineEdit()->text());
    if (!current)
        return StepUpEnabled | StepDownEnabled;
    StepEnabled e = StepNone;
    if (*current != m_nLast)
        e |= StepUpEnabled;
    if (*current != m_nFirst)
        e |= StepDownEnabled;
    return e;
}

} // namespace vistrel
