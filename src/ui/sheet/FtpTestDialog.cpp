#include "ui/sheet/FtpTestDialog.h"

#include "app/CheckFtp.h"
#include "app/CheckUpload.h"
#include "app/SettingsBridge.h"
#include "ftp/FtpSecurity.h"
#include "ui/sheet/PageKeys.h"
#include "widgets/SessionEnd.h"

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
    m_pPin =
        buttons->addButton(QStringLiteral("&Pin this certificate"), QDialogButtonBox::ActionRole);
    m_pPin->setObjectName(QStringLiteral("pinCertificate"));
    m_pPin->setToolTip(QStringLiteral("Check the server's certificate by this fingerprint from "
                                      "now on (stored with the page)"));
    m_pPin->setVisible(false);
    connect(m_pPin, &QPushButton::clicked, this, [this] {
        emit pinRequested(CertificateFingerprintIn(m_pText->toPlainText()));
        m_pPin->setEnabled(false);
        m_pPin->setText(QStringLiteral("Certificate pinned"));
    });
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

QString CertificateFingerprintIn(const QString& transcript)
{
    for (const QString& line : transcript.split(QLatin1Char('\n'))) {
        if (!line.startsWith(QLatin1String("Certificate: ")))
            continue;
        const qsizetype at = line.indexOf(QLatin1String("SHA-256 "));
        if (at >= 0)
            return line.mid(at + 8).trimmed();
    }
    return {};
}

QString FtpTestVerdict(bool passed, bool certificateUnchecked)
{
    if (!passed)
        return QStringLiteral("The FTP test failed.");
    if (certificateUnchecked)
        return QStringLiteral("The FTP settings work, but the server's certificate was not "
                              "verified.");
    return QStringLiteral("The FTP settings work.");
}

void CFtpTestDialog::Start(const LiveSettings& settings)
{
    m_bRunning = true;
    const QString connecting =
        QStringLiteral("Connecting to %1...").arg(FromStd(settings.m_strFTPServer));
    m_pOutcome->setText(connecting);
    // A server that takes its time (or never greets) shows the seconds going by.
    const int timeout = settings.m_nFTPTimeOut;
    m_elapsed.start();
    m_progress.setInterval(1000);
    connect(&m_progress, &QTimer::timeout, this, [this, connecting, timeout] {
        const qint64 seconds = m_elapsed.elapsed() / 1000;
        m_pOutcome->setText(timeout > 0 ? QStringLiteral("%1 %2 s (time-out %3 s)")
                                              .arg(connecting)
                                              .arg(seconds)
                                              .arg(timeout)
                                        : QStringLiteral("%1 %2 s").arg(connecting).arg(seconds));
    });
    m_progress.start();
    const bool unchecked = CertificateUnchecked(ToFtpSecuritySettings(settings));
    struct Result {
        bool ok = false;
        std::string text;
    };
    // The thread owns its copy of the settings and the result; the window only reads the result
    // once the thread has finished, and not at all when it was closed before.
    auto result = std::make_shared<Result>();
    auto guard = std::make_shared<ThreadWorkGuard>();
    QThread* thread = QThread::create([settings, result, guard]() mutable {
        result->ok = CheckUpload(settings, result->text); // FTP: the FTP check
        guard.reset();
    });
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    connect(thread, &QThread::finished, this, [this, result, unchecked] {
        m_progress.stop();
        m_bRunning = false;
        m_bPassed = result->ok;
        m_pText->setPlainText(FromStd(result->text));
        m_pOutcome->setText(FtpTestVerdict(result->ok, unchecked));
        m_pPin->setVisible(!CertificateFingerprintIn(m_pText->toPlainText()).isEmpty());
        emit testFinished(result->ok);
    });
    thread->start();
}

} // namespace vistrel
