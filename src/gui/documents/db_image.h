// The picture window that shows one picture document.
#pragma once

#include <QDialog>

class TDatabaseConnection;
class TD_scale_image;
class TO_db_image;

// The picture window: a picture document in a frame with its tool bar, opened modally. Closing
// the window writes a changed picture back.
class TF_db_image : public QDialog
{
    Q_OBJECT
public:
    explicit TF_db_image(TDatabaseConnection& connection, QWidget* parent = nullptr);

    // Opens document key in the frame, captions the window (the document's name) and shows it
    // modally until it closes.
    void EditPicture(const QString& key, const QString& caption);
    // The program's shared scaling dialog (TO_db_image::SetDialogs).
    void SetDialogs(TD_scale_image* scale);

    // Every way of closing comes here. When the changed picture cannot be written back, the user
    // is told why and chooses (CloseImageOrKeep); unless it is saved or discarded, the window
    // stays open with the picture.
    void done(int result) override;

private:
    TO_db_image* O_db_image1 = nullptr;
};
