#include "ui/HyperLink.h"

#include "platform/Prompter.h"
#include "widgets/MessageBoxPrompter.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPalette>
#include <QProcess>
#include <QStandardPaths>

namespace vistrel {

namespace {

struct SharedColours {
    int link = CHyperLink::kDefaultLinkColour;
    int active = CHyperLink::kDefaultActiveColour;
    int visited = CHyperLink::kDefaultVisitedColour;
    int hover = CHyperLink::kDefaultHoverColour;
};

SharedColours& Colours()
{
    static SharedColours colours;
    return colours;
}

// A 0x00BBGGRR value as a colour; -1 is the desktop's highlight colour.
QColor FromColorRef(int value)
{
    if (value < 0)
        return QApplication::palette().color(QPalette::Highlight);
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

constexpr int kProcessWaitMs = 5000;

// The desktop entry name of the default web browser, "" when none is set (or xdg-mime is
// missing).
QString DefaultBrowserEntry(const QString& xdgMime)
{
    QProcess query;
    query.start(xdgMime, {QStringLiteral("query"), QStringLiteral("default"),
                          QStringLiteral("x-scheme-handler/http")});
    if (!query.waitForStarted(kProcessWaitMs))
        return {};
    if (!query.waitForFinished(kProcessWaitMs)) {
        query.kill();
        query.waitForFinished(kProcessWaitMs);
        return {};
    }
    const QString out = QString::fromLocal8Bit(query.readAllStandardOutput());
    return out.section(QLatin1Char('\n'), 0, 0).section(QLatin1Char(';'), 0, 0).trimmed();
}

// Splits a command line the way desktop entries quote it: blanks separate arguments, double
// quotes group them, and inside quotes a backslash takes the next character as it is.
std::vector<QString> SplitExec(const QString& line)
{
    std::vector<QString> args;
    QString current;
    bool inArg = false, quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted) {
            if (c == QLatin1Char('\\') && i + 1 < line.size())
                current += line[++i];
            else if (c == QLatin1Char('"'))
                quoted = false;
            else
                current += c;
        } else if (c == QLatin1Char('"')) {
            quoted = inArg = true;
        } else if (c.isSpace()) {
            if (inArg)
                args.push_back(current);
            current.clear();
            inArg = false;
        } else {
            current += c;
            inArg = true;
        }
    }
    if (inArg)
        args.push_back(current);
    return args;
}

bool IsFieldCode(const QString& arg)
{
    return arg.size() == 2 && arg[0] == QLatin1Char('%') && arg[1].isLetter();
}

// The program of a command line as it will be started, or a LinkResult when it cannot be.
int ResolveProgram(const QString& program, QString* path)
{
    if (program.contains(QLatin1Char('/'))) {
        const QFileInfo info(program);
        if (!info.exists())
            return kLinkFileNotFound;
        if (!info.isFile() || !info.isExecutable())
            return kLinkAccessDenied;
        *path = program;
        return kLinkOpened;
    }
    *path = QStandardPaths::findExecutable(program);
    if (!path->isEmpty())
        return kLinkOpened;
    // Not runnable: there but not executable, or not there at all.
    const QStringList dirs =
        qEnvironmentVariable("PATH").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString& dir : dirs)
        if (QFileInfo::exists(dir + QLatin1Char('/') + program))
            return kLinkAccessDenied;
    return kLinkFileNotFound;
}

} // namespace

LinkOpener DefaultLinkOpener()
{
    LinkOpener opener;
    opener.openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    return opener;
}

std::vector<QString> BrowserCommandLine(const QString& exec, const QString& address)
{
    static const QString placeholders[] = {QStringLiteral("%u"), QStringLiteral("%U")};
    qsizetype cut = -1;
    for (const QString& p : placeholders) {
        const qsizetype at = exec.indexOf(QLatin1Char('"') + p + QLatin1Char('"'));
        if (at >= 0 && (cut < 0 || at < cut))
            cut = at;
    }
    if (cut < 0) {
        for (const QString& p : placeholders) {
            const qsizetype at = exec.indexOf(p);
            if (at >= 0 && (cut < 0 || at < cut))
                cut = at;
        }
    }
    std::vector<QString> args;
    for (QString arg : SplitExec(cut >= 0 ? exec.left(cut) : exec)) {
        if (IsFieldCode(arg))
            continue;
        args.push_back(arg.replace(QStringLiteral("%%"), QStringLiteral("%")));
    }
    if (args.empty())
        return {};
    args.push_back(address);
    return args;
}

