#include "ui/widgets/tabpanel.h"

#include <QKeySequence>
#include <QPainter>
#include <QShortcut>
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
    // Ctrl+Tab and Ctrl+Shift+Tab turn the pages from anywhere in the window.
    const auto turn = [this](int step) {
        const int n = m_bar->count();
        if (n == 0)
            return;
        // The focus leaves a page that is going away for the strip, not for whatever box
        // the toolkit would pick next.
        QWidget *focus = window()->focusWidget();
        const bool inPanel = focus && isAncestorOf(focus);
        if (inPanel)
            m_bar->setFocus(Qt::TabFocusReason);
        m_bar->setCurrentIndex((m_bar->currentIndex() + step + n) % n);
    };
    for (const QKeySequence &keys :
         {QKeySequence(Qt::CTRL | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::Key_PageDown)})
        connect(new QShortcut(keys, this), &QShortcut::activated, this, [turn] { turn(1); });
    for (const QKeySequence &keys : {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab),
                                     QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab),
                                     QKeySequence(Qt::CTRL | Qt::Key_PageUp)})
        connect(new QShortcut(keys, this), &QShortcut::activated, this, [turn] { turn(-1); });
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
