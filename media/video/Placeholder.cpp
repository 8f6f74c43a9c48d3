#include "media/video/Placeholder.h"

#include <QPainter>
#include <QSvgRenderer>

namespace placeholder
{

namespace
{
const char kLoading[] = ":/images/lumira_video_loading.jpg";
}

QString resourcePath(const QString &path)
{
    if (path.isEmpty())
        return QString::fromLatin1(kLoading);
    if (path.startsWith(QLatin1String("qrc:/")))
        return QStringLiteral(":/") + path.mid(5);
    return path;
}

QImage compose(const QString &path, int width, int height, const QSize &target)
{
    const QString file = resourcePath(path);
    if (width < 1 || height < 1) {
        const QImage image(file);
        return image.isNull() ? image : image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    const QImage loading(QString::fromLatin1(kLoading));
    if (loading.isNull())
        return loading;
    QImage icon = loading.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    {
        QPainter painter(&icon);
        QSvgRenderer(file).render(&painter);
    }
    QImage canvas = loading.scaled(240, 180, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                        .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    {
        QPainter painter(&canvas);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter.drawImage((canvas.width() - icon.width()) / 2, (canvas.height() - icon.height()) / 2, icon);
    }
    return canvas.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

} // namespace placeholder
