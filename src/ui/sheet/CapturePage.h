#pragma once

#include "ui/sheet/SettingsPage.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QTimeEdit;

namespace vistrel {

class CUpDownEdit;

// The Capture page: how often a picture is taken, between which hours, and how the archive of
// earlier pictures is kept.
class CMyPropertyPage6 : public CSettingsPage {
    Q_OBJECT
  public:
    CMyPropertyPage6(Hub& hub, Prompter& prompter, QWidget* parent = nullptr);

    QString title() const override { return QStringLiteral("Capture"); }
    int helpContext() const override;
    ReloadGroup reloadGroup() const override { return ReloadGroup::Capture; }
    std::optional<PageRefusal> validate() override;

    QString archiveTimeText() const;

  protected:
    void opened() override;

  private:
    void UpdateArchiveTime();

    CUpDownEdit* m_pInterval;
    QComboBox* m_pUnit;
    QCheckBox* m_pTimeRange;
    QTimeEdit* m_pStart;
    QTimeEdit* m_pEnd;
    CUpDownEdit* m_pArchiveInterval;
    QLabel* m_pArchiveTime;
    CUpDownEdit* m_pNumberOfArchives;
    QComboBox* m_pArchiveOrder;
};

} // namespace vistrel
