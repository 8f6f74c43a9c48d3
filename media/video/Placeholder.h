#pragma once

#include <QImage>
#include <QSize>
#include <QString>

namespace placeholder
{

// The still picture a tile shows before its first frame. An empty `path` is
// the loading picture; "qrc:/" paths are read from the same resource.
// With no size given, the picture at `path` is scaled to `target`; otherwise
// the SVG at `path`, drawn at that size, is centred on a 240x180 loading picture.
QImage compose(const QString &path, int width, int height, const QSize &target);

QString resourcePath(const QString &path);

} // namespace placeholder
