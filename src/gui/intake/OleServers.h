// The settings page listing the object servers the user uses most.
#pragma once

// The settings page of the object servers the user uses most: name and class of each, added
// through the object container's chooser, renamed in place, removed after a question.
#include <QWidget>

class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class TOleContainer;
class TOrbPigger;

class TOOLEServers : public QWidget
{
    Q_OBJECT
public:
    explicit TOOLEServers(QWidget* parent = nullptr);
    ~TOOLEServers() override;

    // Remembers the container and shows the OLE_SERVERS node of root (added at its end when
    // missing). False, and an empty list, without a settings tree. The settings dialog calls it
    // whenever it shows the settings.
    bool InitServerList(TOleContainer* container, TOrbPigger* root);
    void FillServerList();

    void BtnAddClick();
    void BtnDeleteClick();
    void BtnEditClick();
    // An accepted in-place edit: row still shows the old name.
    void LV1Edited(QTreeWidgetItem* row, const QString& newText);
    void StoreServerRow(QTreeWidgetItem* row, const QString& newName);

    // The node shown; null before InitServerList found a tree.
    TOrbPigger* ServersNode() const { return m_node; }

private:
    QTreeWidgetItem* AddRow(const QString& name, const QString& cls);

    // Controls (objectName = member name).
    QLabel* Label1 = nullptr;
    QTreeWidget* LV1 = nullptr;
    QPushButton* BtnAdd = nullptr;
    QPushButton* BtnDelete = nullptr;
    QPushButton* BtnEdit = nullptr;

    TOleContainer* m_container = nullptr;
    TOrbPigger* m_node = nullptr;
};
