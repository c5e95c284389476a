#pragma once

#include <QColor>
#include <QWidget>

// A container with a decorative background: a vertical gradient between two colours, and
// optionally a fine diagonal leaf pattern. Only the program's own drawing, no picture files.
class DecorPanel : public QWidget {
    Q_OBJECT
public:
    DecorPanel(QWidget *parent, const QColor &top, const QColor &bottom, bool pattern = false);

protected:
    void paintEvent(QPaintEvent *) override;

private:
    QColor m_top, m_bottom;
    bool m_pattern;
};