QString DesktopEntryExec(const QString& desktopFileText)
{
    bool inEntry = false;
    for (QString line : desktopFileText.split(QLatin1Char('\n'))) {
        line = line.trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inEntry = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inEntry)
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0 || line.left(eq).trimmed() != QLatin1String("Exec"))
            continue;
        const QString raw = line.mid(eq + 1).trimmed();
        QString value;
        for (qsizetype i = 0; i < raw.size(); ++i) {
            if (raw[i] != QLatin1Char('\\') || i + 1 == raw.size()) {
                value += raw[i];
                continue;
            }
            const QChar next = raw[++i];
            if (next == QLatin1Char('s'))
                value += QLatin1Char(' ');
            else if (next == QLatin1Char('n'))
                value += QLatin1Char('\n');
            else if (next == QLatin1Char('t'))
                value += QLatin1Char('\t');
            else if (next == QLatin1Char('r'))
                value += QLatin1Char('\r');
            else if (next == QLatin1Char('\\'))
                value += QLatin1Char('\\');
            else
                value += QLatin1Char('\\') + QString(next);
        }
        return value;
    }
    return {};
}

int OpenAddress(const QString& address, const LinkOpener& opener)
{
    if (opener.openUrl && opener.openUrl(QUrl(address, QUrl::TolerantMode)))
        return kLinkOpened;
    const QString entry = DefaultBrowserEntry(opener.xdgMime);
    if (entry.isEmpty())
        return kLinkNoAssociation;
    const QString file = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, entry);
    QFile desktopFile(file);
    if (file.isEmpty() || !desktopFile.open(QIODevice::ReadOnly))
        return kLinkBadAssociation;
    const std::vector<QString> command =
        BrowserCommandLine(DesktopEntryExec(QString::fromUtf8(desktopFile.readAll())), address);
    if (command.empty())
        return kLinkBadAssociation;
    QString program;
    if (const int result = ResolveProgram(command.front(), &program); result != kLinkOpened)
        return result;
    const QStringList args(command.begin() + 1, command.end());
    return QProcess::startDetached(program, args) ? kLinkOpened : kLinkOutOfResources;
}

QString LinkErrorText(int result)
{
    QString reason;
    switch (result) {
    case 0:
        reason = QStringLiteral("The operating system is out\nof memory or resources.");
        break;
    case 2:
        reason = QStringLiteral("The specified file was not found.");
        break;
    case 3:
        reason = QStringLiteral("The specified path was not found.");
        break;
    case 5:
        reason = QStringLiteral("The operating system denied\naccess to the specified file.");
        break;
    case 8:
        reason = QStringLiteral("There was not enough memory to complete the operation.");
        break;
    case 11:
        reason =
            QStringLiteral("The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).");
        break;
    case 26:
        reason = QStringLiteral("A sharing violation occurred. ");
        break;
    case 27:
        reason = QStringLiteral("The filename association is\nincomplete or invalid.");
        break;
    case 28:
        reason = QStringLiteral(
            "The DDE transaction could not\nbe completed because the request timed out.");
        break;
    case 29:
        reason = QStringLiteral("The DDE transaction failed.");
        break;
    case 30:
        reason = QStringLiteral("The DDE transaction could not\nbe completed because other DDE "
                                "transactions\nwere being processed.");
        break;
    case 31:
        reason = QStringLiteral("There is no application associated\nwith the given filename "
                                "extension.");
        break;
    case 32:
        reason = QStringLiteral("The specified dynamic-link library was not found.");
        break;
    default:
        reason = QStringLiteral("Unknown Error (%1) occurred.").arg(result);
        break;
    }
    return QStringLiteral("Can't open link:\n\n") + reason;
}

void CHyperLink::SetLinkColours(int link, int active, int visited, int hover)
{
    Colours() = {link, active, visited, hover};
}

void CHyperLink::SetLinkColour(int colour)
{
    SetLinkColours(colour, colour, colour, -1);
}

QColor CHyperLink::LinkColour()
{
    return FromColorRef(Colours().link);
}
QColor CHyperLink::ActiveColour()
{
    return FromColorRef(Colours().active);
}
QColor CHyperLink::VisitedColour()
{
    return FromColorRef(Colours().visited);
}
QColor CHyperLink::HoverColour()
{
    return FromColorRef(Colours().hover);
}

