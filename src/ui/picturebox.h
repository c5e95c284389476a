#pragma once

#include <QImage>
#include <QWidget>

// A frame that keeps what was painted into it as an image of its own, so that the drawing
// survives repaints and can be saved as a bitmap. Pictures are loaded at their natural size
// into a holder (a QImage) and painted scaled by the frame-fit rule.
class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget *parent = nullptr, const QColor &background = Qt::white);

    // Loads a picture file by its content, whatever its name says. A null image when the
    // file is missing, is not a picture, or is too large to hold.
    static QImage load(const QString &path);

    void clear();
    // Paints `picture` from the top-left corner, scaled by the frame-fit rule.
    void paintFitted(const QImage &picture);
    bool isBlank() const { return m_blank; }
    QSize paintedSize() const { return m_painted; }
    // What the frame shows now, at the frame's size.
    QImage image() const;

protected:
    void paintEvent(QPaintEvent *) override;
    void resizeEvent(QResizeEvent *) override;

private:
    QColor m_background;
    QImage m_canvas;
    bool m_blank = true;
    QSize m_painted;
};
