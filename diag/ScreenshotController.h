#pragma once

#include "net/LMRAosInterface.h"

#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QObject>
#include <QRect>
#include <QThread>
#include <QVector>

class LMRAosController;

// One screen's picture and its device pixel ratio.
struct ScreenGrab {
    QImage image;
    qreal ratio = 1.0;
};

// The capture worker: grabs and encodes on the controller's thread and hands
// the JPEG bytes back.
class Screenshot : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // The screens side by side from the left, at their device-independent
    // sizes, on a black canvas as high as the highest.
    static QImage compose(const QVector<ScreenGrab> &grabs);
    static QByteArray jpeg(const QImage &picture);

public slots:
    void onAllScreenshot();
    void onMainWindowScreenshot(QRect rect);

signals:
    void captured(QByteArray jpeg);
};

// Screenshots for support: every screen, photographed on a worker thread,
// uploaded as JPEG; the page is told the stored picture's address.
class ScreenshotController : public QObject, public LMRAosInterface
{
    Q_OBJECT
public:
    static inline const QString kBucket = QStringLiteral("lumira-files");
    static inline const QString kComId = QStringLiteral("Screenshot");

    static ScreenshotController *instance();
    explicit ScreenshotController(LMRAosController *aos, QObject *parent = nullptr);
    ~ScreenshotController() override;
    void shutdown();

    void onAosProgress(QString, qlonglong) override { }
    void onAosEffect(QString com_id, QString effect) override;

    // "pc-screenshot-image/<yyyy-MM-dd>/<class token>/<seconds>.jpeg"
    static QString objectName(const QDateTime &now, const QString &classToken);

signals:
    void onAllScreenshotSignal();
    void onMainWindowScreenshotSignal();
    void grabMainWindow(QRect rect);

private slots:
    // GUI thread: the storage client is driven from there only.
    void upload(QByteArray jpeg);
    void onMainWindowRequested();

private:
    LMRAosController *m_aos = nullptr;
    QThread m_thread;
};
