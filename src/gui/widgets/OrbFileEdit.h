#pragma once

#include "gui/widgets/OrbEditors.h"

// A file-name field: the ellipsis button opens a file-open dialog, and a file dropped from the
// desktop becomes the field's text (also when the field is read-only).
class TOrbFileEdit : public TCustomButtonEdit
{
    Q_OBJECT
    Q_PROPERTY(QString FileName READ FileName WRITE SetFileName)
    Q_PROPERTY(QString Filter READ Filter WRITE SetFilter)
    Q_PROPERTY(QString DialogTitle READ DialogTitle WRITE SetDialogTitle)
public:
    // The longest dropped file name taken; a longer one is refused rather than cut short.
    static constexpr int MaxDroppedName = 512;

    explicit TOrbFileEdit(QWidget* parent = nullptr);

    QString FileName() const { return text(); }
    void SetFileName(const QString& fileName) { setText(fileName); }
    // "description|pattern|description|pattern...", e.g. "archive|*.qba".
    QString Filter() const { return m_filter; }
    void SetFilter(const QString& filter) { m_filter = filter; }
    QString DialogTitle() const { return m_dialogTitle; }
    void SetDialogTitle(const QString& title) { m_dialogTitle = title; }

    void ButtonClick() override;

    // The filter in the form the file dialog takes ("archive (*.qba);;...").
    static QString DialogFilter(const QString& filter);

protected:
    TOrbCustomEditButton* ButtonClass(QWidget* holder) const override;

    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // Runs the file-open dialog; returns the chosen name, or "" when cancelled.
    QString RunDialog();
    void TakeName(const QString& name);

    QString m_filter;
    QString m_dialogTitle;
};
