#pragma once

#include <QList>
#include <QWidget>

class QTabBar;

// A tabbed panel whose pages cover the whole panel, tab strip included, so that the controls
// of a page are placed in the panel's own coordinates, as they were designed. The strip lies
// above the pages; only the current page is shown.
class TabPanel : public QWidget {
    Q_OBJECT
public:
    explicit TabPanel(QWidget *parent = nullptr);

    // Adds a tab and returns its page, the parent for the tab's controls.
    QWidget *addTab(const QString &caption);
    QWidget *page(int index) const { return m_pages.value(index); }
    int count() const { return static_cast<int>(m_pages.size()); }
    int currentIndex() const;
    void setCurrentIndex(int index);
    QTabBar *tabBar() const { return m_bar; }
    QString tabText(int index) const;

signals:
    void currentChanged(int index);

protected:
    void paintEvent(QPaintEvent *) override;
    void resizeEvent(QResizeEvent *) override;

private:
    void showPage(int index);
    void layoutPages();

    QTabBar *m_bar;
    QList<QWidget *> m_pages;
};
