// The "Scale view" dialog of a picture.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QSize>

class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSlider;
class TImagePane;

// "Scale view": shows a picture pane at its own size or at 10 to 510 % of it. Only the view
// changes; the picture itself stays as it is.
class TD_scale_image : public QDialog
{
    Q_OBJECT
public:
    explicit TD_scale_image(QWidget* parent = nullptr);

    static constexpr int ShortHeight = 120;
    static constexpr int TallHeight = 185;

    // Resets and shows the dialog modally on picture; does nothing without one.
    void ScaleView(TImagePane* picture);

    // Track bar disabled at 100, "Auto size" chosen (unless the choice itself resets), the
    // picture at its own size; its size is remembered as the natural size.
    void Reset(bool fromChoice = false);
    void RG1Click();
    void TrB1Change(int position);

private:
    QGroupBox* RG1 = nullptr;
    QRadioButton* RB_auto_size = nullptr;
    QRadioButton* RB_scale = nullptr;
    QSlider* TrB1 = nullptr;
    QLabel* Label_scale = nullptr;
    QPushButton* Btn_close = nullptr;

    QPointer<TImagePane> m_picture;
    QSize NaturalSize; // the picture's own size, as Reset found it
};
