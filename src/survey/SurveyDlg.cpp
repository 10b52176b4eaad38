#include "survey/SurveyDlg.h"

#include "platform/DesktopOpen.h"
#include "widgets/SessionEnd.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QUrl>
#include <QVBoxLayout>

namespace vistrel {

void OpenAddressWithDesktop(const QString& address)
{
    // The address is normally a web page but may be anything the desktop can open: a bare
    // "example.org/why" is read as a web address.
    const std::string url = QUrl::fromUserInput(address).toString(QUrl::FullyEncoded).toStdString();
    RunBeside([&] { OpenAddressOnDesktop(url); });
}

CSurveyDlg::CSurveyDlg(const QString& address, const QString& title, AddressOpener opener,
                       QWidget* parent)
    : QDialog(parent), m_strAddress(address), m_strTitle(title), m_opener(std::move(opener))
{
    setWindowTitle(QStringLiteral("Uninstall Survey"));
    setWindowIcon(style()->standardIcon(QStyle::SP_MessageBoxQuestion));

    m_pMessage = new QLabel(QStringLiteral("We are sorry you have decided to uninstall ") +
                                m_strTitle + QStringLiteral("."),
                            this);
    m_pMessage->setObjectName(QStringLiteral("message"));
    m_pMessage->setAlignment(Qt::AlignCenter);
    m_pMessage->setWordWrap(true);
    m_pMessage->setTextFormat(Qt::PlainText);

    auto* question = new QLabel(QStringLiteral("Would you take a moment to tell us why?"), this);
    question->setObjectName(QStringLiteral("question"));
    question->setAlignment(Qt::AlignCenter);

    auto* yes = new QPushButton(QStringLiteral("Yes"), this);
    yes->setObjectName(QStringLiteral("yes"));
    yes->setDefault(true);
    auto* no = new QPushButton(QStringLiteral("No"), this);
    no->setObjectName(QStringLiteral("no"));
    connect(yes, &QPushButton::clicked, this, &CSurveyDlg::OnYes);
    connect(no, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(yes);
    buttons->addWidget(no);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pMessage);
    layout->addWidget(question);
    layout->addLayout(buttons);
    setMinimumWidth(340);
}

QString CSurveyDlg::MessageText() const
{
    return m_pMessage->text();
}

void CSurveyDlg::OnYes()
{
    // An empty address has nothing to open; whether the opening works is not checked.
    if (!m_strAddress.isEmpty() && m_opener)
        m_opener(m_strAddress);
    accept();
}

} // namespace vistrel
