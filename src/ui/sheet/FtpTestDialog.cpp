#include "ui/sheet/FtpTestDialog.h"

#include "app/CheckFtp.h"
#include "ui/sheet/PageKeys.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include <memory>

namespace vistrel {

CFtpTestDialog::CFtpTestDialog(const LiveSettings& settings, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("FTP Test"));
    setObjectName(QStringLiteral("ftpTest"));
    m_pOutcome = new QLabel(this);
    m_pOutcome->setObjectName(QStringLiteral("outcome"));
    m_pText = new QPlainTextEdit(this);
    m_pText->setObjectName(QStringLiteral("conversation"));
    m_pText->setReadOnly(true);
    m_pText->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_pText->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pOutcome);
    layout->addWidget(m_pText, 1);
    layout->addWidget(buttons);
    resize(560, 360);
    Start(settings);
}

QString CFtpTestDialog::transcript() const
{
    return m_pText->toPlainText();
}

void CFtpTestDialog::Start(const LiveSettings& settings)
{
    m_bRunning = true;
    m_pOutcome->setText(
        QStringLiteral("Connecting to %1...").arg(FromStd(settings.m_strFTPServer)));
    struct Result {
        bool ok = false;
        std::string text;
    };
    // The thread owns its copy of the settings and the result; the window only reads the result
    // once the thread has finished, and not at all when it was closed before.
    auto result = std::make_shared<Result>();
    QThread* thread =
        QThread::create([settings, result] { result->ok = CheckFtp(settings, result->text); });
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    connect(thread, &QThread::finished, this, [this, result] {
        m_bRunning = false;
        m_bPassed = result->ok;
        m_pText->setPlainText(FromStd(result->text));
        m_pOutcome->setText(result->ok ? QStringLiteral("The FTP settings work.")
                                       : QStringLiteral("The FTP test failed."));
        emit testFinished(result->ok);
    });
    thread->start();
}

} // namespace vistrel
