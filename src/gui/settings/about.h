#pragma once

#include <QWidget>

class QLabel;

// The about panel on the settings dialog's last page.
class TO_about : public QWidget
{
    Q_OBJECT

public:
    explicit TO_about(QWidget* parent = nullptr);

    static const char* const WebPage;

    QLabel* Image1 = nullptr;
    QLabel* Label_version = nullptr;
    QLabel* Label_web = nullptr;
    QLabel* Label_thanks = nullptr;
};
