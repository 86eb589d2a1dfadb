#pragma once

#include <QWidget>

// The about panel on the settings dialog's last page.
class TO_about : public QWidget
{
    Q_OBJECT

public:
    explicit TO_about(QWidget* parent = nullptr);

private:
    static const char* const WebPage;
};
