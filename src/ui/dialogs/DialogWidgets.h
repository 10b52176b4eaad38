#pragma once

#include <QImage>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <initializer_list>

class QComboBox;
class QDialog;
class QDialogButtonBox;
class QLineEdit;
class QListWidget;

namespace vistrel {

// An edit over a list, as font dialogs show the font, style and size: choosing an item puts it
// into the edit; typing selects the first item that begins with the text (letter case ignored)
// and keeps what was typed. changed() reports the user's changes only.
class EditList : public QWidget {
    Q_OBJECT
  public:
    explicit EditList(QWidget* parent = nullptr);

    void setItems(const QStringList& items);
    // Shows text and selects its item (if any) without reporting a change.
    void setText(const QString& text);
    QString text() const;
    void setEditReadOnly(bool readOnly);
    QLineEdit* edit() const { return m_pEdit; }
    QListWidget* list() const { return m_pList; }

  signals:
    void changed();

  private:
    void selectMatching(const QString& text, bool exactOnly);

    QLineEdit* m_pEdit;
    QListWidget* m_pList;
    bool m_bSetting = false;
};

// The sample area of the stamp and logo dialogs: shows a picture of exactly kWidth × kHeight,
// the frame size the samples are laid out for.
class SampleView : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kWidth = 320;
    static constexpr int kHeight = 240;

    explicit SampleView(QWidget* parent = nullptr);
    void setImage(const QImage& image);
    const QImage& image() const { return m_image; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QImage m_image;
};

// A drop-down list of the entries for the codes 0, 1, … showing the entry of code; a code
// outside the list shows no selection.
QComboBox* MakeCodeList(QWidget* parent, const char* objectName,
                        std::initializer_list<const char*> entries, int code);

// The stamp and logo dialogs' OK, Cancel and Help buttons, one above the other; Help and F1 call
// help.
QDialogButtonBox* MakeOkCancelHelpButtons(QDialog* dialog, std::function<void()> help);

} // namespace vistrel
