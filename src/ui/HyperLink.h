#pragma once

#include "platform/DesktopOpen.h"

#include <QColor>
#include <QLabel>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <vector>

namespace vistrel {

class Prompter;

// How an address is opened; replaceable for tests.
struct LinkOpener {
    // Opens the address and returns a LinkResult.
    std::function<int(const QString&)> open;
};
// The desktop's handler (xdg-open), its exit status waited for beside the window.
LinkOpener DefaultLinkOpener();

// Opens address with opener; returns a LinkResult.
int OpenAddress(const QString& address, const LinkOpener& opener);

// The text of the link's message box for a result (a LinkResult): "Can't open link:\n\n" and the
// result's text.
QString LinkErrorText(int result);

// A text that behaves like a web link: coloured and underlined, a hand cursor, a tooltip with the
// address, and opening the address on a click (a press and a release on it) or the space bar; it
// shows a focus mark while it has the keyboard focus. Style bits as below (default
// kUnderline | kAutoSize | kGetFocusOnClick).
class CHyperLink : public QLabel {
    Q_OBJECT
  public:
    enum Style : unsigned {
        kUnderline = 0x01,       // the text is underlined
        kUseHover = 0x02,        // the hover colour while the pointer is over the link
        kAutoSize = 0x04,        // the control is fitted to its text
        kDownClick = 0x08,       // follow on button down rather than up
        kGetFocusOnClick = 0x10, // a click gives the link the keyboard focus
        kNoHandCursor = 0x20,    // keep the ordinary cursor
        kNoActiveColour = 0x40,  // never use the active colour
    };
    static constexpr unsigned kDefaultStyle = kUnderline | kAutoSize | kGetFocusOnClick;

    // The colours shared by every link of the program, as 0x00BBGGRR values; -1 stands for the
    // desktop's highlight colour.
    static constexpr int kDefaultLinkColour = 0xFF0000;    // blue
    static constexpr int kDefaultActiveColour = 0x808000;  // dark cyan
    static constexpr int kDefaultVisitedColour = 0x800080; // purple
    static constexpr int kDefaultHoverColour = 0x0000FF;   // red
    static void SetLinkColours(int link, int active, int visited, int hover);
    // One colour for link, active and visited; the highlight colour for hover.
    static void SetLinkColour(int colour);
    static QColor LinkColour(), ActiveColour(), VisitedColour(), HoverColour();

    // text shown; address opened (the text when empty).
    CHyperLink(const QString& text, const QString& address, QWidget* parent = nullptr,
               unsigned style = kDefaultStyle);

    // Prepares text, font, cursor and tooltip and fits the control to its text: done on
    // construction, and again by a dialog after it has placed the control.
    void Attach();

    QString LinkUrl() const { return m_strUrl; }
    void SetStyle(unsigned style);

    // Opens the address; a failure beeps and shows "Can't open link:" with its reason, a success
    // marks the link visited.
    void FollowLink();

    // Where message boxes go (the program's own by default) and how addresses open.
    void SetPrompter(Prompter* prompter) { m_pPrompter = prompter; }
    void SetOpener(LinkOpener opener) { m_opener = std::move(opener); }

    bool IsActive() const { return m_bActive; }
    bool IsVisited() const { return m_bVisited; }
    // The colour the text is drawn in now.
    QColor CurrentColour() const;

  protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    void FitToText();
    void Restyle();

    QString m_strUrl;
    unsigned m_nStyle;
    bool m_bOver = false;
    bool m_bActive = false;
    bool m_bVisited = false;
    Prompter* m_pPrompter = nullptr;
    std::unique_ptr<Prompter> m_ownPrompter;
    LinkOpener m_opener;
};

} // namespace vistrel
