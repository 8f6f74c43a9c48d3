#pragma once

#include <QImage>
#include <QMutex>
#include <QQuickPaintedItem>
#include <QTimer>

// Software video tile for the "SOFT" render mode: paints the last image.
class XImageView : public QQuickPaintedItem
{
    Q_OBJECT
    Q_PROPERTY(QImage mImage READ image WRITE setImage)
    Q_PROPERTY(QString fileUrl MEMBER m_fileUrl)
    Q_PROPERTY(int mWidth MEMBER m_width)
    Q_PROPERTY(int mHeight MEMBER m_height)
public:
    explicit XImageView(QQuickItem *parent = nullptr);

    QImage image() const;
    // Native entry (any thread); ignored while a paint holds the view.
    void setImage(const QImage &image);

    Q_INVOKABLE void flushFirstView(QString path = QString(), int width = 0, int height = 0);
    Q_INVOKABLE void zoomDraw(float z = 1.0f);

    void paint(QPainter *painter) override;
    ~XImageView() override;

signals:
    // Emitted first thing in the destructor, so a render thread can drop the
    // view under its own lock before the view is gone.
    void viewDestroying(XImageView *view);

private:
    QTimer m_repaint;
    mutable QMutex m_mutex;
    bool m_busy = false;
    QImage m_image;
    QString m_fileUrl = QStringLiteral(":/images/lumira_video_loading.jpg");
    int m_width = 240;
    int m_height = 180;
    float m_zoom = 1.0f;
};
