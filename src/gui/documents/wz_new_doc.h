// The new-document wizard.
#pragma once

// The new-document wizard: a name, and how to make the document (native, an embedded object of
// a listed server, or from the clipboard).
#include "core/documents/DocContent.h"
#include "gui/database/wz.h"

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QRadioButton;
class QStackedWidget;
class QToolButton;
class TOleContainer;
class TOrbPigger;
class TSettingsModel;

class TW_new_doc : public TWizard
{
    Q_OBJECT

public:
    explicit TW_new_doc(QWidget* parent = nullptr);
    ~TW_new_doc() override;

    // The settings the server list comes from; written to their file after "...".
    void SetSettings(TSettingsModel* settings) { m_settings = settings; }
    // The object container lent to the server page that "..." opens.
    void SetContainer(TOleContainer* container) { m_container = container; }

    // name comes in as the proposed name; on return name and type hold the result (both empty
    // when cancelled) and the content object is returned: a bitmap or a text list copied from
    // the clipboard, the clipboard itself for an embedded object, or nothing. Raises QbError
    // when the clipboard no longer holds the format chosen from it.
    TDocContent Execute(QString& name, QString& type);
    TDocContent ExecuteMode(QString& name, QString& type, bool pasteMode);

    void LoadServerList();
    void FillPasteList();
    bool ChoiceComplete() const;
    QString ChosenType() const;
    int InnerPage() const;

    void UpdateButtons() override;
    void PageEntered() override;
    void SB_doc_typesClick();

    // The run makes a document from the clipboard only.
    bool PasteMode() const { return m_pasteMode; }

Q_SIGNALS:
    // "...": the settings dialog is to show its "OLE servers" page, modally (a direct
    // connection: the list is read again on return). Unconnected, "..." shows that page's frame
    // in a window of its own.
    void ServerSettingsWanted();

protected:
    void btnFinishClick() override;
    void showEvent(QShowEvent* e) override;

private:
    // Controls (objectName = member name).
    QWidget* TabSheet_start = nullptr;
    QLineEdit* Edit1 = nullptr;
    QGroupBox* RG_creation_type = nullptr;
    QButtonGroup* RG_creation_typeButtons = nullptr;
    QWidget* TabSheet_ready = nullptr;
    QStackedWidget* PageControl_ready = nullptr;
    QWidget* TabSheet1 = nullptr;
    QGroupBox* RG1 = nullptr;
    QButtonGroup* RG1Buttons = nullptr;
    QWidget* TabSheet2 = nullptr;
    QComboBox* CB1 = nullptr;
    QToolButton* SB_doc_types = nullptr;
    QWidget* TabSheet3 = nullptr;
    QListWidget* LB_paste = nullptr;
    QLabel* Label_clp_empty = nullptr;

    QWidget* CreateStartPage();
    QWidget* CreateReadyPage();
    TOrbPigger* ServersNode() const;
    TDocContent ClipboardContent(QString& type) const;

    TSettingsModel* m_settings = nullptr;
    TOleContainer* m_container = nullptr;
    bool Confirmed = false; // Finish closed the run
    bool m_pasteMode = false;
};
