#pragma once

#include <QImage>
#include <QWidget>

// One photo as large as its pane allows, upright and sharp at any scale factor: it is read
// again at the pane's size in device pixels whenever that changes, away from the window's
// thread; meanwhile the thumbnail stands in for it.
class ComparePane : public QWidget {
    Q_OBJECT
public:
    explicit ComparePane(QWidget *parent = nullptr);

    // An empty path clears the pane.
    void showPhoto(const QString &path, const QImage &thumbnail);
    QString photo() const { return m_path; }
    // The picture painted now, in device pixels (for the tests).
    QImage shown() const { return m_image; }
    // Whether the picture painted is the photo read for this size.
    bool sharp() const { return !m_image.isNull() && m_decodedFor == wanted(); }

signals:
    void decoded();

protected:
    void paintEvent(QPaintEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;

private:
    QSize wanted() const;
    void decodeLater();
    QString m_path;
    QImage m_image;
    QSize m_decodedFor;
    int m_request = 0;
};
