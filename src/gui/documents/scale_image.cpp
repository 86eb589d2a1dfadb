// The "Scale view" dialog of a picture.
#include "gui/documents/scale_image.h"

#include "core/documents/ScaleImage.h"
#include "gui/dialogs/CentreOnScreen.h"
#include "gui/documents/O_db_image.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>

TD_scale_image::TD_scale_image(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("D_scale_image"));
    setWindowTitle(QStringLiteral("Scale view"));
    setModal(true);

    // Fixed places, as the dialog shows its lower part (the track bar) only when scaling is chosen.
    RG1 = new QGroupBox(this);
    RG1->setObjectName(QStringLiteral("RG1"));
    RG1->setGeometry(8, 6, 150, 72);
    RB_auto_size = new QRadioButton(QStringLiteral("Auto size"), RG1);
    RB_auto_size->setObjectName(QStringLiteral("RB_auto_size"));
    RB_scale = new QRadioButton(QStringLiteral("Scale..."), RG1);
    RB_scale->setObjectName(QStringLiteral("RB_scale"));
    auto* choice = new QVBoxLayout(RG1);
    choice->addWidget(RB_auto_size);
    choice->addWidget(RB_scale);
    RB_auto_size->setChecked(true);

    Btn_close = new QPushButton(QStringLiteral("Close"), this);
    Btn_close->setObjectName(QStringLiteral("Btn_close"));
    Btn_close->setGeometry(176, 14, 88, 28);
    Btn_close->setDefault(true);

    auto* caption = new QLabel(QStringLiteral("Scale (%):"), this);
    caption->setObjectName(QStringLiteral("Label_scale_caption"));
    caption->setGeometry(10, 86, 80, 20);
    Label_scale = new QLabel(this);
    Label_scale->setObjectName(QStringLiteral("Label_scale"));
    Label_scale->setGeometry(92, 86, 60, 20);
    QPalette red = Label_scale->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    Label_scale->setPalette(red);

    TrB1 = new QSlider(Qt::Horizontal, this);
    TrB1->setObjectName(QStringLiteral("TrB1"));
    TrB1->setGeometry(8, ShortHeight, 256, 50);
    TrB1->setRange(ScaleImage::MinPercent, ScaleImage::MaxPercent);
    TrB1->setTickInterval(ScaleImage::TickInterval);
    TrB1->setTickPosition(QSlider::TicksBothSides);
    TrB1->setPageStep(ScaleImage::TickInterval);

    setFixedSize(272, ShortHeight);

    connect(RB_auto_size, &QRadioButton::clicked, this, &TD_scale_image::RG1Click);
    connect(RB_scale, &QRadioButton::clicked, this, &TD_scale_image::RG1Click);
    connect(TrB1, &QSlider::valueChanged, this, &TD_scale_image::TrB1Change);
    connect(Btn_close, &QPushButton::clicked, this, &QDialog::accept);
}

void TD_scale_image::ScaleView(TImagePane* picture)
{
    if (!picture)
        return;
    m_picture = picture;
    Reset();
    CentreOnScreen(this);
    exec();
}

void TD_scale_image::Reset(bool fromChoice)
{
    TrB1->setEnabled(false); // first, so that moving it to 100 scales nothing
    TrB1->setValue(ScaleImage::NaturalPercent);
    Label_scale->setText(QString::number(ScaleImage::NaturalPercent));
    setFixedHeight(ShortHeight);
    if (!fromChoice)
        RB_auto_size->setChecked(true);
    if (m_picture) {
        m_picture->SetStretch(false);
        m_picture->SetAutoSize(true);
        NaturalSize = m_picture->size();
    }
}

void TD_scale_image::RG1Click()
{
    Reset(true);
    if (!RB_scale->isChecked())
        return;
    setFixedHeight(TallHeight);
    TrB1->setEnabled(true);
    if (m_picture) {
        m_picture->SetAutoSize(false);
        m_picture->SetStretch(true);
    }
}

void TD_scale_image::TrB1Change(int position)
{
    if (!TrB1->isEnabled())
        return;
    Label_scale->setText(QString::number(position));
    if (m_picture)
        m_picture->resize(ScaleImage::ScaledSize(position, NaturalSize));
}
