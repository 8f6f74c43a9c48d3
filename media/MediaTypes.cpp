#include "media/MediaTypes.h"

#include "media/video/BCQmlRenderView.h"
#include "media/video/XImageView.h"

#include <QQmlEngine>

namespace lumira
{

void registerMediaTypes()
{
    qmlRegisterType<BCQmlRenderView>("BCQmlRenderView", 1, 0, "BCQmlRenderView");
    qmlRegisterType<XImageView>("cpu.macRender.image", 1, 0, "XImageView");
}

} // namespace lumira
