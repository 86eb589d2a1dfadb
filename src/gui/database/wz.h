// The general wizard form: pages moved through with Prior and Next.
#pragma once

#include <QDialog>

class QPushButton;
class QStackedWidget;

// The general wizard form: pages without tabs, moved through with Prior and Next only.
class TWizard : public QDialog
{
    Q_OBJECT

public:
    explicit TWizard(QWidget* parent = nullptr);
    ~TWizard() override;

    // The page shown before the last page change; -1 until the first change.
    int PreviousPage() const { return m_previousPage; }

    virtual int CurrentPage() const;
    // Shows page index when there is one; PageEntered runs in every case.
    virtual void GoToPage(int index);
    // A run afresh: GoToPage(index) as if no page had been shown before.
    void StartAt(int index);
    virtual void UpdateButtons();
    virtual void PageEntered() { }

    int PageCount() const;
    // Appends a page and returns its index.
    int AddPage(QWidget* page);

    // Keyboard focus to the current page's first field that takes input.
    void FocusFirstField();

    void btnPrevClick();
    void btnNextClick();

protected:
    // Ok: closes with the result Ok; a wizard with work to do overrides it.
    virtual void btnFinishClick();
    void showEvent(QShowEvent* e) override;

    // Each wizard sets its own buttons' state (objectName = member name).
    QPushButton* btnPrev = nullptr;
    QPushButton* btnNext = nullptr;
    QPushButton* btnFinish = nullptr;
    QPushButton* btnCancel = nullptr;

private:
    QStackedWidget* pages = nullptr;
    int m_previousPage = -1;
};
