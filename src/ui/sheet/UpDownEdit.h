#pragma once

#include <QAbstractSpinBox>
#include <QString>

class QLineEdit;

namespace vistrel {

// An edit with an up-down control attached. The text is free, as in any edit: the page checks
// it when it is applied, so a wrong entry gets its message instead of being silently corrected.
// The arrows step from the number in the edit within a range given as (first, last): the up
// arrow moves toward last. A range of (999, 0) therefore counts down on the up arrow.
class CUpDownEdit : public QAbstractSpinBox {
    Q_OBJECT
  public:
    explicit CUpDownEdit(QWidget* parent = nullptr);

    void setUpDownRange(int first, int last);
    int first() const { return m_nFirst; }
    int last() const { return m_nLast; }

    void setNumber(int value);
    // The number in the edit, read leniently (its leading digits; 0 when there are none) for the
    // texts that follow the edit as the user types.
    int leadingNumber() const;
    QLineEdit* edit() const { return lineEdit(); }

    void stepBy(int steps) override;

  signals:
    // The text changed, typed or stepped.
    void textChanged(const QString& text);

  protected:
    StepEnabled stepEnabled() const override;

  private:
    int m_nFirst = 100;
    int m_nLast = 0;
};

} // namespace vistrel
