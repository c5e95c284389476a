#include "ui/tabpanel.h"

#include <QPainter>
#include <QStyleOptionTabWidgetFrame>
#include <QTabBar>

TabPanel::TabPanel(QWidget *parent) : QWidget(parent), m_bar(new QTabBar(this)) {
    m_bar->setObjectName(QStringLiteral("tabBar"));
    m_bar->setDrawBase(false);
    m_bar->setExpanding(false);
    connect(m_bar, &QTabBar::currentChanged, this, [this](int index) {
        showPage(index);
        emit currentChanged(index);
    });
}

QWidget *TabPanel::addTab(const QString &caption) {
    auto *page = new QWidget(this);
    page->setAccessibleName(caption);
    m_pages.append(page);
    m_bar->addTab(caption);
    layoutPages();
    showPage(m_bar->currentIndex());
    return page;
}

QString TabPanel::tabText(int index) const {
    return m_bar->tabText(index);
}

int TabPanel::currentIndex() const {
    return m_bar->currentIndex();
}

void TabPanel::setCurrentIndex(int index) {
    m_bar->setCurrentIndex(index);
}

void TabPanel::showPage(int index) {
    for (int i = 0; i < m_pages.size(); ++i)
        m_pages[i]->setVisible(i == index);
    m_bar->raise();
}

void TabPanel::layoutPages() {
    m_bar->setGeometry(0, 0, width(), m_bar->sizeHint().height());
    for (QWidget *page : std::as_const(m_pages))
        page->setGeometry(rect());
    m_bar->raise();
}

void TabPanel::resizeEvent(QResizeEvent *) {
    layoutPages();
}

void TabPanel::paintEvent(QPaintEvent *) {
    QPainter p(this);
    QStyleOptionTabWidgetFrame frame;
    frame.initFrom(this);
    const int top = m_bar->sizeHint().height();
    frame.rect = rect().adjusted(0, top - 1, 0, 0);
    frame.shape = QTabBar::RoundedNorth;
    frame.tabBarSize = m_bar->sizeHint();
    frame.tabBarRect = QRect(0, 0, m_bar->sizeHint().width(), top);
    frame.lineWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    style()->drawPrimitive(QStyle::PE_FrameTabWidget, &frame, &p, this);
}
