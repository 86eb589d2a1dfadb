// The picture frame TO_db_image, and TImagePane, the area that draws its picture.
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>
#include <memory>

class QAction;
class QScrollArea;
class QToolBar;
class TDatabaseConnection;
class TD_scale_image;

// Draws one picture, sized to it (AutoSize) or stretched over its own size (Stretch). It holds the
// frame's only decoded copy of the picture: drawing straight from the image keeps a large picture
// from being copied into a pixmap.
class TImagePane : public QWidget
{
    Q_OBJECT
public:
    explicit TImagePane(QWidget* parent = nullptr);

    const QImage& Picture() const { return m_picture; }
    void SetPicture(const QImage& picture);

    bool AutoSize() const { return m_autoSize; }
    void SetAutoSize(bool on);
    bool Stretch() const { return m_stretch; }
    void SetStretch(bool on);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_picture;
    bool m_autoSize = true;
    bool m_stretch = false;
};

// Shows the picture of one picture document ("Image" of its Docs row) in a scrolling area; can
// replace it from a file or the clipboard, save it, copy it, reload it and scale the view, and
// writes a changed picture back when closed. The viewer hides ToolBar1; the picture window shows it.
class TO_db_image : public QWidget
{
    Q_OBJECT
public:
    explicit TO_db_image(TDatabaseConnection& connection, QWidget* parent = nullptr);
    ~TO_db_image() override;

    // The picture differs from the stored one.
    bool PictureChanged() const { return m_pictureChanged; }

    // Loads the row of document key. A missing row or a damaged stored picture is reported in a plain
    // message box; the frame then writes nothing back unless a new picture is given.
    void OpenImage(const QString& key);
    // Writes a changed picture back to the row it was read from, then closes and shows
    // placeholder 1. When the write fails it raises QbError and stays open with the picture.
    void CloseImage();
    // CloseImage for a window that closes: when the write fails the user is told why and asked
    // to retry, to save the picture to a file, or to discard it. False when they keep it open.
    bool CloseImageOrKeep();
    static QString WriteBackFailedText(const QString& error);
    static QString DiscardChangeText();
    bool IsImageOpen() const { return m_open; }
    // The bitmap becomes the picture; sets PictureChanged.
    void SetPicture(const QImage& bitmap);
    // Placeholder 0 becomes the picture; sets PictureChanged.
    void SetEmptyPicture();

    // The program's shared scaling dialog; without it the frame makes its own when first needed.
    void SetDialogs(TD_scale_image* scale);

    // Tool bar commands; each reports its own failures.
    void TB_loadClick();
    void TB_save_asClick();
    void TB_reloadClick();
    void TB_copyClick();
    void TB_pasteClick();
    void TB_scaleClick();

    void SetToolBarVisible(bool visible);
    // The tip of the paste button, which names the window's key for it.
    void SetPasteTip(const QString& tip);

Q_SIGNALS:
    // TB_exit: the owning window closes.
    void ExitRequested();

private:
    void ShowPlain(const QString& text);
    void ShowMessage(const QString& text);
    bool Ask(const QString& text);
    QString ChooseFile(bool save);
    void ResetView();

    QToolBar* ToolBar1 = nullptr;
    QAction* TB_exit = nullptr;
    QAction* TB_load = nullptr;
    QAction* TB_save_as = nullptr;
    QAction* TB_reload = nullptr;
    QAction* TB_copy = nullptr;
    QAction* TB_paste = nullptr;
    QAction* TB_scale = nullptr;
    QScrollArea* ScrollBox1 = nullptr;
    TImagePane* Image1 = nullptr;

    TDatabaseConnection& m_connection;
    QString ImageKey; // the row read by OpenImage and written by CloseImage
    bool m_pictureChanged = false;
    bool m_open = false;
    bool m_rowFound = false;
    TD_scale_image* m_scale = nullptr;
    // Made when needed and no shared one was given; top-level, so its controls never mix with
    // the frame's own names.
    std::unique_ptr<TD_scale_image> m_ownScale;
};
