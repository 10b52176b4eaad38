#pragma once

#include "imaging/codec/RgbImage.h"

#include <QDialog>
#include <QString>

#include <functional>

class QScrollArea;

namespace vistrel {

class Prompter;

// "Image View": one JPEG picture at its natural size, in a window whose client area (below the
// menu bar) is exactly the picture. A picture larger than the screen scrolls inside a window
// that fits the screen. File > Save as... writes it again as JPEG, PNG or BMP, by the file type
// chosen in the dialog (not by the name's extension).
class CImageView : public QDialog {
    Q_OBJECT
  public:
    // The "Save as..." file types, in the order the save dialog lists them.
    enum SaveType : int { kSaveJpg = 0, kSavePng = 1, kSaveBmp = 2 };
    // Asks for a file name and type; false when the user cancelled.
    using SaveChooser = std::function<bool(QWidget* parent, QString* path, int* type)>;

    CImageView(QString picturePath, Prompter& prompter, QWidget* mainWindow);
    ~CImageView() override;

    // Reads the picture (an empty path leaves the viewer empty). False when it could not be
    // read; LoadError() then says why. Shows nothing itself, so that a caller may read while
    // holding a lock.
    bool LoadPicture();
    QString LoadError() const { return m_strLoadError; }
    // Fits the window to the picture and centres it over the main window.
    void FitToPicture();

    // File > Save as...: asks, then saves; a failure is shown and the viewer stays open.
    void OnSaveAs();
    // Saves the picture as type to path; false after showing why.
    bool SavePicture(const QString& path, int type);
    void SetSaveChooser(SaveChooser chooser) { m_chooser = std::move(chooser); }

    QSize PictureSize() const { return {m_nWidth, m_nHeight}; }
    // The area the picture is shown in (the client area below the menu bar).
    QScrollArea* PictureArea() const { return m_pArea; }

  private:
    QString m_strPath;
    Prompter& m_prompter;
    QWidget* m_pMainWindow;
    RgbImage m_image;
    int m_nWidth = 0;
    int m_nHeight = 0;
    QString m_strLoadError;
    QScrollArea* m_pArea = nullptr;
    QWidget* m_pCanvas = nullptr;
    SaveChooser m_chooser;
};

// The program's save dialog for the viewer: "Save Image", JPG/PNG/BMP, asking before it
// overwrites a file.
bool ChooseImageSaveFile(QWidget* parent, QString* path, int* type);

} // namespace vistrel
