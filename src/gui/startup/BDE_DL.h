// The notice shown when the database engine is missing.
#pragma once

#include <QDialog>

class QLabel;
class QRadioButton;

// Shown when the database engine (SQLCipher) is missing: it cannot install anything, so it
// offers to show how to install the package, or to open the engine's web page.
class TD_BDE_DL : public QDialog
{
    Q_OBJECT
public:
    explicit TD_BDE_DL(QWidget* parent = nullptr);

    // How to install the engine, and its package's web page.
    static QString InstallText();
    static QString DownloadUrl();

    // Shows the dialog modally, then acts on the confirmed choice.
    static void OfferInstall(QWidget* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ChoiceChange();

    bool Confirmed = false;
    QLabel* Label_info = nullptr;
    QRadioButton* RB_install = nullptr;
    QRadioButton* RB_download = nullptr;
    QLabel* Label_download = nullptr;
    QLabel* Image_download = nullptr;
};
