#include "ui/sheet/CapturePage.h"

#include "config/KeyCatalogue.h"
#include "ui/HelpWindow.h"
#include "ui/sheet/PageRules.h"
#include "ui/sheet/UpDownEdit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QTimeEdit>
#include <QVBoxLayout>

#include <algorithm>

namespace vistrel {

namespace {

CUpDownEdit* CountEdit(QWidget* parent, const char* name)
{
    auto* e = new CUpDownEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    // The up arrow counts toward 0, as the program's up-down controls always have.
    e->setUpDownRange(999, 0);
    return e;
}

QTimeEdit* TimePicker(QWidget* parent, const char* name)
{
    auto* t = new QTimeEdit(parent);
    t->setObjectName(QString::fromLatin1(name));
    t->setDisplayFormat(TimePickerFormat(QLocale::system().timeFormat(QLocale::ShortFormat)));
    return t;
}

// A picker shows a stored hour and minute; a value no clock shows is brought into range.
void AddTimeKeys(PageKeys& keys, const SettingKey& hourKey, const SettingKey& minuteKey,
                 QTimeEdit* t)
{
    keys.add(
        hourKey, [t] { return t->time().hour(); },
        [t](int h) { t->setTime(QTime(std::clamp(h, 0, 23), t->time().minute())); });
    keys.add(
        minuteKey, [t] { return t->time().minute(); },
        [t](int m) { t->setTime(QTime(t->time().hour(), std::clamp(m, 0, 59))); });
}

} // namespace

CMyPropertyPage6::CMyPropertyPage6(Hub& hub, Prompter& prompter, QWidget* parent)
    : CSettingsPage(hub, prompter, parent)
{
    m_pInterval = CountEdit(this, "captureInterval");
    m_pUnit = new QComboBox(this);
    m_pUnit->setObjectName(QStringLiteral("captureUnit"));
    m_pUnit->addItems(
        {QStringLiteral("seconds"), QStringLiteral("minutes"), QStringLiteral("hours")});
    m_pTimeRange = MakeCheck("onlyBetween", "&Only between");
    m_pStart = TimePicker(this, "rangeStart");
    m_pEnd = TimePicker(this, "rangeEnd");
    m_pArchiveInterval = CountEdit(this, "archiveInterval");
    m_pArchiveTime = new QLabel(this);
    m_pArchiveTime->setObjectName(QStringLiteral("archiveTime"));
    m_pNumberOfArchives = CountEdit(this, "numberOfArchives");
    m_pArchiveOrder = new QComboBox(this);
    m_pArchiveOrder->setObjectName(QStringLiteral("archiveOrder"));
    m_pArchiveOrder->addItems({QStringLiteral("first"), QStringLiteral("last")});

    auto* grid = new QGridLayout;
    const auto caption = [this](const char* text, QWidget* buddy) {
        auto* label = new QLabel(QString::fromLatin1(text), this);
        label->setBuddy(buddy);
        return label;
    };
    grid->addWidget(caption("&Capture image every ", m_pInterval), 0, 0);
    grid->addWidget(m_pInterval, 0, 1);
    grid->addWidget(m_pUnit, 0, 2);
    grid->addWidget(m_pTimeRange, 1, 0);
    grid->addWidget(m_pStart, 1, 1);
    grid->addWidget(m_pEnd, 1, 2);
    grid->addWidget(caption("Archive &every ", m_pArchiveInterval), 2, 0);
    grid->addWidget(m_pArchiveInterval, 2, 1);
    auto* image = new QHBoxLayout;
    image->addWidget(new QLabel(QStringLiteral("image"), this));
    image->addWidget(m_pArchiveTime, 1);
    grid->addLayout(image, 2, 2, 1, 2);
    grid->addWidget(caption("&Keep", m_pNumberOfArchives), 3, 0);
    grid->addWidget(m_pNumberOfArchives, 3, 1);
    grid->addWidget(new QLabel(QStringLiteral("archived images"), this), 3, 2);
    grid->addWidget(caption("Archive with &most recent image ", m_pArchiveOrder), 4, 0, 1, 2);
    grid->addWidget(m_pArchiveOrder, 4, 2);
    grid->setColumnStretch(3, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addStretch(1);

    namespace k = keys::UploadOptions;
    m_keys.add(k::ArchiveOrder, m_pArchiveOrder);
    m_keys.add(k::UploadIntervalMeasure, m_pUnit);
    m_keys.add(k::UploadInterval, m_pInterval);
    m_keys.add(k::ArchiveInterval, m_pArchiveInterval);
    m_keys.add(k::NumberOfArchives, m_pNumberOfArchives);
    m_keys.add(k::UploadTimeRange, m_pTimeRange);
    AddTimeKeys(m_keys, k::UploadTimeRangeStartHour, k::UploadTimeRangeStartMinute, m_pStart);
    AddTimeKeys(m_keys, k::UploadTimeRangeEndHour, k::UploadTimeRangeEndMinute, m_pEnd);

    watch({m_pInterval, m_pUnit, m_pTimeRange, m_pStart, m_pEnd, m_pArchiveInterval,
           m_pNumberOfArchives, m_pArchiveOrder});
    connect(m_pTimeRange, &QCheckBox::toggled, this, [this](bool on) {
        m_pStart->setEnabled(on);
        m_pEnd->setEnabled(on);
    });
    connect(m_pInterval, &CUpDownEdit::textChanged, this, &CMyPropertyPage6::UpdateArchiveTime);
    connect(m_pUnit, &QComboBox::currentIndexChanged, this, &CMyPropertyPage6::UpdateArchiveTime);
    connect(m_pArchiveInterval, &CUpDownEdit::textChanged, this,
            &CMyPropertyPage6::UpdateArchiveTime);
    AddHelpShortcut(this, helpContext());
}

int CMyPropertyPage6::helpContext() const
{
    return kHelpCapturePage;
}

void CMyPropertyPage6::opened()
{
    m_pStart->setEnabled(m_pTimeRange->isChecked());
    m_pEnd->setEnabled(m_pTimeRange->isChecked());
    UpdateArchiveTime();
}

void CMyPropertyPage6::UpdateArchiveTime()
{
    m_pArchiveTime->setText(ArchiveTimeText(m_pArchiveInterval->leadingNumber(),
                                            m_pInterval->leadingNumber(), m_pUnit->currentIndex()));
}

QString CMyPropertyPage6::archiveTimeText() const
{
    return m_pArchiveTime->text();
}

std::optional<PageRefusal> CMyPropertyPage6::validate()
{
    // A negative interval arms no timer and a negative count keeps no archive: both are refused
    // here, with the page's own words, rather than failing later.
    const auto refuse = [](CUpDownEdit* field, bool integerOnly) -> std::optional<PageRefusal> {
        const QString text = field->edit()->text();
        if (integerOnly && !ParseInteger(text))
            return PageRefusal{field, QString::fromLatin1(kEnterIntegerText)};
        if (!ParseNonNegativeInteger(text))
            return PageRefusal{field, QString::fromLatin1(kEnterPositiveIntegerText)};
        return std::nullopt;
    };
    for (const auto& [field, integerOnly] :
         {std::pair{m_pInterval, true}, std::pair{m_pArchiveInterval, false},
          std::pair{m_pNumberOfArchives, true}})
        if (auto refusal = refuse(field, integerOnly))
            return refusal;
    return std::nullopt;
}

} // namespace vistrel
