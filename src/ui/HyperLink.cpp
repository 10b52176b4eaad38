#include "ui/HyperLink.h"

#include "platform/Prompter.h"
#include "widgets/MessageBoxPrompter.h"
#include "widgets/SessionEnd.h"

#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

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

} // namespace

LinkOpener DefaultLinkOpener()
{
    LinkOpener opener;
    opener.open = [](const QString& address) {
        int result = kLinkOutOfResources;
        const std::string text = address.toStdString();
        RunBeside([&] { result = OpenAddressOnDesktop(text); });
        return result;
    };
    return opener;
}

int OpenAddress(const QString& address, const LinkOpener& opener)
{
    return opener.open ? opener.open(address) : kLinkNoAssociation;
}

QString LinkErrorText(int result)
{
    QString reason;
    switch (result) {
    case kLinkOutOfResources:
        reason = QStringLiteral("The operating system is out\nof memory or resources.");
        break;
    case kLinkFileNotFound:
        reason = QStringLiteral("The specified file was not found.");
        break;
    case kLinkAccessDenied:
        reason = QStringLiteral("The operating system denied\naccess to the specified file.");
        break;
    case kLinkBadAssociation:
        reason = QStringLiteral("The filename association is\nincomplete or invalid.");
        break;
    case kLinkNoAssociation:
        reason = QStringLiteral("There is no application associated\nwith the given filename "
                                "extension.");
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
    // A press dragged off the link and released elsewhere opens nothing.
    if (m_bActive && !(m_nStyle & kDownClick) && rect().contains(event->position().toPoint()))
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

void CHyperLink::paintEvent(QPaintEvent* event)
{
    QLabel::paintEvent(event);
    if (!hasFocus())
        return;
    QStylePainter painter(this);
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.backgroundColor = palette().color(QPalette::Window);
    painter.drawPrimitive(QStyle::PE_FrameFocusRect, option);
}

void CHyperLink::focusOutEvent(QFocusEvent* event)
{
    m_bOver = false;
    m_bActive = false;
    Restyle();
    QLabel::focusOutEvent(event);
}

} // namespace vistrel