CHyperLink::CHyperLink(const QString& text, const QString& address, QWidget* parent, unsigned style)
    : QLabel(text, parent), m_strUrl(address), m_nStyle(style), m_opener(DefaultLinkOpener())
{
    setTextFormat(Qt::PlainText);
    // Tab reaches the link; a click gives it the focus only when its style asks for that.
    setFocusPolicy(Qt::TabFocus);
    Attach();
}

void CHyperLink::Attach()
{
    if (m_strUrl.isEmpty())
        m_strUrl = text();
    if (text().isEmpty())
        setText(m_strUrl);
    QFont linkFont = font();
    linkFont.setUnderline(m_nStyle & kUnderline);
    setFont(linkFont);
    if (m_nStyle & kNoHandCursor)
        unsetCursor();
    else
        setCursor(Qt::PointingHandCursor);
    setToolTip(m_strUrl);
    FitToText();
    Restyle();
}

void CHyperLink::SetLinkUrl(const QString& address)
{
    m_strUrl = address;
    setToolTip(address);
    FitToText();
}

void CHyperLink::SetLinkText(const QString& text)
{
    setText(text);
    FitToText();
}

void CHyperLink::SetStyle(unsigned style)
{
    m_nStyle = style;
    Attach();
}

void CHyperLink::FitToText()
{
    if (!(m_nStyle & kAutoSize))
        return;
    const QSize text = QFontMetrics(font()).size(Qt::TextSingleLine, this->text());
    QRect r = geometry();
    const Qt::Alignment a = alignment();
    // Vertically: centred text shrinks equally at top and bottom, else the top stays.
    if (a & Qt::AlignVCenter)
        r.setTop(r.top() + (r.height() - text.height()) / 2);
    r.setHeight(text.height());
    // Horizontally: centred shrinks on both sides, right-aligned keeps its right edge.
    if (a & Qt::AlignHCenter)
        r.setLeft(r.left() + (r.width() - text.width()) / 2);
    else if (a & Qt::AlignRight)
        r.setLeft(r.right() + 1 - text.width());
    r.setWidth(text.width());
    setGeometry(r);
}

QColor CHyperLink::CurrentColour() const
{
    if (m_bOver && (m_nStyle & kUseHover))
        return HoverColour();
    if (!(m_nStyle & kNoActiveColour) && m_bActive)
        return ActiveColour();
    return m_bVisited ? VisitedColour() : LinkColour();
}

void CHyperLink::Restyle()
{
    QPalette p = palette();
    p.setColor(QPalette::WindowText, CurrentColour());
    setPalette(p);
    update();
}

void CHyperLink::FollowLink()
{
    const int result = OpenAddress(m_strUrl, m_opener);
    if (result <= 32) {
        QApplication::beep();
        if (!m_pPrompter) {
            if (!m_ownPrompter)
                m_ownPrompter =
                    std::make_unique<MessageBoxPrompter>(QStringLiteral("Vistrel"), window());
            m_pPrompter = m_ownPrompter.get();
        }
        m_pPrompter->message(LinkErrorText(result).toStdString(), PromptIcon::Exclamation);
        return;
    }
    m_bVisited = true;
    Restyle();
}

void CHyperLink::enterEvent(QEnterEvent* event)
{
    m_bOver = true;
    Restyle();
    QLabel::enterEvent(event);
}

void CHyperLink::leaveEvent(QEvent* event)
{
    m_bOver = false;
    Restyle();
    QLabel::leaveEvent(event);
}

void CHyperLink::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QLabel::mousePressEvent(event);
    if (m_nStyle & kGetFocusOnClick)
        setFocus(Qt::MouseFocusReason);
    if (m_nStyle & kDownClick)
        FollowLink();
    m_bActive = true;
    Restyle();
}

void CHyperLink::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QLabel::mouseReleaseEvent(event);
    if (m_bActive && !(m_nStyle & kDownClick))
        FollowLink();
}

void CHyperLink::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space)
        FollowLink();
    else
        QLabel::keyPressEvent(event);
}

void CHyperLink::focusInEvent(QFocusEvent* event)
{
    m_bActive = true;
    Restyle();
    QLabel::focusInEvent(event);
}

void CHyperLink::focusOutEvent(QFocusEvent* event)
{
    m_bOver = false;
    m_bActive = false;
    Restyle();
    QLabel::focusOutEvent(event);
}

} // namespace vistrel
